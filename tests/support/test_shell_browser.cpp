#include "tests/support/test_shell_browser.h"

#include <commctrl.h>
#include <shlwapi.h>

namespace {

const wchar_t kFrameClass[] = L"KTX Test Browser Frame";

ATOM RegisterFrameClass() {
    static ATOM atom = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = kFrameClass;
        return RegisterClassW(&wc);
    }();
    return atom;
}

}  // namespace

HRESULT TestShellBrowser::Create(int width, int height, TestShellBrowser** out) {
    *out = nullptr;
    RegisterFrameClass();
    TestShellBrowser* browser = new (std::nothrow) TestShellBrowser();
    if (!browser) return E_OUTOFMEMORY;
    RECT rc = {0, 0, width, height};
    AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
    browser->frame_ = CreateWindowExW(0, kFrameClass, L"Test browser", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                      0, 0, rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    if (!browser->frame_) {
        browser->Release();
        return E_FAIL;
    }
    browser->status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                       browser->frame_, reinterpret_cast<HMENU>(1), nullptr, nullptr);
    browser->toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS,
                                        0, 0, 0, 0, browser->frame_, reinterpret_cast<HMENU>(2), nullptr,
                                        nullptr);
    browser->tree_ = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD, 0, 0, 10, 10, browser->frame_,
                                     reinterpret_cast<HMENU>(3), nullptr, nullptr);
    if (!browser->status_ || !browser->toolbar_) {
        browser->Release();
        return E_FAIL;
    }
    SendMessageW(browser->toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    *out = browser;
    return S_OK;
}

TestShellBrowser::~TestShellBrowser() {
    DestroyView();
    if (written_) written_->Release();
    if (sharedMenu_) DestroyMenu(sharedMenu_);
    if (frame_) DestroyWindow(frame_);
}

void TestShellBrowser::SetStoredState(const std::vector<BYTE>& bytes) {
    stored_ = StoredState::Bytes;
    storedBytes_ = bytes;
}

void TestShellBrowser::ClearStoredState() {
    stored_ = StoredState::None;
    storedBytes_.clear();
}

std::vector<BYTE> TestShellBrowser::WrittenState() const {
    std::vector<BYTE> bytes;
    if (!written_) return bytes;
    HGLOBAL global = nullptr;
    STATSTG stat = {};
    if (FAILED(GetHGlobalFromStream(written_, &global)) || FAILED(written_->Stat(&stat, STATFLAG_NONAME)))
        return bytes;
    const BYTE* data = static_cast<const BYTE*>(GlobalLock(global));
    if (data) {
        bytes.assign(data, data + stat.cbSize.QuadPart);
        GlobalUnlock(global);
    }
    return bytes;
}

std::wstring TestShellBrowser::StatusPart(int part) const {
    LRESULT info = SendMessageW(status_, SB_GETTEXTLENGTHW, part, 0);
    std::wstring text(LOWORD(info) + 1, L'\0');
    SendMessageW(status_, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(wcslen(text.c_str()));
    return text;
}

int TestShellBrowser::StatusPartCount() const {
    return static_cast<int>(SendMessageW(status_, SB_GETPARTS, 0, 0));
}

RECT TestShellBrowser::ViewRect() const {
    RECT client = {}, bar = {}, tools = {};
    GetClientRect(frame_, &client);
    GetWindowRect(status_, &bar);
    GetWindowRect(toolbar_, &tools);
    client.top += tools.bottom - tools.top;
    client.bottom -= bar.bottom - bar.top;
    if (client.bottom < client.top) client.bottom = client.top;
    return client;
}

HRESULT TestShellBrowser::ShowView(IShellView* view, UINT viewMode, UINT folderFlags, HWND* viewWindow) {
    if (!view) return E_POINTER;
    DestroyView();
    FOLDERSETTINGS settings = {viewMode, folderFlags};
    RECT rect = ViewRect();
    HWND window = nullptr;
    view_ = view;
    view_->AddRef();
    HRESULT hr = view->CreateViewWindow(nullptr, &settings, this, &rect, &window);
    viewWindow_ = window;
    if (viewWindow) *viewWindow = window;
    return hr;
}

void TestShellBrowser::DestroyView() {
    if (!view_) return;
    IShellView* view = view_;
    view_ = nullptr;
    view->DestroyViewWindow();
    view->Release();
    viewWindow_ = nullptr;
}

void TestShellBrowser::PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

STDMETHODIMP TestShellBrowser::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IShellBrowser) {
        *out = static_cast<IShellBrowser*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TestShellBrowser::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) TestShellBrowser::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP TestShellBrowser::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = frame_;
    return S_OK;
}

STDMETHODIMP TestShellBrowser::InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) {
    struct {
        UINT id;
        const wchar_t* caption;
    } const menus[] = {{FCIDM_MENU_FILE, L"&File"}, {FCIDM_MENU_EDIT, L"&Edit"},
                       {FCIDM_MENU_VIEW, L"&View"}, {FCIDM_MENU_HELP, L"&Help"}};
    for (const auto& menu : menus) {
        HMENU popup = CreatePopupMenu();
        if (menu.id == FCIDM_MENU_VIEW)
            AppendMenuW(popup, MF_SEPARATOR, FCIDM_MENU_VIEW_SEP_OPTIONS, nullptr);
        MENUITEMINFOW info = {sizeof(info)};
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.wID = menu.id;
        info.hSubMenu = popup;
        info.dwTypeData = const_cast<wchar_t*>(menu.caption);
        InsertMenuItemW(shared, GetMenuItemCount(shared), TRUE, &info);
    }
    if (widths) widths->width[0] = widths->width[2] = widths->width[4] = 1;
    return S_OK;
}

STDMETHODIMP TestShellBrowser::SetMenuSB(HMENU shared, HOLEMENU, HWND) {
    sharedMenu_ = shared;
    return S_OK;
}

STDMETHODIMP TestShellBrowser::RemoveMenusSB(HMENU shared) {
    if (shared == sharedMenu_) sharedMenu_ = nullptr;
    return S_OK;
}

STDMETHODIMP TestShellBrowser::SetStatusTextSB(LPCOLESTR text) {
    statusTexts_.push_back(text ? text : L"");
    return S_OK;
}

STDMETHODIMP TestShellBrowser::BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) {
    BrowseCall call = {UniqueIdList(list ? ILClone(list) : nullptr), flags};
    browseCalls_.push_back(std::move(call));
    return S_OK;
}

STDMETHODIMP TestShellBrowser::GetViewStateStream(DWORD mode, IStream** stream) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if ((mode & 3) == STGM_READ) {
        if (stored_ == StoredState::None) return E_FAIL;
        ++readStreams_;
        *stream = SHCreateMemStream(storedBytes_.empty() ? nullptr : storedBytes_.data(),
                                    static_cast<UINT>(storedBytes_.size()));
        return *stream ? S_OK : E_OUTOFMEMORY;
    }
    if (written_) written_->Release();
    written_ = nullptr;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &written_);
    if (FAILED(hr)) return hr;
    *stream = written_;
    written_->AddRef();
    return S_OK;
}

STDMETHODIMP TestShellBrowser::GetControlWindow(UINT id, HWND* window) {
    if (!window) return E_POINTER;
    *window = nullptr;
    switch (id) {
    case FCW_STATUS: *window = status_; break;
    case FCW_TOOLBAR: *window = toolbar_; break;
    case FCW_TREE: *window = hasTree_ ? tree_ : nullptr; break;
    default: break;
    }
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP TestShellBrowser::SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam,
                                              LRESULT* result) {
    controlMessages_.push_back({id, message, wParam, lParam});
    HWND window = nullptr;
    GetControlWindow(id, &window);
    LRESULT answer = window ? SendMessageW(window, message, wParam, lParam) : 0;
    if (result) *result = answer;
    return window ? S_OK : E_FAIL;
}

STDMETHODIMP TestShellBrowser::QueryActiveShellView(IShellView** view) {
    if (!view) return E_POINTER;
    *view = view_;
    if (!view_) return E_FAIL;
    view_->AddRef();
    return S_OK;
}

STDMETHODIMP TestShellBrowser::OnViewWindowActive(IShellView*) {
    ++viewActiveCalls_;
    return S_OK;
}

STDMETHODIMP TestShellBrowser::SetToolbarItems(LPTBBUTTONSB, UINT count, UINT) {
    toolbarButtons_ = count;
    return S_OK;
}
