// What every benchmark here measures the same way: a warm-up round that is
// not counted, the two sides of a comparison taken in turns (one first, then
// the other), at least five rounds, and the median with the spread of each
// figure; goals are printed with their ratios and whether the median meets
// them. "--quick" (or KTX_BENCH_QUICK=1) asks for small sizes and few rounds,
// for CI, where only the program's running is checked, not its figures.
#pragma once
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

namespace bench {

inline double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

inline bool QuickMode(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--quick") == 0) return true;
    const char* env = std::getenv("KTX_BENCH_QUICK");
    return env && *env && std::strcmp(env, "0") != 0;
}

// The numbers among the arguments, in order ("--quick" and the like skipped).
inline std::vector<unsigned long> NumberArguments(int argc, char** argv) {
    std::vector<unsigned long> numbers;
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        unsigned long value = std::strtoul(argv[i], &end, 10);
        if (end != argv[i] && *end == 0) numbers.push_back(value);
    }
    return numbers;
}

class Samples {
public:
    void Add(double value) { values_.push_back(value); }
    bool empty() const { return values_.empty(); }
    size_t size() const { return values_.size(); }
    const std::vector<double>& values() const { return values_; }
    double Median() const {
        if (values_.empty()) return 0;
        std::vector<double> sorted = values_;
        std::sort(sorted.begin(), sorted.end());
        size_t middle = sorted.size() / 2;
        return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
    }
    double Min() const { return values_.empty() ? 0 : *std::min_element(values_.begin(), values_.end()); }
    double Max() const { return values_.empty() ? 0 : *std::max_element(values_.begin(), values_.end()); }
    // The range of the samples as a share of their median.
    double Spread() const {
        double median = Median();
        return median != 0 ? (Max() - Min()) / median : 0;
    }

private:
    std::vector<double> values_;
};

// Two sides of a comparison, each run `rounds` times after one warm-up of
// each; the order changes every round so that neither side always runs on
// what the other left warm or cold. Each round also gives the pair's ratio
// (b / a), which is less noisy than the ratio of the medians on a busy machine.
struct Comparison {
    Samples a, b, ratio;
};

inline Comparison Alternate(int rounds, const std::function<double()>& a,
                            const std::function<double()>& b, bool warmUp = true) {
    Comparison result;
    if (warmUp) {
        a();
        b();
    }
    for (int round = 0; round < rounds; ++round) {
        double first, second;
        if (round % 2 == 0) {
            first = a();
            second = b();
        } else {
            second = b();
            first = a();
        }
        result.a.Add(first);
        result.b.Add(second);
        if (first > 0) result.ratio.Add(second / first);
    }
    return result;
}

inline Samples Repeat(int rounds, const std::function<double()>& run) {
    Samples samples;
    run();
    for (int round = 0; round < rounds; ++round) samples.Add(run());
    return samples;
}

// "median 12.3 ms (10.1 .. 15.0, spread 40 %)", with values scaled by `scale`.
inline void PrintSamples(const char* what, const Samples& samples, double scale, const char* unit) {
    std::printf("  %-44s median %10.3f %s  (%.3f .. %.3f, spread %.0f %%, n=%zu)\n", what,
                samples.Median() * scale, unit, samples.Min() * scale, samples.Max() * scale,
                samples.Spread() * 100, samples.size());
}

// Prints one goal line; true when the median meets it (value <= limit).
inline bool PrintGoal(const char* what, double value, double limit, const char* unit) {
    bool met = value <= limit;
    std::printf("GOAL %-48s %9.3f %-3s goal <= %-7.3g ratio to goal %.2f  %s\n", what, value, unit,
                limit, limit != 0 ? value / limit : 0, met ? "met" : "MISSED");
    return met;
}

}  // namespace bench
