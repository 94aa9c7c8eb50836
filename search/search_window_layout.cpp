// The search window's layout, status bar, title and menus.
#include "search/search_window_object.h"

#include <commctrl.h>

#include "common/resource_module.h"
#include "resources/search_ids.h"
#include "resources/string_ids.h"

namespace {

constexpr int kMinResultsHeight = 80;
const UINT kSubmenuHelp[] = {IDS_SEARCH_HELP_FILE_MENU, IDS_SEARCH_HELP_EDIT_MENU, IDS_SEARCH_HELP_VIEW_MENU,
                             IDS_SEARCH_HELP_OPTIONS_MENU, IDS_SEARCH_HELP_HELP_MENU};

RECT ChildRect(HWND parent, HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

void SearchWindow::MeasureLayout() {
    RECT window, client;
    GetWindowRect(window_, &window);
    GetClientRect(window_, &client);
    // The menu bar takes its height from the client area: give it back, so
    // that the criteria keep the room the template gives them.
    RECT margin = {0, 0, 0, 7};
    MapDialogRect(window_, &margin);
    const int needed = ChildRect(window_, GetDlgItem(window_, IDC_SEARCH_TABS)).bottom + margin.bottom;
    if (client.bottom != needed) {
        SetWindowPos(window_, nullptr, 0, 0, window.right - window.left,
                     window.bottom - window.top + needed - client.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        GetWindowRect(window_, &window);
        GetClientRect(window_, &client);
    }
    initialHeight_ = window.bottom - window.top;
    initialWidth_ = window.right - window.left;
    criteriaClientHeight_ = client.bottom;
    buttonRightGap_ = client.right - ChildRect(window_, GetDlgItem(window_, IDC_SEARCH_START)).left;
    animationRightGap_ = client.right - ChildRect(window_, GetDlgItem(window_, IDC_SEARCH_ANIMATION)).left;
    tabRightGap_ = client.right - ChildRect(window_, GetDlgItem(window_, IDC_SEARCH_TABS)).right;
}

void SearchWindow::Layout(int width, int height) {
    if (!initialHeight_) return;
    for (int id : {IDC_SEARCH_START, IDC_SEARCH_STOP, IDC_SEARCH_NEW}) {
        HWND button = GetDlgItem(window_, id);
        RECT rect = ChildRect(window_, button);
        SetWindowPos(button, nullptr, width - buttonRightGap_, rect.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    HWND animation = GetDlgItem(window_, IDC_SEARCH_ANIMATION);
    RECT rect = ChildRect(window_, animation);
    SetWindowPos(animation, nullptr, width - animationRightGap_, rect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND tabs = GetDlgItem(window_, IDC_SEARCH_TABS);
    rect = ChildRect(window_, tabs);
    SetWindowPos(tabs, nullptr, 0, 0, width - tabRightGap_ - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    HWND divider = GetDlgItem(window_, IDC_SEARCH_DIVIDER);
    rect = ChildRect(window_, divider);
    SetWindowPos(divider, nullptr, 0, 0, width, rect.bottom - rect.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PositionPages();
    if (statusBar_) SendMessageW(statusBar_, WM_SIZE, 0, 0);
    if (resultsShown_ && resultsView_) {
        RECT results = ResultsRect();
        MoveWindow(resultsView_->ViewWindow(), results.left, results.top, results.right - results.left,
                   results.bottom - results.top, TRUE);
    }
}

void SearchWindow::PositionPages() {
    HWND tabs = GetDlgItem(window_, IDC_SEARCH_TABS);
    RECT area = ChildRect(window_, tabs);
    TabCtrl_AdjustRect(tabs, FALSE, &area);
    for (auto& page : pages_) {
        if (page && page->window())
            SetWindowPos(page->window(), HWND_TOP, area.left, area.top, area.right - area.left,
                         area.bottom - area.top, SWP_NOACTIVATE);
    }
}

RECT SearchWindow::ResultsRect() const {
    RECT client;
    GetClientRect(window_, &client);
    int statusHeight = 0;
    if (statusBar_ && IsWindowVisible(statusBar_)) {
        RECT status;
        GetWindowRect(statusBar_, &status);
        statusHeight = status.bottom - status.top;
    }
    RECT results = {0, criteriaClientHeight_, client.right, client.bottom - statusHeight};
    if (results.bottom < results.top) results.bottom = results.top;
    return results;
}

void SearchWindow::OnGetMinMaxInfo(MINMAXINFO* info) {
    if (!initialHeight_) return;
    info->ptMinTrackSize.x = initialWidth_;
    if (resultsShown_) {
        info->ptMinTrackSize.y = initialHeight_ + kMinResultsHeight;
    } else {
        // Only the width can change until there are results to show.
        info->ptMinTrackSize.y = initialHeight_;
        info->ptMaxTrackSize.y = initialHeight_;
    }
}

void SearchWindow::ShowTab(int index, bool focusTab) {
    HWND tabs = GetDlgItem(window_, IDC_SEARCH_TABS);
    if (index < 0 || index >= kSearchPageCount) index = 0;
    TabCtrl_SetCurSel(tabs, index);
    for (int i = 0; i < kSearchPageCount; ++i) {
        if (pages_[i] && pages_[i]->window()) ShowWindow(pages_[i]->window(), i == index ? SW_SHOW : SW_HIDE);
    }
    if (focusTab) SetFocus(tabs);
}

void SearchWindow::SetStatusText(const std::wstring& text) {
    statusText_ = text;
    // While searching, the folder names change faster than anyone reads them;
    // the bar shows the latest a few times a second.
    statusPending_ = searching_ && GetTickCount() - lastStatusUpdate_ < kStatusUpdateMs;
    if (!statusPending_) {
        ShowStatusText();
        return;
    }
    // The search may next wait a long time for the server without pumping
    // (reading a file over a slow link): the timer shows the text anyway.
    SetTimer(window_, kStatusTimer, kStatusUpdateMs, nullptr);
}

void SearchWindow::ShowStatusText() {
    statusPending_ = false;
    lastStatusUpdate_ = GetTickCount();
    const std::wstring& text = statusText_;
    if (!statusBar_) return;
    SendMessageW(statusBar_, SB_SIMPLE, TRUE, 0);
    SendMessageW(statusBar_, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (searching_) UpdateWindow(statusBar_);
}

void SearchWindow::RefreshTitle() {
    std::wstring title = Resources().LoadString(IDS_SEARCH_TITLE) + L" " + criteria_.Describe().plain;
    SetWindowTextW(window_, title.c_str());
}

void SearchWindow::RefreshChecks() {
    if (!optionsMenu_) return;
    CheckMenuItem(optionsMenu_, IDM_SEARCH_CASE_SENSITIVE,
                  MF_BYCOMMAND | (criteria_.caseSensitive ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(optionsMenu_, IDM_SEARCH_SAVE_RESULT,
                  MF_BYCOMMAND | (criteria_.saveResult ? MF_CHECKED : MF_UNCHECKED));
}

void SearchWindow::RestoreFileMenu() {
    if (!fileMenu_ || !fileMenuCopy_) return;
    while (GetMenuItemCount(fileMenu_) > 0) DeleteMenu(fileMenu_, 0, MF_BYPOSITION);
    int count = GetMenuItemCount(fileMenuCopy_.get());
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = L"";
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = ARRAYSIZE(text);
        if (!GetMenuItemInfoW(fileMenuCopy_.get(), i, TRUE, &item)) continue;
        InsertMenuItemW(fileMenu_, i, TRUE, &item);
    }
}

void SearchWindow::OnMenuSelect(UINT item, UINT flags, HMENU menu) {
    if (!statusBar_) return;
    if (flags == 0xFFFF && !menu) return;   // the menu closed
    std::wstring text;
    if (flags & MF_POPUP) {
        if (menu == menu_ && item < ARRAYSIZE(kSubmenuHelp)) {
            text = Resources().LoadString(kSubmenuHelp[item]);
        } else if (menu != menu_) {
            HMENU popup = GetSubMenu(menu, static_cast<int>(item));
            if (popup && GetMenuItemID(popup, 0) == 8197) text = Resources().LoadString(IDS_HELP_ARRANGE_ICONS_MENU);
        }
    } else if (!(flags & MF_SEPARATOR)) {
        text = Resources().LoadString(item);
    }
    SendMessageW(statusBar_, SB_SIMPLE, TRUE, 0);
    SendMessageW(statusBar_, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
}

void SearchWindow::OnInitMenuPopup(HMENU popup, UINT index, bool systemMenu) {
    if (systemMenu) return;
    if (!resultsView_) {
        EnableMenuItem(popup, IDM_SEARCH_OPEN_PARENT, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(popup, 8208, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(popup, 8209, MF_BYCOMMAND | MF_GRAYED);
        return;
    }
    // The results list sets up its own commands.
    SendMessageW(resultsView_->ViewWindow(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup),
                 MAKELPARAM(index, 0));
}

