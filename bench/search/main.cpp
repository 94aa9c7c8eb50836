// What the search engine costs over the plainest way of doing the same work
// through the substitute server:
//   - a content search over 100 MB in 1,000 files against opening and reading
//     the same files in 4,096-byte chunks and scanning them with a memory search;
//   - a listing search over 10,000 items against one recursive listing.
//   ktx_bench_search [quick]   ("quick": 100 files of 100 KiB)
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

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
    const bool quick = argc > 1 && wcscmp(argv[1], L"quick") == 0;
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

    // Listing: best of three of each, in turns.
    double plainListing = 1e9, searchListing = 1e9;
    UINT listed = 0;
    for (int run = 0; run < 3; ++run) {
        LARGE_INTEGER t0 = Now();
        ItemArray items;
        hr = ListItemsEx(L"\\A:", L"*", &items, access.Get(), false, true);
        LARGE_INTEGER t1 = Now();
        if (FAILED(hr)) return Fail(L"recursive listing", hr);
        listed = items.count();
        plainListing = std::min(plainListing, Seconds(t0, t1));

        SearchCriteria criteria;
        criteria.path = L"\\A:";
        criteria.name = L"5";   // a tenth of the names or so
        host.Clear();
        t0 = Now();
        hr = RunSearch(criteria, access.Get(), host);
        t1 = Now();
        if (FAILED(hr)) return Fail(L"listing search", hr);
        searchListing = std::min(searchListing, Seconds(t0, t1));
    }
    wprintf(L"listing: %u items; one recursive listing %.3f s, listing search %.3f s "
            L"(%zu found): ratio %.2f (goal <= 1.1)\n",
            listed, plainListing, searchListing, host.ResultCount(), searchListing / plainListing);

    // Content: the plain read and the engine taken in turns (the machine's
    // load drifts), best of each; the engine case-sensitive as the plain
    // scan is, and once more ignoring case for the folding's cost.
    const int runs = quick ? 3 : 2;
    double plainContent = 1e9, searchContent = 1e9, searchFolded = 1e9;
    ULONGLONG bytes = 0;
    for (int run = 0; run < runs; ++run) {
        int hits = 0;
        LARGE_INTEGER t0 = Now();
        hr = ReadAndScanAll(access.Get(), L"\\B:", &bytes, &hits);
        LARGE_INTEGER t1 = Now();
        if (FAILED(hr)) return Fail(L"plain read and scan", hr);
        plainContent = std::min(plainContent, Seconds(t0, t1));

        SearchCriteria criteria;
        criteria.path = L"\\B:";
        criteria.text = L"no such text here";
        criteria.caseSensitive = 1;
        host.Clear();
        t0 = Now();
        hr = RunSearch(criteria, access.Get(), host);
        t1 = Now();
        if (FAILED(hr)) return Fail(L"content search", hr);
        searchContent = std::min(searchContent, Seconds(t0, t1));

        if (run == 0) {
            criteria.caseSensitive = 0;
            t0 = Now();
            hr = RunSearch(criteria, access.Get(), host);
            t1 = Now();
            if (FAILED(hr)) return Fail(L"content search ignoring case", hr);
            searchFolded = Seconds(t0, t1);
        }
    }
    SetPromptAnswerer(nullptr);

    wprintf(L"content: %u files, %.1f MB; read and scan %.2f s (%.2f MB/s), content search "
            L"%.2f s: ratio %.2f (goal <= 1.2)\n",
            bulkFiles, bytes / 1e6, plainContent, bytes / 1e6 / plainContent, searchContent,
            searchContent / plainContent);
    wprintf(L"content search ignoring case (one run): %.2f s (ratio %.2f); download question "
            L"asked %d times\n",
            searchFolded, searchFolded / plainContent, yes.asked);
    return 0;
}
