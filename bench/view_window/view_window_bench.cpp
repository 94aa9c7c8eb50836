// Time to create the module view's window over a folder of 10,000 files
// against Wine's own view of the same 10,000 files on the PC, both in details
// mode with the same folder flags: the module served in process (the view's
// own work) and through the substitute server (what the user waits for), and
// the module view's memory per item.
//   view_window_bench [--quick] [items]
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/common/items_tree.h"
#include "bench/common/measure.h"
#include "common/resource_module.h"
#include "module_access/com_thread.h"
#include "testing/fake_module_access.h"
#include "testing/substitute_server.h"
#include "tests/support/test_shell_browser.h"
#include "view/module_view.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kRounds = 5;
constexpr FOLDERFLAGS kFlags = FWF_AUTOARRANGE;
constexpr double kGoal = 1.1;

// Bytes committed in the process's heaps; the platform's own counters
// of private bytes are not kept everywhere.
SIZE_T HeapBytes() {
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(ARRAYSIZE(heaps), heaps);
    SIZE_T total = 0;
    for (DWORD i = 0; i < count && i < ARRAYSIZE(heaps); ++i) {
        PROCESS_HEAP_ENTRY entry = {};
        if (!HeapLock(heaps[i])) continue;
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

// Shows `view` in a new browser window and pumps until it is drawn; the
// seconds taken, or -1. `rows`, when given, gets the module view's row count.
double TimeShow(IShellView* view, ModuleView* moduleView, int* rows, SIZE_T* heapGrowth) {
    ComPtr<TestShellBrowser> browser;
    if (FAILED(TestShellBrowser::Create(800, 600, &browser))) return -1;
    const SIZE_T before = heapGrowth ? HeapBytes() : 0;
    const double start = bench::Now();
    HWND window = nullptr;
    HRESULT hr = browser->ShowView(view, FVM_DETAILS, kFlags, &window);
    TestShellBrowser::PumpMessages();
    const double took = bench::Now() - start;
    if (heapGrowth) {
        const SIZE_T after = HeapBytes();
        *heapGrowth = after > before ? after - before : 0;
    }
    if (rows && moduleView) *rows = moduleView->ItemCount();
    browser->DestroyView();
    return SUCCEEDED(hr) ? took : -1;
}

// Wine's default view of the tree's PC folder.
double TimeDefaultView(const std::wstring& directory) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHParseDisplayName(directory.c_str(), nullptr, &list, 0, nullptr))) return -1;
    ComPtr<IShellFolder> desktop, folder;
    SHGetDesktopFolder(&desktop);
    HRESULT hr = desktop->BindToObject(list, nullptr, IID_PPV_ARGS(&folder));
    CoTaskMemFree(list);
    if (FAILED(hr)) return -1;
    ComPtr<TestShellBrowser> browser;
    if (FAILED(TestShellBrowser::Create(800, 600, &browser))) return -1;
    ComPtr<IShellView> view;
    if (FAILED(folder->CreateViewObject(browser->Frame(), IID_PPV_ARGS(&view)))) return -1;
    return TimeShow(view.Get(), nullptr, nullptr, nullptr);
}

// The module view of \A:\Items, from whatever serves the module now.
double TimeModuleView(int* rows, SIZE_T* heapGrowth) {
    ComPtr<TestShellBrowser> frame;
    ComPtr<ModuleView> view;
    if (FAILED(TestShellBrowser::Create(800, 600, &frame)) || FAILED(ModuleView::Create(&view)) ||
        FAILED(view->InitForFolderPath(bench::kItemsFolder, nullptr, frame->Frame())))
        return -1;
    return TimeShow(view.Get(), view.Get(), rows, heapGrowth);
}

// The same files as the tree holds, served in process.
FakeModuleAccess* InProcessModule(const std::wstring& directory) {
    FakeModuleAccess* module = new FakeModuleAccess();
    module->AddDrive(L"A:");
    module->AddFolder(bench::kItemsFolder);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((directory + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return module;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::wstring path = std::wstring(bench::kItemsFolder) + L"\\" + found.cFileName;
        module->AddFile(path.c_str(), found.nFileSizeLow);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return module;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::QuickMode(argc, argv);
    std::vector<unsigned long> numbers = bench::NumberArguments(argc, argv);
    const unsigned items = !numbers.empty() ? static_cast<unsigned>(numbers[0]) : quick ? 1000 : 10000;
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));

    const std::wstring tree = bench::ItemsTree(items);
    if (tree.empty()) {
        std::printf("cannot make the tree of %u files\n", items);
        return 1;
    }
    const std::wstring directory = tree + L"\\A\\Items";
    std::printf("view_window_bench%s: %u files in details mode, flags 0x%X on both sides, %d rounds after a "
                "warm-up\n",
                quick ? " (quick)" : "", items, static_cast<unsigned>(kFlags), kRounds);

    bool ok = true;
    int rows = 0;
    SIZE_T heapGrowth = 0;
    bench::Comparison inProcess;
    {
        FakeModuleAccess* module = InProcessModule(directory);
        FakeModuleAccessScope scope(module);
        inProcess = bench::Alternate(kRounds, [&] { return TimeDefaultView(directory); },
                                     [&] { return TimeModuleView(&rows, nullptr); });
        TimeModuleView(nullptr, &heapGrowth);
        module->Release();
    }
    if (rows != static_cast<int>(items)) {
        std::printf("the module view shows %d rows, not %u\n", rows, items);
        ok = false;
    }
    bench::PrintSamples("Wine's default view over the files", inProcess.a, 1e3, "ms");
    bench::PrintSamples("module view, module in process", inProcess.b, 1e3, "ms");
    bench::PrintSamples("ratio module / default", inProcess.ratio, 1, "x ");
    std::printf("  module view memory per item: %.0f bytes\n", static_cast<double>(heapGrowth) / items);

    bench::Comparison served;
    {
        SubstituteModule::Options options;
        options.serveFolder = tree;
        SubstituteModule module(options);
        if (module.ok()) {
            EnterComThread();
            int servedRows = 0;
            served = bench::Alternate(kRounds, [&] { return TimeDefaultView(directory); },
                                      [&] { return TimeModuleView(&servedRows, nullptr); });
            LeaveComThread();
            if (servedRows != static_cast<int>(items)) ok = false;
            bench::PrintSamples("Wine's default view over the files", served.a, 1e3, "ms");
            bench::PrintSamples("module view, substitute server", served.b, 1e3, "ms");
            bench::PrintSamples("ratio module through the server / default", served.ratio, 1, "x ");
        } else {
            std::printf("substitute server not available\n");
            ok = false;
        }
    }
    const bool met = bench::PrintGoal("module view in process / default view", inProcess.ratio.Median(), kGoal, "x");
    std::printf("%s\n", ok ? (met ? "all goals met" : "some goals MISSED") : "the run failed");
    OleUninitialize();
    return ok ? 0 : 1;
}
