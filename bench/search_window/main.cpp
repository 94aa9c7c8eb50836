// The search run from the search window, with its results list filling as
// items arrive, against the plainest way of doing the same work through the
// substitute server, and the time from Start to the first result shown:
//   - a listing search over 10,000 items against one recursive listing;
//   - a content search against opening, reading and scanning the same files;
//   - what the results list's control costs by itself, which no Start escapes;
//   - Start to the first row of the results list on the 10,000-item drive.
//   ktx_bench_search_window [full]   (default: 100 files of 100 KiB; full: 1,000)
// Shares its trees with ktx_bench_search.
#include <windows.h>
#include <commctrl.h>
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
#include "resources/search_ids.h"
#include "search/search_window.h"
#include "testing/substitute_server.h"
#include "tools/substitute_common/tree_builder.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr unsigned kFolders = 100;
constexpr unsigned kFilesPerFolder = 99;   // with the folders: 10,000 items
constexpr DWORD kBulkFileSize = 100 * 1024;
const char kMissingText[] = "no such text here";

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Fail(const wchar_t* what, HRESULT hr) {
    fwprintf(stderr, L"%ls failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

class AnswerYes : public PromptAnswerer {
public:
    bool Answer(const PromptRequest&, INT_PTR* answer) override {
        *answer = IDYES;
        return true;
    }
};

HRESULT ReadAndScanAll(ModuleAccess* access, const wchar_t* folder) {
    ItemArray items;
    HRESULT hr = ListItemsEx(folder, L"*", &items, access, false, true);
    if (FAILED(hr)) return hr;
    std::vector<char> block;
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
            hr = stream->Read(block.data() + done, static_cast<ULONG>(std::min<size_t>(4096, block.size() - done)),
                              &got);
            if (FAILED(hr)) return hr;
            if (!got) break;
            done += got;
        }
        std::search(block.begin(), block.begin() + done, kMissingText, kMissingText + strlen(kMissingText));
    }
    return S_OK;
}

// regsvr32 on the library beside this program.
DWORD Regsvr32(bool unregister) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dll(self, length);
    dll = dll.substr(0, dll.rfind(L'\\')) + L"\\KTXShellExt.dll";
    std::wstring command = std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" + dll + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

BOOL CALLBACK FindList(HWND child, LPARAM param) {
    wchar_t name[64] = L"";
    GetClassNameW(child, name, ARRAYSIZE(name));
    if (lstrcmpiW(name, WC_LISTVIEWW) != 0) return TRUE;
    *reinterpret_cast<HWND*>(param) = child;
    return FALSE;
}

HWND ResultsList(HWND window) {
    HWND list = nullptr;
    EnumChildWindows(window, FindList, reinterpret_cast<LPARAM>(&list));
    return list;
}

HWND Control(HWND window, int id) {
    struct State {
        int id;
        HWND found;
    } state = {id, nullptr};
    EnumChildWindows(
        window,
        [](HWND child, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<State*>(param);
            if (GetDlgCtrlID(child) != s->id) return TRUE;
            s->found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&state));
    return state.found;
}

void SetText(HWND window, int id, const wchar_t* text) {
    SendMessageW(Control(window, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

// Start pressed and waited for (the window's thread runs the whole search).
double TimedStart(HWND window) {
    LARGE_INTEGER t0 = Now();
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SEARCH_START, 0), 0);
    return Seconds(t0, Now());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    const bool full = argc > 1 && wcscmp(argv[1], L"full") == 0;
    const unsigned bulkFiles = full ? 1000 : 100;

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring tree = std::wstring(temp) + (full ? L"ktx_bench_search" : L"ktx_bench_search_quick");
    const std::wstring marker = tree + L"\\complete";
    HRESULT hr = S_OK;
    if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        CreateDirectoryW(tree.c_str(), nullptr);
        hr = substitute::PrepareDrive(tree, L'A', 64u * 1024 * 1024, L"LISTING");
        for (unsigned f = 0; f < kFolders && SUCCEEDED(hr); ++f) {
            wchar_t folder[32];
            swprintf(folder, 32, L"Folder %03u", f);
            hr = substitute::BuildFiles(tree, L'A', folder, kFilesPerFolder, 64, L"Entry ", L".txt");
        }
        if (SUCCEEDED(hr)) hr = substitute::PrepareDrive(tree, L'B', 0x7FFFFFFF, L"CONTENT");
        if (SUCCEEDED(hr)) hr = substitute::BuildFiles(tree, L'B', L"Bulk", bulkFiles, kBulkFileSize, L"Data ", L".bin");
        if (FAILED(hr)) return Fail(L"making the trees", hr);
        CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }

    // The results list lives under "Module" in My Computer.
    if (Regsvr32(false) != 0) return Fail(L"registering the library", E_FAIL);
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

    HWND window = nullptr;
    hr = OpenSearchWindow(std::wstring(), std::wstring(), &window);
    if (FAILED(hr)) return Fail(L"opening the search window", hr);

    // Listing, best of three of each, in turns.
    SetText(window, IDC_SEARCH_LOOK_IN, L"\\A:");
    // What every Start costs besides the walk: the criteria, the folder
    // check, a new results list bound to its folder. Measured on an empty folder.
    SetText(window, IDC_SEARCH_LOOK_IN, L"\\A:\\Folder 000");
    SetText(window, IDC_SEARCH_NAME, L"no such name");
    double fixedCost = 1e9;
    for (int run = 0; run < 3; ++run) fixedCost = std::min(fixedCost, TimedStart(window));
    SetText(window, IDC_SEARCH_LOOK_IN, L"\\A:");
    SetText(window, IDC_SEARCH_NAME, L"5");
    double plainListing = 1e9, windowListing = 1e9;
    UINT listed = 0;
    for (int run = 0; run < 3; ++run) {
        LARGE_INTEGER t0 = Now();
        ItemArray items;
        hr = ListItemsEx(L"\\A:", L"*", &items, access.Get(), false, true);
        LARGE_INTEGER t1 = Now();
        if (FAILED(hr)) return Fail(L"recursive listing", hr);
        listed = items.count();
        plainListing = std::min(plainListing, Seconds(t0, t1));
        windowListing = std::min(windowListing, TimedStart(window));
    }
    HWND list = ResultsList(window);
    LRESULT found = list ? SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) : -1;
    wprintf(L"listing from the window: %u items; one recursive listing %.3f s, search with the list filling "
            L"%.3f s (%ld shown): ratio %.2f (goal <= 1.1); without the %.3f s every Start costs "
            L"(new results list, folder check): ratio %.2f\n",
            listed, plainListing, windowListing, static_cast<long>(found), windowListing / plainListing, fixedCost,
            (windowListing - fixedCost) / plainListing);

    // What the list control by itself costs a search that shows its rows as
    // they come: drawing is turned back on for the first page and at the end,
    // and the page is drawn once. Measured on the results list as it stands.
    double redrawOn = 1e9, onePage = 1e9;
    for (int run = 0; list && run < 3; ++run) {
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        LARGE_INTEGER t0 = Now();
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        LARGE_INTEGER t1 = Now();
        RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
        LARGE_INTEGER t2 = Now();
        redrawOn = std::min(redrawOn, Seconds(t0, t1));
        onePage = std::min(onePage, Seconds(t1, t2));
    }
    wprintf(L"the list control by itself: turning drawing on %.3f s, drawing one page %.3f s; a search pays the "
            L"first twice and the second once: %.2f of the listing\n",
            redrawOn, onePage, (2 * redrawOn + onePage) / plainListing);

    // Start to the first row shown: every name matches, the list is watched
    // from here while the window's thread searches.
    SetText(window, IDC_SEARCH_NAME, L"");
    double firstRow = 1e9;
    for (int run = 0; run < 3; ++run) {
        HWND previous = ResultsList(window);
        LARGE_INTEGER t0 = Now();
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SEARCH_START, 0), 0);
        double seen = -1;
        for (;;) {
            HWND rows = ResultsList(window);
            if (rows == previous) rows = nullptr;   // the last search's list, not yet replaced
            DWORD_PTR count = 0;
            if (rows && SendMessageTimeoutW(rows, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 5000, &count) && count > 0) {
                seen = Seconds(t0, Now());
                break;
            }
            if (Seconds(t0, Now()) > 60) break;
            Sleep(1);
        }
        // Let the search end before the next one.
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_SEARCH_STOP, 0), 0);
        while (!IsWindowEnabled(Control(window, IDC_SEARCH_START))) Sleep(10);
        if (seen >= 0) firstRow = std::min(firstRow, seen);
    }
    wprintf(L"Start to the first result shown on the %u-item drive: %.3f s (best of three)\n", listed, firstRow);

    // Content, case-sensitive as the plain scan is.
    SetText(window, IDC_SEARCH_LOOK_IN, L"\\B:");
    SetText(window, IDC_SEARCH_TEXT, L"no such text here");
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_SEARCH_CASE_SENSITIVE, 0), 0);
    double plainContent = 1e9, windowContent = 1e9;
    for (int run = 0; run < 2; ++run) {
        LARGE_INTEGER t0 = Now();
        hr = ReadAndScanAll(access.Get(), L"\\B:");
        LARGE_INTEGER t1 = Now();
        if (FAILED(hr)) return Fail(L"plain read and scan", hr);
        plainContent = std::min(plainContent, Seconds(t0, t1));
        windowContent = std::min(windowContent, TimedStart(window));
    }
    wprintf(L"content from the window: %u files of %lu KiB; read and scan %.2f s, content search %.2f s: "
            L"ratio %.2f (goal <= 1.2); without the fixed cost: ratio %.2f\n",
            bulkFiles, static_cast<unsigned long>(kBulkFileSize / 1024), plainContent, windowContent,
            windowContent / plainContent, (windowContent - fixedCost) / plainContent);

    SendMessageW(window, WM_CLOSE, 0, 0);
    while (OpenSearchWindowCount() > 0) Sleep(10);
    SetPromptAnswerer(nullptr);
    Regsvr32(true);
    return 0;
}
