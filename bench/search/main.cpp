// What the search engine costs over the plainest way of doing the same work
// through the substitute server:
//   - a content search over 100 MB in 1,000 files against opening and reading
//     the same files in 4,096-byte chunks and scanning them with a memory search;
//   - a listing search over 10,000 items against one recursive listing.
//   ktx_bench_search [--quick]   (quick: 100 files of 100 KiB)
// Each comparison: a warm-up of each side, then five rounds taken in turns.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/common/measure.h"
#include "common/holders.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "item_id/module_item_id.h"
#include "search/search_engine.h"
#include "testing/substitute_server.h"
#include "tools/substitute_common/tree_builder.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr unsigned kFolders = 100;
constexpr unsigned kFilesPerFolder = 99;   // with the folders: 10,000 items
constexpr DWORD kBulkFileSize = 100 * 1024;
const char kMissingText[] = "no such text here";

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

int Fail(const wchar_t* what, HRESULT hr) {
    fwprintf(stderr, L"%ls failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// The window's part, as cheaply as a real one would do it: results are
// copied (as the results list does), messages pumped, nothing shown.
class BenchHost : public SearchHost {
public:
    void AddResult(LPCITEMIDLIST item) override {
        LPITEMIDLIST copy = nullptr;
        if (SUCCEEDED(CopyIdList(item, &copy))) results_.emplace_back(copy);
    }
    size_t ResultCount() const override { return results_.size(); }
    void SetStatusText(const std::wstring& text) override { status_ = text; }
    void PumpMessages() override {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    bool StopRequested() const override { return false; }
    HWND OwnerWindow() const override { return nullptr; }
    void Clear() { results_.clear(); }

private:
    std::vector<IdListHolder> results_;
    std::wstring status_;
};

// Says Yes to the download question.
class AnswerYes : public PromptAnswerer {
public:
    bool Answer(const PromptRequest&, INT_PTR* answer) override {
        *answer = IDYES;
        ++asked;
        return true;
    }
    int asked = 0;
};

// The plain way: list, then read each file whole and search its bytes.
HRESULT ReadAndScanAll(ModuleAccess* access, const wchar_t* folder, ULONGLONG* bytes, int* hits) {
    ItemArray items;
    HRESULT hr = ListItemsEx(folder, L"*", &items, access, false, true);
    if (FAILED(hr)) return hr;
    const size_t patternSize = strlen(kMissingText);
    std::vector<char> block;
    *bytes = 0;
    *hits = 0;
    for (UINT i = 0; i < items.count(); ++i) {
        if (ItemAttributes(items[i]) & FILE_ATTRIBUTE_DIRECTORY) continue;
        UniqueBstr path(ItemPath(items[i]));
        ComPtr<IUnknown> unknown;
        hr = access->OpenFile(path.get(), &unknown);
        ComPtr<IStream> stream;
        if (SUCCEEDED(hr)) hr = unknown.As(&stream);
        if (FAILED(hr)) return hr;
        block.resize(ItemSize(items[i]));
        size_t done = 0;
        while (done < block.size()) {
            ULONG got = 0;
            hr = stream->Read(block.data() + done,
                              static_cast<ULONG>(std::min<size_t>(4096, block.size() - done)), &got);
            if (FAILED(hr)) return hr;
            if (!got) break;
            done += got;
        }
        *bytes += done;
        if (std::search(block.begin(), block.begin() + done, kMissingText,
                        kMissingText + patternSize) != block.begin() + done)
            ++*hits;
    }
    return S_OK;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    bool quick = bench::QuickMode(0, nullptr);
    for (int i = 1; i < argc; ++i)
        if (wcscmp(argv[i], L"--quick") == 0 || wcscmp(argv[i], L"quick") == 0) quick = true;
    const unsigned bulkFiles = quick ? 100 : 1000;

    // Making the trees takes long under Wine: they stay in the temporary
    // folder and are made again only when missing or incomplete.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring tree =
        std::wstring(temp) + (quick ? L"ktx_bench_search_quick" : L"ktx_bench_search");
    const std::wstring marker = tree + L"\\complete";
    HRESULT hr = S_OK;
    if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        LARGE_INTEGER start = Now();
        CreateDirectoryW(tree.c_str(), nullptr);
        hr = substitute::PrepareDrive(tree, L'A', 64u * 1024 * 1024, L"LISTING");
        for (unsigned f = 0; f < kFolders && SUCCEEDED(hr); ++f) {
            wchar_t folder[32];
            swprintf(folder, 32, L"Folder %03u", f);
            hr = substitute::BuildFiles(tree, L'A', folder, kFilesPerFolder, 64, L"Entry ", L".txt");
        }
        if (SUCCEEDED(hr)) hr = substitute::PrepareDrive(tree, L'B', 0x7FFFFFFF, L"CONTENT");
        if (SUCCEEDED(hr))
            hr = substitute::BuildFiles(tree, L'B', L"Bulk", bulkFiles, kBulkFileSize, L"Data ", L".bin");
        if (FAILED(hr)) return Fail(L"making the trees", hr);
        CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        wprintf(L"made the trees in %.1f s\n", Seconds(start, Now()));
    }

    SubstituteModule::Options options;
    options.serveFolder = tree;
    SubstituteModule module(options);
    if (!module.ok()) return Fail(L"setting up the module", E_FAIL);
    ComThreadScope com;
    if (!com.ok()) return Fail(L"EnterComThread", com.hr());
    ComPtr<ModuleAccess> access;
    hr = module.Create(&access);
    if (FAILED(hr)) return Fail(L"creating the server", hr);

    AnswerYes yes;
    SetPromptAnswerer(&yes);
    BenchHost host;

    constexpr int kRounds = 5;
    bool failed = false;
    auto check = [&](const wchar_t* what, HRESULT result) {
        if (FAILED(result) && !failed) Fail(what, result);
        if (FAILED(result)) failed = true;
    };

    UINT listed = 0;
    bench::Comparison listing = bench::Alternate(
        kRounds,
        [&] {
            const double start = bench::Now();
            ItemArray items;
            HRESULT result = ListItemsEx(L"\\A:", L"*", &items, access.Get(), false, true);
            const double took = bench::Now() - start;
            check(L"recursive listing", result);
            listed = items.count();
            return took;
        },
        [&] {
            SearchCriteria criteria;
            criteria.path = L"\\A:";
            criteria.name = L"5";   // a tenth of the names or so
            host.Clear();
            const double start = bench::Now();
            HRESULT result = RunSearch(criteria, access.Get(), host);
            const double took = bench::Now() - start;
            check(L"listing search", result);
            return took;
        });
    if (failed) return 1;
    wprintf(L"listing: %u items, %zu found by name\n", listed, host.ResultCount());
    bench::PrintSamples("one recursive listing", listing.a, 1e3, "ms");
    bench::PrintSamples("listing search", listing.b, 1e3, "ms");
    bench::PrintSamples("ratio search / listing", listing.ratio, 1, "x ");

    // Content: the engine case-sensitive as the plain scan is; once more
    // ignoring case for the folding's cost.
    ULONGLONG bytes = 0;
    auto contentSearch = [&](int caseSensitive, const wchar_t* what) {
        SearchCriteria criteria;
        criteria.path = L"\\B:";
        criteria.text = L"no such text here";
        criteria.caseSensitive = caseSensitive;
        host.Clear();
        const double start = bench::Now();
        HRESULT result = RunSearch(criteria, access.Get(), host);
        const double took = bench::Now() - start;
        check(what, result);
        return took;
    };
    bench::Comparison content = bench::Alternate(
        kRounds,
        [&] {
            int hits = 0;
            const double start = bench::Now();
            HRESULT result = ReadAndScanAll(access.Get(), L"\\B:", &bytes, &hits);
            const double took = bench::Now() - start;
            check(L"plain read and scan", result);
            return took;
        },
        [&] { return contentSearch(1, L"content search"); });
    const double folded = contentSearch(0, L"content search ignoring case");
    SetPromptAnswerer(nullptr);
    if (failed) return 1;

    wprintf(L"content: %u files, %.1f MB\n", bulkFiles, bytes / 1e6);
    bench::PrintSamples("read and scan", content.a, 1, "s ");
    bench::PrintSamples("content search", content.b, 1, "s ");
    bench::PrintSamples("ratio search / read and scan", content.ratio, 1, "x ");
    wprintf(L"content search ignoring case (one run): %.2f s (ratio %.2f to the median read); download "
            L"question asked %d times\n",
            folded, folded / content.a.Median(), yes.asked);
    bool met = bench::PrintGoal("listing search / recursive listing", listing.ratio.Median(), 1.1, "x");
    met &= bench::PrintGoal("content search / read and scan", content.ratio.Median(), 1.2, "x");
    wprintf(L"%ls\n", met ? L"all goals met" : L"some goals MISSED");
    return 0;
}
