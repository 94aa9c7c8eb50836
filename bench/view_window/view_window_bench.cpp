// Time to create the module view's window over a folder of 10,000 items,
// against Wine's own view of a file-system folder of 10,000 files, and the
// module view's memory per item.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/resource_module.h"
#include "tests/support/test_shell_browser.h"
#include "module_access/com_thread.h"
#include "testing/fake_module_access.h"
#include "testing/substitute_server.h"
#include "tools/substitute_common/tree_builder.h"
#include "view/module_view.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kItems = 10000;

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

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

const wchar_t* const kExtensions[] = {L".txt", L".jpg", L".wav", L".bin", L".amr"};

std::wstring ItemName(int i) {
    wchar_t name[32];
    swprintf(name, ARRAYSIZE(name), L"file%05d%s", i, kExtensions[i % 5]);
    return name;
}

// Wine's default view of a folder holding kItems empty files.
double TimeDefaultView() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"ktx_view_bench";
    CreateDirectoryW(dir.c_str(), nullptr);
    for (int i = 0; i < kItems; ++i) {
        std::wstring path = dir + L"\\" + ItemName(i);
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHParseDisplayName(dir.c_str(), nullptr, &list, 0, nullptr))) return -1;
    ComPtr<IShellFolder> desktop, folder;
    SHGetDesktopFolder(&desktop);
    HRESULT hr = desktop->BindToObject(list, nullptr, IID_PPV_ARGS(&folder));
    CoTaskMemFree(list);
    if (FAILED(hr)) return -1;

    ComPtr<TestShellBrowser> browser;
    if (FAILED(TestShellBrowser::Create(800, 600, &browser))) return -1;
    ComPtr<IShellView> view;
    if (FAILED(folder->CreateViewObject(browser->Frame(), IID_PPV_ARGS(&view)))) return -1;
    double start = Seconds();
    HWND window = nullptr;
    hr = browser->ShowView(view.Get(), FVM_DETAILS, FWF_AUTOARRANGE, &window);
    TestShellBrowser::PumpMessages();
    double elapsed = Seconds() - start;
    browser->DestroyView();
    return SUCCEEDED(hr) ? elapsed : -1;
}

struct ModuleRun {
    double seconds = -1;
    double bytesPerItem = 0;
    int rows = 0;
};

// The module view over a folder of kItems items served in process, so that
// the figure is the view's own work and not the link's.
ModuleRun TimeModuleView() {
    ModuleRun run;
    FakeModuleAccess* module = new FakeModuleAccess();
    module->AddDrive(L"A:");
    for (int i = 0; i < kItems; ++i) {
        std::wstring path = L"\\A:\\" + ItemName(i);
        FakeModuleAccess::Entry& entry =
            i % 50 == 0 ? module->AddFolder(path.c_str()) : module->AddFile(path.c_str(), 1000 + i);
        entry.modified = 40000 + i % 700;
    }
    FakeModuleAccessScope scope(module);

    ComPtr<TestShellBrowser> browser;
    if (FAILED(TestShellBrowser::Create(800, 600, &browser))) return run;
    ComPtr<ModuleView> view;
    ModuleView::Create(&view);
    view->InitForFolderPath(L"\\A:", nullptr, browser->Frame());

    SIZE_T before = HeapBytes();
    double start = Seconds();
    HWND window = nullptr;
    HRESULT hr = browser->ShowView(view.Get(), FVM_DETAILS, 0, &window);
    TestShellBrowser::PumpMessages();
    run.seconds = Seconds() - start;
    SIZE_T after = HeapBytes();
    if (SUCCEEDED(hr)) {
        run.rows = view->ItemCount();
        run.bytesPerItem = after > before ? static_cast<double>(after - before) / kItems : 0;
    } else {
        run.seconds = -1;
    }
    browser->DestroyView();
    view.Reset();
    module->Release();
    return run;
}

// The module view over \A:\Wide, 10,000 files served by the substitute
// module server out of process: what the user waits for, link included.
ModuleRun TimeModuleViewOverServer() {
    ModuleRun run;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring tree = std::wstring(temp) + L"ktx_view_bench_module";
    std::wstring marker = tree + L"\\complete";
    if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        CreateDirectoryW(tree.c_str(), nullptr);
        HRESULT hr = substitute::PrepareDrive(tree, L'A', 64u * 1024 * 1024, L"WIDE");
        if (SUCCEEDED(hr)) hr = substitute::BuildFiles(tree, L'A', L"Wide", kItems, 64, L"Entry ", L".txt");
        if (FAILED(hr)) return run;
        CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    SubstituteModule::Options options;
    options.serveFolder = tree;
    SubstituteModule module(options);
    if (!module.ok()) return run;
    EnterComThread();
    {
        ComPtr<TestShellBrowser> browser;
        ComPtr<ModuleView> view;
        if (SUCCEEDED(TestShellBrowser::Create(800, 600, &browser)) && SUCCEEDED(ModuleView::Create(&view)) &&
            SUCCEEDED(view->InitForFolderPath(L"\\A:\\Wide", nullptr, browser->Frame()))) {
            double start = Seconds();
            HWND window = nullptr;
            HRESULT hr = browser->ShowView(view.Get(), FVM_DETAILS, FWF_AUTOARRANGE, &window);
            TestShellBrowser::PumpMessages();
            if (SUCCEEDED(hr)) {
                run.seconds = Seconds() - start;
                run.rows = view->ItemCount();
            }
            browser->DestroyView();
        }
    }
    LeaveComThread();
    return run;
}

}  // namespace

int main() {
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));

    ModuleRun module = TimeModuleView();
    ModuleRun served = TimeModuleViewOverServer();
    double wine = TimeDefaultView();
    printf("items: %d\n", kItems);
    printf("module view, module in process: %.3f s (%d rows)\n", module.seconds, module.rows);
    printf("module view, substitute server: %.3f s (%d rows)\n", served.seconds, served.rows);
    printf("default view over files: %.3f s\n", wine);
    if (module.seconds > 0 && wine > 0) printf("ratio module/default, in process: %.2f\n", module.seconds / wine);
    if (served.seconds > 0 && wine > 0) printf("ratio module/default, through the server: %.2f\n", served.seconds / wine);
    printf("module view memory per item: %.0f bytes\n", module.bytesPerItem);
    OleUninitialize();
    return 0;
}
