#include "tests/support/test_shell_browser.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>

HRESULT TestShellBrowser::Create(int width, int height, TestShellBrowser** out) {
    *out = nullptr;
    TestShellBrowser* browser = new (std::nothrow) TestShellBrowser();
    if (!browser) return E_OUTOFMEMORY;
    RECT rc = {0, 0, width, height};
    AdjustWindowRect(&rc, WS_OVERLAPPEDWINDOW, FALSE);
    browser->frame_ = CreateWindowExW(0, L"STATIC", L"Test browser", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
                                      0, rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, nullptr, nullptr);
    if (browser->frame_)
        browser->status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                           browser->frame_, reinterpret_cast<HMENU>(1), nullptr, nullptr);
    if (!browser->status_) {
        browser->Release();
        return E_FAIL;
    }
    *out = browser;
    return S_OK;
}

TestShellBrowser::~TestShellBrowser() {
    DestroyView();
    if (frame_) DestroyWindow(frame_);
}

void TestShellBrowser::SetStoredState(const std::vector<BYTE>& bytes) {
    hasStored_ = true;
    storedBytes_ = bytes;
}

std::vector<BYTE> TestShellBrowser::WrittenState() const {
    ULARGE_INTEGER size = {};
    if (!written_ || FAILED(IStream_Size(written_.Get(), &size)) || FAILED(IStream_Reset(written_.Get())))
        return {};
    std::vector<BYTE> bytes(static_cast<size_t>(size.QuadPart));
    if (!bytes.empty() && FAILED(IStream_Read(written_.Get(), bytes.data(), static_cast<ULONG>(bytes.size()))))
        bytes.clear();
    return bytes;
}

std::wstring TestShellBrowser::StatusPart(int part) const {
    LRESULT info = SendMessageW(status_, SB_GETTEXTLENGTHW, part, 0);
    std::wstring text(LOWORD(info) + 1, L'\0');
    SendMessageW(status_, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(wcslen(text.c_str()));
    return text;
}

HRESULT TestShellBrowser::ShowView(IShellView* view, UINT viewMode, UINT folderFlags, HWND* viewWindow) {
    if (!view) return E_POINTER;
    DestroyView();
    // The view fills the client area above the status bar.
    RECT rect = {}, bar = {};
    GetClientRect(frame_, &rect);
    GetWindowRect(status_, &bar);
    rect.bottom -= bar.bottom - bar.top;
    if (rect.bottom < rect.top) rect.bottom = rect.top;
    FOLDERSETTINGS settings = {viewMode, folderFlags};
    HWND window = nullptr;
    view_ = view;
    HRESULT hr = view->CreateViewWindow(nullptr, &settings, this, &rect, &window);
    if (viewWindow) *viewWindow = window;
    return hr;
}

void TestShellBrowser::DestroyView() {
    Microsoft::WRL::ComPtr<IShellView> view;
    view.Swap(view_);
    if (view) view->DestroyViewWindow();
}

std::vector<std::wstring> ColumnTexts(HWND list, int column) {
    std::vector<std::wstring> texts;
    int rows = ListView_GetItemCount(list);
    for (int row = 0; row < rows; ++row) {
        wchar_t text[300] = {};
        ListView_GetItemText(list, row, column, text, ARRAYSIZE(text));
        texts.push_back(text);
    }
    return texts;
}

int RowOf(HWND list, const std::wstring& name) {
    std::vector<std::wstring> names = ColumnTexts(list, 0);
    auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? -1 : static_cast<int>(it - names.begin());
}

void DoubleClickRow(HWND list, int row) {
    RECT rc = {};
    ListView_GetItemRect(list, row, &rc, LVIR_LABEL);
    LPARAM at = MAKELPARAM(rc.left + 4, (rc.top + rc.bottom) / 2);
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
}

void Put32(std::vector<BYTE>* bytes, uint32_t value) {
    const BYTE* b = reinterpret_cast<const BYTE*>(&value);
    bytes->insert(bytes->end(), b, b + 4);
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

STDMETHODIMP TestShellBrowser::BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) {
    BrowseCall call = {IdListHolder(list ? ILClone(list) : nullptr), flags};
    browseCalls_.push_back(std::move(call));
    return S_OK;
}

STDMETHODIMP TestShellBrowser::GetViewStateStream(DWORD mode, IStream** stream) {
    if (!stream) return E_POINTER;
    *stream = nullptr;
    if ((mode & 3) == STGM_READ) {
        if (!hasStored_) return E_FAIL;
        *stream = SHCreateMemStream(storedBytes_.empty() ? nullptr : storedBytes_.data(),
                                    static_cast<UINT>(storedBytes_.size()));
        return *stream ? S_OK : E_OUTOFMEMORY;
    }
    *written_.ReleaseAndGetAddressOf() = SHCreateMemStream(nullptr, 0);
    return written_ ? written_.CopyTo(stream) : E_OUTOFMEMORY;
}

STDMETHODIMP TestShellBrowser::GetControlWindow(UINT id, HWND* window) {
    if (!window) return E_POINTER;
    *window = id == FCW_STATUS ? status_ : nullptr;
    return *window ? S_OK : E_FAIL;
}
