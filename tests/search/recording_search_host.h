// A search host for tests: keeps what the engine found and showed, pumps
// messages for real, and can press Stop after a given number of pumps.
#pragma once
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "namespace/module_item_id.h"
#include "search/search_engine.h"

class RecordingSearchHost : public SearchHost {
public:
    RecordingSearchHost() {
        now_ = SYSTEMTIME{};
        GetLocalTime(&now_);
    }

    void AddResult(LPCITEMIDLIST item) override {
        results.push_back(item && IsValidItemId(item) ? ItemPath(item) : L"<invalid>");
    }
    size_t ResultCount() const override { return results.size(); }
    void SetStatusText(const std::wstring& text) override { statuses.push_back(text); }
    void PumpMessages() override {
        ++pumps;
        if (stopAfterPumps > 0 && pumps >= stopAfterPumps) stop = true;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DWORD PumpIntervalMs() const override { return 0; }   // every pump counts
    bool StopRequested() const override { return stop; }
    HWND OwnerWindow() const override { return nullptr; }
    void CurrentLocalTime(SYSTEMTIME* now) const override { *now = now_; }
    void OnSearchStarting() override { ++starts; }
    void OnSearchFinished() override { ++finishes; }

    void SetNow(const SYSTEMTIME& now) { now_ = now; }
    bool Found(const std::wstring& path) const {
        return std::find(results.begin(), results.end(), path) != results.end();
    }
    std::vector<std::wstring> SortedResults() const {
        std::vector<std::wstring> sorted = results;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

    std::vector<std::wstring> results;
    std::vector<std::wstring> statuses;
    long pumps = 0;
    long stopAfterPumps = 0;   // 0: never
    bool stop = false;
    int starts = 0;
    int finishes = 0;

private:
    SYSTEMTIME now_;
};
