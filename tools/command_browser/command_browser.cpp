// A browser window of our own around the module's view, with what Explorer
// gives a view and the platform's explorer does not: a menu bar into which
// the view merges its menus, a toolbar for its buttons and a status bar for
// its help texts. The view comes from the registered library through the
// shell, as in Explorer.
//   command_browser.exe [end of a drive's name under Module, e.g. "(A:)"] [seconds]
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <string>

#include "testing/browser_menus.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kModuleFolder[] =
    L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}";
constexpr UINT kFirstViewCommand = 8192, kLastViewCommand = 8413;

class FrameBrowser final : public IShellBrowser {
public:
    HWND frame = nullptr, toolbar = nullptr, status = nullptr, viewWindow = nullptr;
    HMENU bar = nullptr;
    ComPtr<IShellView> view;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IShellBrowser) {
            *out = static_cast<IShellBrowser*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetWindow(HWND* window) override {
        *window = frame;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS) override {
        InsertBrowserMenus(shared);
        return S_OK;
    }
    STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU, HWND) override {
        bar = shared;
        SetMenu(frame, shared);
        DrawMenuBar(frame);
        return S_OK;
    }
    STDMETHODIMP RemoveMenusSB(HMENU shared) override {
        while (GetMenuItemCount(shared) > 0) DeleteMenu(shared, 0, MF_BYPOSITION);
        return S_OK;
    }
    STDMETHODIMP SetStatusTextSB(LPCOLESTR text) override {
        SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return S_OK;
    }
    STDMETHODIMP EnableModelessSB(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return S_FALSE; }
    STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE, UINT) override { return S_OK; }
    STDMETHODIMP GetViewStateStream(DWORD, IStream**) override { return E_FAIL; }
    STDMETHODIMP GetControlWindow(UINT id, HWND* window) override {
        *window = id == FCW_STATUS ? status : id == FCW_TOOLBAR ? toolbar : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        HWND window = nullptr;
        if (FAILED(GetControlWindow(id, &window))) return E_FAIL;
        LRESULT r = SendMessageW(window, message, wParam, lParam);
        if (result) *result = r;
        return S_OK;
    }
    STDMETHODIMP QueryActiveShellView(IShellView** out) override { return view.CopyTo(out); }
    STDMETHODIMP OnViewWindowActive(IShellView*) override { return S_OK; }
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT) override {
        if (buttons && count) SendMessageW(toolbar, TB_ADDBUTTONSW, count, reinterpret_cast<LPARAM>(buttons));
        return S_OK;
    }

    void Layout() {
        RECT client = {}, tool = {}, bottom = {};
        GetClientRect(frame, &client);
        SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
        SendMessageW(status, WM_SIZE, 0, 0);
        GetWindowRect(toolbar, &tool);
        GetWindowRect(status, &bottom);
        if (viewWindow)
            MoveWindow(viewWindow, 0, tool.bottom - tool.top, client.right,
                       client.bottom - (tool.bottom - tool.top) - (bottom.bottom - bottom.top), TRUE);
    }
};

FrameBrowser g_browser;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // The view's menu items, toolbar buttons and help go to the view window,
    // as the browser's shared-menu dispatching does.
    HWND viewWindow = g_browser.viewWindow;
    switch (message) {
    case WM_SIZE:
        g_browser.Layout();
        return 0;
    case WM_COMMAND:
        if (viewWindow && LOWORD(wParam) >= kFirstViewCommand && LOWORD(wParam) <= kLastViewCommand)
            return SendMessageW(viewWindow, message, wParam, lParam);
        if (LOWORD(wParam) == 40997) DestroyWindow(window);
        return 0;
    case WM_INITMENUPOPUP:
    case WM_MENUSELECT:
    case WM_EXITMENULOOP:
        if (viewWindow) SendMessageW(viewWindow, message, wParam, lParam);
        return 0;
    case WM_NOTIFY: {
        auto header = reinterpret_cast<NMHDR*>(lParam);
        if (viewWindow && (header->code == TTN_NEEDTEXTW || header->code == TTN_NEEDTEXTA))
            return SendMessageW(viewWindow, message, wParam, lParam);
        break;
    }
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (g_browser.view) {
            g_browser.view->UIActivate(SVUIA_DEACTIVATE);
            g_browser.view->DestroyViewWindow();
            g_browser.view.Reset();
        }
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The module folder, or its child whose display name ends with `child`
// (drive names are in the library's language).
HRESULT BindModuleFolder(const std::wstring& child, IShellFolder** out) {
    PIDLIST_ABSOLUTE root = nullptr;
    HRESULT hr = SHParseDisplayName(kModuleFolder, nullptr, &root, 0, nullptr);
    if (FAILED(hr)) return hr;
    ComPtr<IShellFolder> folder;
    hr = SHBindToObject(nullptr, root, nullptr, IID_PPV_ARGS(&folder));
    CoTaskMemFree(root);
    if (FAILED(hr) || child.empty()) return FAILED(hr) ? hr : folder.CopyTo(out);
    ComPtr<IEnumIDList> items;
    if (FAILED(folder->EnumObjects(nullptr, SHCONTF_FOLDERS, &items)) || !items) return E_FAIL;
    LPITEMIDLIST item = nullptr;
    while (items->Next(1, &item, nullptr) == S_OK) {
        STRRET name = {};
        wchar_t* text = nullptr;
        bool match = SUCCEEDED(folder->GetDisplayNameOf(item, SHGDN_INFOLDER, &name)) &&
                     SUCCEEDED(StrRetToStrW(&name, item, &text)) && wcslen(text) >= child.size() &&
                     child == text + wcslen(text) - child.size();
        CoTaskMemFree(text);
        if (match) hr = folder->BindToObject(item, nullptr, IID_PPV_ARGS(out));
        CoTaskMemFree(item);
        if (match) return hr;
    }
    return E_FAIL;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring child = argc > 1 ? argv[1] : L"";
    int seconds = argc > 2 ? _wtoi(argv[2]) : 0;
    LocalFree(argv);

    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"KTX Command Browser";
    RegisterClassW(&wc);
    HWND frame = CreateWindowExW(0, wc.lpszClassName, L"Module", WS_OVERLAPPEDWINDOW, 10, 10, 700, 480, nullptr,
                                 nullptr, instance, nullptr);
    g_browser.frame = frame;
    g_browser.toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                        WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | TBSTYLE_FLAT | CCS_TOP, 0, 0, 0, 0,
                                        frame, nullptr, instance, nullptr);
    SendMessageW(g_browser.toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    g_browser.status = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0,
                                       0, frame, nullptr, instance, nullptr);

    ComPtr<IShellFolder> folder;
    HRESULT hr = BindModuleFolder(child, &folder);
    if (SUCCEEDED(hr)) hr = folder->CreateViewObject(frame, IID_PPV_ARGS(&g_browser.view));
    if (SUCCEEDED(hr)) {
        FOLDERSETTINGS settings = {FVM_DETAILS, FWF_AUTOARRANGE};
        RECT rect = {0, 0, 600, 300};
        hr = g_browser.view->CreateViewWindow(nullptr, &settings, &g_browser, &rect, &g_browser.viewWindow);
    }
    if (FAILED(hr)) {
        wchar_t text[64];
        wsprintfW(text, L"The module's view could not be shown (0x%08X).", static_cast<unsigned>(hr));
        MessageBoxW(frame, text, L"Module", MB_ICONERROR);
        DestroyWindow(frame);
        OleUninitialize();
        return 1;
    }
    ShowWindow(frame, SW_SHOW);
    g_browser.Layout();
    g_browser.view->UIActivate(SVUIA_ACTIVATE_FOCUS);
    if (seconds > 0) SetTimer(frame, 1, static_cast<UINT>(seconds) * 1000, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (g_browser.view && g_browser.view->TranslateAccelerator(&msg) == S_OK) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    folder.Reset();
    OleUninitialize();
    return 0;
}
