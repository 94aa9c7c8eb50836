// A window that hosts the platform's explorer browser control on the Module
// folder under My Computer (or on one of its module paths), so that the
// module's own view can be seen and photographed.
//   module_browser.exe [module path] [seconds] [module path of an item to select]...
// With seconds > 0 the window closes by itself. The items are selected
// through the view's IShellView::SelectItem, as Explorer selects them.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cwchar>
#include <string>
#include <vector>

#include "common/holders.h"
#include "module_access/com_thread.h"
#include "module_access/module_access.h"
#include "item_id/module_item_id.h"
#include "module_access/absolute_lists.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kModuleFolderPath[] =
    L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}";

IExplorerBrowser* g_browser = nullptr;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (g_browser) {
            RECT rc = {0, 0, LOWORD(lParam), HIWORD(lParam)};
            g_browser->SetRect(nullptr, rc);
        }
        return 0;
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// The absolute list of a module path: the Module folder, then one item per level.
HRESULT ModulePathList(const std::wstring& path, PIDLIST_ABSOLUTE* out) {
    *out = nullptr;
    if (path.empty()) return SHParseDisplayName(kModuleFolderPath, nullptr, out, 0, nullptr);
    ComPtr<ModuleAccess> access;
    HRESULT hr = CreateModuleAccess(&access);
    if (FAILED(hr)) return hr;
    return ItemIdListForPath(path.c_str(), access.Get(), out);
}

// Selects the items at `paths` (all in the folder shown) and gives the view the focus.
void SelectItems(IExplorerBrowser* browser, const std::vector<std::wstring>& paths) {
    ComPtr<IShellView> view;
    ComPtr<ModuleAccess> access;
    if (paths.empty() || FAILED(browser->GetCurrentView(IID_PPV_ARGS(&view))) ||
        FAILED(CreateModuleAccess(&access)))
        return;
    view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    UINT flags = SVSI_SELECT | SVSI_DESELECTOTHERS | SVSI_FOCUSED | SVSI_ENSUREVISIBLE;
    for (const std::wstring& path : paths) {
        PIDLIST_ABSOLUTE list = nullptr;
        if (SUCCEEDED(ItemIdListForPath(path.c_str(), access.Get(), &list)))
            view->SelectItem(ILFindLastID(list), flags);
        CoTaskMemFree(list);
        flags = SVSI_SELECT;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring path = argc > 1 ? argv[1] : L"";
    int seconds = argc > 2 ? _wtoi(argv[2]) : 0;
    std::vector<std::wstring> selection;
    for (int i = 3; i < argc; ++i) selection.push_back(argv[i]);
    LocalFree(argv);

    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    EnterComThread();

    WNDCLASSW wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"KTX Module Browser";
    RegisterClassW(&wc);
    HWND frame = CreateWindowExW(0, wc.lpszClassName, L"Module", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, 720,
                                 480, nullptr, nullptr, instance, nullptr);
    int result = 1;
    ComPtr<IExplorerBrowser> browser;
    PIDLIST_ABSOLUTE list = nullptr;
    if (frame && SUCCEEDED(CoCreateInstance(CLSID_ExplorerBrowser, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_PPV_ARGS(&browser)))) {
        RECT rc;
        GetClientRect(frame, &rc);
        FOLDERSETTINGS settings = {FVM_DETAILS, FWF_AUTOARRANGE};
        if (SUCCEEDED(browser->Initialize(frame, &rc, &settings))) {
            g_browser = browser.Get();
            if (SUCCEEDED(ModulePathList(path, &list)) && SUCCEEDED(browser->BrowseToIDList(list, SBSP_ABSOLUTE))) {
                result = 0;
                SelectItems(browser.Get(), selection);
                if (seconds > 0) SetTimer(frame, 1, seconds * 1000, nullptr);
                MSG msg;
                while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            }
            g_browser = nullptr;
            browser->Destroy();
        }
    }
    CoTaskMemFree(list);
    browser.Reset();
    if (IsWindow(frame)) DestroyWindow(frame);
    LeaveComThread();
    OleUninitialize();
    return result;
}
