// Reading through a ProgressStream bound to a live progress dialog against
// reading the same stream directly beside an idle one, both in 4096-byte
// chunks: 64 MB from
// memory and from a PC file (what the progress costs per chunk), 64 MB from
// the substitute server (the streams the progress is for), and 2 MB over the
// server's simulated 92,160 bytes/s link, where each 4 KB costs 44 ms.
//   progress_stream_bench [--quick] [rounds]
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/common/measure.h"
#include "common/holders.h"
#include "common/resource_module.h"
#include "testing/substitute_server.h"
#include "transfer/progress_dialog.h"
#include "transfer/progress_stream.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr ULONG kChunk = 4096;
constexpr DWORD kLinkSpeed = 92160;

struct Sizes {
    uint64_t local;    // memory and PC file
    uint64_t server;   // through the server, unpaced
    uint64_t link;     // through the server's simulated link
    int rounds;
};

void Rewind(IStream* stream) {
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
}

// Seconds to read the whole stream in chunks; 0 on failure or a short read.
double ReadAll(IStream* stream, uint64_t size) {
    static BYTE buffer[kChunk];
    double start = bench::Now();
    uint64_t total = 0;
    for (;;) {
        ULONG got = 0;
        if (FAILED(stream->Read(buffer, kChunk, &got))) return 0;
        if (got == 0) break;
        total += got;
    }
    double elapsed = bench::Now() - start;
    return total == size ? elapsed : 0;
}

// Drains the queue: a new dialog's first painting is no cost of the reads.
void DrainQueue() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

// Both sides read with a live dialog on screen, whose clip plays on a thread
// of its own: what differs is only the stream, its refreshes and its pumping.
double ReadDirect(IStream* inner, uint64_t size) {
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, size, &cancel);
    if (!dialog.window()) return 0;
    DrainQueue();
    return ReadAll(inner, size);
}

double ReadThrough(IStream* inner, uint64_t size) {
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, size, &cancel);
    if (!dialog.window()) return 0;
    ComPtr<IStream> stream;
    if (FAILED(CreateProgressStream(inner, &dialog, size, &cancel, true, &stream))) return 0;
    DrainQueue();
    return ReadAll(stream.Get(), size);
}

bench::Comparison CompareReads(int rounds, uint64_t size, const std::function<ComPtr<IStream>()>& open) {
    return bench::Alternate(
        rounds,
        [&] {
            ComPtr<IStream> stream = open();
            return stream ? ReadDirect(stream.Get(), size) : 0;
        },
        [&] {
            ComPtr<IStream> stream = open();
            return stream ? ReadThrough(stream.Get(), size) : 0;
        });
}

void PrintComparison(const bench::Comparison& c) {
    bench::PrintSamples("direct", c.a, 1e3, "ms");
    bench::PrintSamples("through progress", c.b, 1e3, "ms");
    bench::PrintSamples("ratio through / direct", c.ratio, 1, "x ");
}

// Cost per chunk: a stream this fast measures only what the progress adds.
bool PerChunk(const char* what, uint64_t size, int rounds, IStream* inner) {
    bench::Comparison c = CompareReads(rounds, size, [&] {
        Rewind(inner);
        return ComPtr<IStream>(inner);
    });
    std::printf("%s, %llu MB in 4 KB reads\n", what, (unsigned long long)(size >> 20));
    PrintComparison(c);
    // Per round, (through - direct) / reads: the pair was taken side by side.
    const double reads = static_cast<double>(size / kChunk);
    bench::Samples perRead;
    for (size_t i = 0; i < c.a.size(); ++i)
        perRead.Add((c.b.values()[i] - c.a.values()[i]) / reads);
    bench::PrintSamples("progress cost per 4 KB read", perRead, 1e6, "us");
    const double median = perRead.Median() * 1e6;
    return std::strcmp(what, "from memory") != 0 ||
           bench::PrintGoal("from memory: progress cost per read", median, 2.0, "us");
}

// What the pieces of a service cost, one by one: the clock read at every
// chunk, an empty queue's peek, and a dialog refresh.
void PieceCosts() {
    constexpr int kCalls = 2000;
    DWORD sink = 0;
    double start = bench::Now();
    for (int i = 0; i < kCalls; ++i) sink += GetTickCount();
    const double clock = (bench::Now() - start) / kCalls;
    MSG msg;
    start = bench::Now();
    for (int i = 0; i < kCalls; ++i) sink += PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
    const double peek = (bench::Now() - start) / kCalls;
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, kCalls, &cancel);
    start = bench::Now();
    for (int i = 0; i < kCalls; ++i) dialog.Refresh(kCalls, kCalls, i + 1);
    const double refresh = (bench::Now() - start) / kCalls;
    std::printf("pieces: clock read %.3f us, empty queue peek %.3f us, dialog refresh %.3f us%s\n",
                clock * 1e6, peek * 1e6, refresh * 1e6, sink == 1 ? " " : "");
}

// A fresh stream of a module file; null on failure.
ComPtr<IStream> OpenModuleFile(ModuleAccess* access, const wchar_t* path) {
    UniqueBstr bpath(path);
    ComPtr<IUnknown> unknown;
    ComPtr<IStream> stream;
    if (SUCCEEDED(access->OpenFile(bpath.get(), &unknown))) unknown.As(&stream);
    return stream;
}

bool WritePcFile(const std::wstring& path, uint64_t size, const std::vector<BYTE>& block) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    uint64_t done = 0;
    while (done < size) {
        DWORD part = static_cast<DWORD>(std::min<uint64_t>(block.size(), size - done));
        if (!WriteFile(file, block.data(), part, &written, nullptr) || written == 0) break;
        done += written;
    }
    CloseHandle(file);
    return done == size;
}

bool ThroughServer(const Sizes& sizes, const std::vector<BYTE>& block, bool* ran) {
    SubstituteModule module;
    ComPtr<ModuleAccess> access;
    if (!module.ok() || FAILED(module.Create(&access))) {
        std::printf("substitute server not available\n");
        *ran = false;
        return true;
    }
    *ran = true;
    // Written on the PC side: the server serves whatever its folder holds.
    if (!WritePcFile(module.PcPath(L"\\A:\\big.bin"), sizes.server, block) ||
        !WritePcFile(module.PcPath(L"\\A:\\link.bin"), sizes.link, block)) {
        std::printf("cannot write the served files\n");
        *ran = false;
        return true;
    }

    bench::Comparison c = CompareReads(sizes.rounds, sizes.server,
                                       [&] { return OpenModuleFile(access.Get(), L"\\A:\\big.bin"); });
    std::printf("from the server, %llu MB in 4 KB reads\n", (unsigned long long)(sizes.server >> 20));
    PrintComparison(c);
    bool met = bench::PrintGoal("from the server: through / direct", c.ratio.Median(), 1.05, "x");

    // Each chunk costs its time on the link on top of what the call really
    // took, so whatever the client adds shows in the ratio. The server is
    // warm from the rounds above.
    module.SetLinkSpeed(kLinkSpeed);
    const double link = static_cast<double>(sizes.link) / kLinkSpeed;
    bench::Comparison l = bench::Alternate(
        sizes.rounds,
        [&] {
            ComPtr<IStream> stream = OpenModuleFile(access.Get(), L"\\A:\\link.bin");
            return stream ? ReadDirect(stream.Get(), sizes.link) : 0;
        },
        [&] {
            ComPtr<IStream> stream = OpenModuleFile(access.Get(), L"\\A:\\link.bin");
            return stream ? ReadThrough(stream.Get(), sizes.link) : 0;
        },
        false);
    module.SetLinkSpeed(0);
    std::printf("over the simulated link, %llu KB at %lu bytes/s: the link's own time %.1f ms\n",
                (unsigned long long)(sizes.link >> 10), (unsigned long)kLinkSpeed, link * 1e3);
    PrintComparison(l);
    std::printf("  direct over the link / the link's own time: %.3f\n", l.a.Median() / link);
    met &= bench::PrintGoal("over the link: through / direct", l.ratio.Median(), 1.02, "x");
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::QuickMode(argc, argv);
    std::vector<unsigned long> numbers = bench::NumberArguments(argc, argv);
    Sizes sizes = quick ? Sizes{4ull << 20, 2ull << 20, 64ull << 10, 5}
                        : Sizes{64ull << 20, 64ull << 20, 2ull << 20, 5};
    if (!numbers.empty() && numbers[0] >= 1) sizes.rounds = static_cast<int>(numbers[0]);
    std::printf("progress_stream_bench%s: %d rounds after a warm-up, sides alternating\n",
                quick ? " (quick)" : "", sizes.rounds);

    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    CoInitialize(nullptr);

    std::vector<BYTE> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<BYTE>(i * 31);

    PieceCosts();
    bool met = true;
    {
        ComPtr<IStream> memory;
        CreateStreamOnHGlobal(nullptr, TRUE, &memory);
        for (uint64_t done = 0; done < sizes.local; done += block.size())
            memory->Write(block.data(), static_cast<ULONG>(block.size()), nullptr);
        met &= PerChunk("from memory", sizes.local, sizes.rounds, memory.Get());
    }

    wchar_t path[MAX_PATH], dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"ktx", 0, path);
    if (WritePcFile(path, sizes.local, block)) {
        ComPtr<IStream> file;
        if (SUCCEEDED(SHCreateStreamOnFileEx(path, STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE,
                                             nullptr, &file)))
            PerChunk("from a PC file", sizes.local, sizes.rounds, file.Get());
    }
    DeleteFileW(path);

    bool ran = false;
    met &= ThroughServer(sizes, block, &ran);
    std::printf("%s\n", ran ? (met ? "all goals met" : "some goals MISSED") : "the run failed");
    CoUninitialize();
    // Goals are figures to read, not a pass or fail: only a broken run fails.
    return ran ? 0 : 1;
}
