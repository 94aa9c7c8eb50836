#include "view/information_pane.h"

#include "common/window_classes.h"
#include "handlers/device_info.h"

namespace {

void ClearBar(HWND window, int bar, BOOL redraw) {
    SCROLLINFO info = {sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL, 0, 0, 0, 0, 0};
    SetScrollInfo(window, bar, &info, redraw);
}

}  // namespace

HRESULT InformationPane::Create(HWND parent, PaneHost* host) {
    Destroy();
    if (!RegisterModuleWindowClasses()) return E_FAIL;
    HWND window = CreateWindowExW(0, kWebViewWindowClass, L"", WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL,
                                  0, 0, 100, 100, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPaneControlId)), CodeModule(),
                                  nullptr);
    if (!window) return E_FAIL;
    // The pane's messages come here first; the object itself is the record.
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InformationPane::WindowProc)));
    if (!previous_) {
        DestroyWindow(window);
        return E_FAIL;
    }
    window_ = window;
    host_ = host;
    ClearScrollBars(TRUE);
    drawing_.Create(window_);
    return S_OK;
}

void InformationPane::LoadPicture(int model) {
    pictureChosen_ = true;
    // The ZP03 has a picture of its own; any other model, or a missing
    // picture, gets the general one.
    if (model == kModelZP03 && drawing_.LoadPicture(IDB_PANE_MODULE_ZP03)) return;
    drawing_.LoadPicture(IDB_PANE_MODULE);
}

void InformationPane::Destroy() {
    drawing_.Release();
    if (window_) {
        HWND window = window_;
        window_ = nullptr;
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    previous_ = nullptr;
    host_ = nullptr;
    fullPane_ = false;
    pictureChosen_ = false;
    content_ = {0, 0};
    painted_ = PaneContent();
}

void InformationPane::Place(const PaneLayout& layout) {
    if (!window_) return;
    // The mode first: the move's WM_SIZE acts on it.
    fullPane_ = layout.fullPane;
    if (layout.band) ClearScrollBars(FALSE);
    MoveWindow(window_, layout.pane.x, layout.pane.y, layout.pane.width, layout.pane.height, TRUE);
}

void InformationPane::Refresh() {
    if (!window_ || !fullPane_) return;
    InvalidateRect(window_, nullptr, TRUE);
    UpdateWindow(window_);
    UpdateScrollRanges();
}

void InformationPane::ClearScrollBars(BOOL redraw) {
    ClearBar(window_, SB_HORZ, redraw);
    ClearBar(window_, SB_VERT, redraw);
}

void InformationPane::UpdateScrollRanges() {
    RECT rc = {};
    GetWindowRect(window_, &rc);
    const int pages[2] = {rc.right - rc.left - GetSystemMetrics(SM_CXVSCROLL), rc.bottom - rc.top};
    const int contents[2] = {content_.cx, content_.cy};
    const int bars[2] = {SB_HORZ, SB_VERT};
    for (int i = 0; i < 2; ++i) {
        SCROLLINFO current = {sizeof(current), SIF_POS};
        if (!GetScrollInfo(window_, bars[i], &current)) current.nPos = 0;
        PaneScrollBar bar = PaneScrollRange(contents[i], pages[i], current.nPos);
        if (bar.cleared) {
            ClearBar(window_, bars[i], TRUE);
            continue;
        }
        SCROLLINFO info = {sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS};
        info.nMin = 0;
        info.nMax = bar.max;
        info.nPage = static_cast<UINT>(bar.page);
        info.nPos = bar.position;
        SetScrollInfo(window_, bars[i], &info, TRUE);
    }
}

void InformationPane::Scroll(int bar, int request, int thumb, int step) {
    if (!fullPane_) return;
    switch (request) {
    case SB_LINEUP: case SB_TOP: case SB_LINEDOWN: case SB_BOTTOM:
    case SB_PAGEUP: case SB_PAGEDOWN: case SB_THUMBPOSITION: case SB_THUMBTRACK:
        break;
    default:
        return;
    }
    SCROLLINFO info = {sizeof(info), SIF_ALL};
    if (!GetScrollInfo(window_, bar, &info)) return;
    PaneScrollBar current;
    current.cleared = false;
    current.max = info.nMax;
    current.page = static_cast<int>(info.nPage);
    current.position = info.nPos;
    // The bar keeps a page-up above its minimum.
    SCROLLINFO change = {sizeof(change), SIF_POS};
    change.nPos = PaneScrollPosition(request, current, thumb, step);
    SetScrollInfo(window_, bar, &change, TRUE);
    InvalidateRect(window_, nullptr, TRUE);
    UpdateWindow(window_);
}

void InformationPane::Paint() {
    content_ = {0, 0};
    RECT update = {};
    if (!GetUpdateRect(window_, &update, FALSE)) return;
    PAINTSTRUCT ps = {};
    HDC dc = BeginPaint(window_, &ps);
    if (!dc) return;
    PaneContent content = host_ ? host_->CurrentPaneContent() : PaneContent();
    SIZE drawn = PaintPaneContent(window_, dc, drawing_, content, fullPane_);
    if (fullPane_) content_ = drawn;
    painted_ = std::move(content);
    EndPaint(window_, &ps);
}

LRESULT CALLBACK InformationPane::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto pane = reinterpret_cast<InformationPane*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!pane || pane->window_ != window) return DefWindowProcW(window, message, wParam, lParam);
    return pane->OnMessage(message, wParam, lParam);
}

LRESULT InformationPane::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        Paint();
        return 0;
    case WM_ERASEBKGND:
        ErasePaneBackground(window_, reinterpret_cast<HDC>(wParam), drawing_, fullPane_);
        return 1;
    case WM_SIZE:
        if (fullPane_) {
            InvalidateRect(window_, nullptr, TRUE);
            UpdateWindow(window_);
            UpdateScrollRanges();
        }
        return 0;
    case WM_HSCROLL:
        Scroll(SB_HORZ, LOWORD(wParam), static_cast<short>(HIWORD(wParam)), kPaneHorizontalStep);
        return 0;
    case WM_VSCROLL:
        Scroll(SB_VERT, LOWORD(wParam), static_cast<short>(HIWORD(wParam)), kPaneVerticalStep);
        return 0;
    case WM_RBUTTONUP: {
        DWORD position = GetMessagePos();
        POINT screen = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
        if (host_) host_->OnPaneMenu(screen);
        return 0;
    }
    case WM_NCDESTROY: {
        // Destroyed with its parent: the pane lets go of the window.
        WNDPROC previous = previous_;
        HWND window = window_;
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        window_ = nullptr;
        return CallWindowProcW(previous, window, message, wParam, lParam);
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
        POINT client = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        if (host_) host_->OnPanePress(client);
        break;
    }
    default:
        break;
    }
    return CallWindowProcW(previous_, window_, message, wParam, lParam);
}
