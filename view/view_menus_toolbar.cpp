// The view's menus and toolbar: what it merges into the browser's menu bar
// and toolbar, the help texts of highlighted menu items, and its context
// menus.
#include "view/module_view.h"

#include "common/resource_module.h"
#include "handlers/operation_hooks.h"
#include "handlers/view_menus.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "view/view_commands.h"

using Microsoft::WRL::ComPtr;

namespace {

// The browser's own File-menu items that the view deletes, grays or enables.
constexpr UINT kBrowserFileItems[] = {40998, 41029, 40995, 40996, 40997};

struct ToolTipText {
    UINT command;
    UINT text;
};
const ToolTipText kToolTips[] = {
    {CMD_VIEW_LARGE_ICONS, IDS_TIP_LARGE_ICONS}, {CMD_VIEW_SMALL_ICONS, IDS_TIP_SMALL_ICONS},
    {CMD_VIEW_LIST, IDS_TIP_LIST},               {CMD_VIEW_DETAILS, IDS_TIP_DETAILS},
    {CMD_PROPERTIES, IDS_TIP_PROPERTIES},        {CMD_CUT, IDS_TIP_CUT},
    {CMD_COPY, IDS_TIP_COPY},                    {CMD_DELETE, IDS_TIP_DELETE},
    {CMD_PASTE, IDS_TIP_PASTE},
};

bool IsFolder(LPCITEMIDLIST item) { return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0; }

UINT ViewModeCommand(int mode) { return CMD_VIEW_LARGE_ICONS + static_cast<UINT>(mode) - 1; }

void InsertSeparator(HMENU menu, int at) { InsertMenuW(menu, at, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr); }

void SetItemEnabled(HMENU menu, UINT id, bool enabled) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

// ---------------------------------------------------------------------------
// Menus merged into the browser's

void ModuleView::MergeMenus() {
    if (browser_ && kind_ != ListKind::Search) {
        RemoveMenus();
        HMENU shared = CreateMenu();
        if (!shared) return;
        OLEMENUGROUPWIDTHS widths = {};
        browser_->InsertMenusSB(shared, &widths);

        fileMenu_ = SubmenuWithId(shared, FCIDM_MENU_FILE);
        if (fileMenu_) {
            fileMenuCopy_ = CreatePopupMenu();
            if (fileMenuCopy_) CopyMenuItems(fileMenu_, fileMenuCopy_, -1);
        }
        editMenu_ = SubmenuWithId(shared, FCIDM_MENU_EDIT);
        if (editMenu_) {
            while (GetMenuItemCount(editMenu_) > 0) DeleteMenu(editMenu_, 0, MF_BYPOSITION);
            CopyMenuItems(ViewMenuPopup(kPopupEdit), editMenu_, -1);
            ApplyEditMenuRules(editMenu_);
        }
        if (HMENU help = SubmenuWithId(shared, FCIDM_MENU_HELP)) CopyMenuItems(ViewMenuPopup(kPopupHelp), help, 0);

        viewMenu_ = SubmenuWithId(shared, FCIDM_MENU_VIEW);
        HMENU source = ViewMenuPopup(isRoot_ ? kPopupDiskView : kPopupView);
        int at = viewMenu_ ? MenuPosition(viewMenu_, FCIDM_MENU_VIEW_SEP_OPTIONS) : -1;
        if (source && at >= 0) {
            InsertSeparator(viewMenu_, at++);
            at += CopyMenuItems(GetSubMenu(source, 0), viewMenu_, at);
            InsertSeparator(viewMenu_, at++);
            arrangePopup_ = CreatePopupMenu();
            if (arrangePopup_) {
                CopyMenuItems(GetSubMenu(source, 2), arrangePopup_, -1);
                wchar_t caption[261] = {};
                GetMenuStringW(source, 2, caption, 260, MF_BYPOSITION);
                InsertMenuW(viewMenu_, at++, MF_BYPOSITION | MF_POPUP | MF_STRING,
                            reinterpret_cast<UINT_PTR>(arrangePopup_), caption);
            }
            wchar_t text[261] = {};
            MENUITEMINFOW snap = {sizeof(snap)};
            snap.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
            snap.dwTypeData = text;
            snap.cch = 260;
            if (GetMenuItemInfoW(source, CMD_SNAP_TO_GRID, FALSE, &snap)) InsertMenuItemW(viewMenu_, at, TRUE, &snap);
        }

        if (FAILED(browser_->SetMenuSB(shared, nullptr, window_))) {
            sharedMenu_ = shared;
            RemoveMenus();
        } else {
            sharedMenu_ = shared;
        }
    } else if (kind_ == ListKind::Search) {
        TakeSearchWindowMenus();
    }
    UpdateViewMenuMarks();
    UpdateToolbar();
}

void ModuleView::RemoveMenus() {
    if (browser_ && sharedMenu_) {
        browser_->SetMenuSB(nullptr, nullptr, nullptr);
        // Our arrange popup sits in the browser's View menu: it goes with us.
        if (viewMenu_ && arrangePopup_) {
            for (int i = GetMenuItemCount(viewMenu_) - 1; i >= 0; --i)
                if (GetSubMenu(viewMenu_, i) == arrangePopup_) RemoveMenu(viewMenu_, i, MF_BYPOSITION);
        }
        browser_->RemoveMenusSB(sharedMenu_);
    }
    // In the search window the arrange popup is the window's own.
    if (sharedMenu_ && arrangePopup_ && IsMenu(arrangePopup_)) DestroyMenu(arrangePopup_);
    if (sharedMenu_) DestroyMenu(sharedMenu_);
    if (fileMenuCopy_) DestroyMenu(fileMenuCopy_);
    sharedMenu_ = fileMenu_ = fileMenuCopy_ = editMenu_ = viewMenu_ = arrangePopup_ = nullptr;
}

void ModuleView::ApplyEditMenuRules(HMENU edit) {
    int context = CurrentMenuContext();
    SetItemEnabled(edit, CMD_PASTE, ClipboardCanPaste() && !(context == kMenuContextFolderItself && isRoot_));
    bool plainFolderView = kind_ == ListKind::Folder && !isRoot_ && !isDrive_;
    bool cut = context == kPopupFolderMenu || context == kPopupFileMenu ||
               (context == kMenuContextFolderItself && plainFolderView);
    SetItemEnabled(edit, CMD_CUT, cut);
    SetItemEnabled(edit, CMD_COPY, cut);
}

void ModuleView::PrepareFileMenu(HMENU file) {
    if (fileMenuCopy_) {
        while (GetMenuItemCount(file) > 0) DeleteMenu(file, 0, MF_BYPOSITION);
        CopyMenuItems(fileMenuCopy_, file, -1);
    }
    int context = CurrentMenuContext();
    if (kind_ == ListKind::Search) {
        PrepareSearchFileMenu(file, context);
        return;
    }
    if (context == kPopupDiskMenu || context == kPopupFolderMenu || context == kPopupFileMenu ||
        context == kPopupBackgroundMenu) {
        for (UINT id : kBrowserFileItems) DeleteMenu(file, id, MF_BYCOMMAND);
        CopyMenuItems(ViewMenuPopup(context), file, 0, true);
        return;
    }
    if (context != kMenuContextFolderItself) return;
    int popup = isRoot_ ? kPopupRootMenu : isDrive_ ? kPopupDiskMenu : kPopupFileMenu;
    CopyMenuItems(ViewMenuPopup(popup), file, 0, true);
    DeleteMenu(file, 40998, MF_BYCOMMAND);
    for (UINT id : {41029u, 40995u, 40996u}) SetItemEnabled(file, id, false);
    SetItemEnabled(file, 40997, true);
    if (!isRoot_) DeleteMenu(file, 40997, MF_BYCOMMAND);
    if (!isRoot_ && !isDrive_) {
        DeleteMenu(file, 40995, MF_BYCOMMAND);
        DeleteMenu(file, 40996, MF_BYCOMMAND);
        SetItemEnabled(file, CMD_RENAME, false);
    }
}

void ModuleView::UpdateViewMenuMarks() {
    const UINT current = ViewModeCommand(viewMode_);
    const bool icons = IsIconMode(viewMode_);
    HMENU popup = ViewMenuPopup(kind_ == ListKind::Search ? kPopupSearchView : isRoot_ ? kPopupDiskView : kPopupView);
    HMENU modeMenus[] = {viewMenu_, popup ? GetSubMenu(popup, 0) : nullptr};
    for (HMENU menu : modeMenus)
        if (menu) CheckMenuRadioItem(menu, CMD_VIEW_LARGE_ICONS, CMD_VIEW_DETAILS, current, MF_BYCOMMAND);
    for (HMENU menu : {viewMenu_, popup})
        if (menu) SetItemEnabled(menu, CMD_SNAP_TO_GRID, icons);
    for (HMENU menu : {popup ? GetSubMenu(popup, 2) : nullptr, arrangePopup_}) {
        if (!menu) continue;
        bool checked = icons && (folderFlags_ & FWF_AUTOARRANGE);
        CheckMenuItem(menu, CMD_AUTO_ARRANGE, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
        SetItemEnabled(menu, CMD_AUTO_ARRANGE, icons);
    }
}

// ---------------------------------------------------------------------------
// Status-bar help while a menu item is highlighted

void ModuleView::ShowMenuHelp(UINT item, UINT flags, HMENU menu) {
    if (!browser_ || kind_ == ListKind::Search) return;
    if (flags == 0xFFFF || !(flags & MF_HILITE)) return;
    std::wstring text;
    if (flags & MF_POPUP) {
        if (!arrangePopup_ || !menu || GetSubMenu(menu, static_cast<int>(item)) != arrangePopup_) return;
        text = Resources().LoadString(IDS_HELP_ARRANGE_ICONS_MENU);
    } else {
        text = Resources().LoadString(item);
    }
    LRESULT result = 0;
    if (FAILED(browser_->SendControlMsg(FCW_STATUS, SB_SIMPLE, TRUE, 0, &result))) return;
    browser_->SendControlMsg(FCW_STATUS, SB_SETTEXTW, 255 | SBT_NOBORDERS, reinterpret_cast<LPARAM>(text.c_str()),
                             &result);
    menuHelpShown_ = true;
}

void ModuleView::EndMenuHelp() {
    if (!browser_ || kind_ == ListKind::Search) return;
    LRESULT result = 0;
    browser_->SendControlMsg(FCW_STATUS, SB_SIMPLE, FALSE, 0, &result);
    menuHelpShown_ = false;
}

// ---------------------------------------------------------------------------
// Toolbar

HRESULT ModuleView::MergeToolbar() {
    if (!browser_) return E_UNEXPECTED;
    LRESULT result = 0;
    browser_->SetToolbarItems(nullptr, 0, FCT_MERGE);
    browser_->SendControlMsg(FCW_TOOLBAR, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0, &result);
    LRESULT flags = 0;
    if (FAILED(browser_->SendControlMsg(FCW_TOOLBAR, TB_GETBITMAPFLAGS, 0, 0, &flags))) flags = 0;
    const bool large = (flags & TBBF_LARGE) != 0;
    TBADDBITMAP standard = {HINST_COMMCTRL, static_cast<UINT_PTR>(large ? IDB_STD_LARGE_COLOR : IDB_STD_SMALL_COLOR)};
    TBADDBITMAP views = {HINST_COMMCTRL, static_cast<UINT_PTR>(large ? IDB_VIEW_LARGE_COLOR : IDB_VIEW_SMALL_COLOR)};
    LRESULT standardOffset = 0, viewOffset = 0;
    browser_->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&standard), &standardOffset);
    browser_->SendControlMsg(FCW_TOOLBAR, TB_ADDBITMAP, 0, reinterpret_cast<LPARAM>(&views), &viewOffset);
    const int std0 = static_cast<int>(standardOffset), view0 = static_cast<int>(viewOffset);
    const BYTE check = BTNS_CHECKGROUP;
    TBBUTTON buttons[10] = {
        {std0 + STD_CUT, CMD_CUT, 0, BTNS_BUTTON, {}, 0, 0},
        {std0 + STD_COPY, CMD_COPY, 0, BTNS_BUTTON, {}, 0, 0},
        {std0 + STD_PASTE, CMD_PASTE, 0, BTNS_BUTTON, {}, 0, 0},
        {std0 + STD_DELETE, CMD_DELETE, 0, BTNS_BUTTON, {}, 0, 0},
        {std0 + STD_PROPERTIES, CMD_PROPERTIES, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0},
        {GetSystemMetrics(SM_CXEDGE), 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0},
        {view0 + VIEW_LARGEICONS, CMD_VIEW_LARGE_ICONS, TBSTATE_ENABLED, check, {}, 0, 0},
        {view0 + VIEW_SMALLICONS, CMD_VIEW_SMALL_ICONS, TBSTATE_ENABLED, check, {}, 0, 0},
        {view0 + VIEW_LIST, CMD_VIEW_LIST, TBSTATE_ENABLED, check, {}, 0, 0},
        {view0 + VIEW_DETAILS, CMD_VIEW_DETAILS, TBSTATE_ENABLED, check, {}, 0, 0},
    };
    browser_->SendControlMsg(FCW_TOOLBAR, TB_AUTOSIZE, 0, 0, &result);
    HRESULT hr = browser_->SetToolbarItems(reinterpret_cast<LPTBBUTTONSB>(buttons), ARRAYSIZE(buttons), FCT_MERGE);
    if (SUCCEEDED(hr)) UpdateToolbar();
    return hr;
}

void ModuleView::UpdateToolbar() {
    if (!browser_ || kind_ == ListKind::Search) return;
    LRESULT result = 0;
    browser_->SendControlMsg(FCW_TOOLBAR, TB_CHECKBUTTON, ViewModeCommand(viewMode_), TRUE, &result);
    if (!list_) return;
    const bool canPaste = ClipboardCanPaste();
    bool transfer = false, paste = false;
    if (GetFocus() == list_) {
        transfer = !isRoot_;
        paste = canPaste;
    } else if (!isRoot_) {
        transfer = !isDrive_;
        paste = canPaste;
    }
    for (UINT id : {CMD_CUT, CMD_COPY, CMD_DELETE})
        browser_->SendControlMsg(FCW_TOOLBAR, TB_ENABLEBUTTON, id, transfer, &result);
    browser_->SendControlMsg(FCW_TOOLBAR, TB_ENABLEBUTTON, CMD_PASTE, paste, &result);
}

bool ModuleView::SupplyToolTip(NMHDR* header, LRESULT* result) {
    if (header->code != TTN_NEEDTEXTW && header->code != TTN_NEEDTEXTA) return false;
    std::wstring text;
    bool known = false;
    for (const ToolTipText& tip : kToolTips) {
        if (tip.command == header->idFrom) {
            text = Resources().LoadString(tip.text);
            known = true;
        }
    }
    if (header->code == TTN_NEEDTEXTW) {
        if (known) lstrcpynW(tipTextW_, text.c_str(), ARRAYSIZE(tipTextW_));
        reinterpret_cast<NMTTDISPINFOW*>(header)->lpszText = tipTextW_;
    } else {
        if (known)
            WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, tipTextA_, ARRAYSIZE(tipTextA_) - 1, nullptr, nullptr);
        reinterpret_cast<NMTTDISPINFOA*>(header)->lpszText = tipTextA_;
    }
    *result = 0;
    return true;
}

// ---------------------------------------------------------------------------
// Context menus

int ModuleView::ContextPopupFor(LPCITEMIDLIST item) const {
    const bool search = kind_ == ListKind::Search;
    if (!item) return search ? kPopupSearchView : isRoot_ ? kPopupDiskView : kPopupView;
    if (IsDriveItem(item)) return search ? kPopupSearchFolder : kPopupDisk;
    if (IsFolder(item)) return search ? kPopupSearchFolder : kPopupFolder;
    return kPopupFile;
}

void ModuleView::ShowContextMenu(LPCITEMIDLIST item, POINT screen) {
    int index = ContextPopupFor(item);
    HMENU popup = ViewMenuPopup(index);
    if (!popup) return;
    if (index == kPopupDiskView || index == kPopupView || index == kPopupDisk || index == kPopupFolder)
        SetItemEnabled(popup, CMD_PASTE, ClipboardCanPaste());
    UpdateViewMenuMarks();
    HWND owner = nullptr;
    if (kind_ == ListKind::Search) owner = SearchOwner();
    else if (browser_) owner = window_;
    if (!owner) return;
    // A copy: a change notice during the menu's loop may refresh the rows
    // and free their identifiers before the chosen command runs.
    IdListHolder kept;
    if (item && FAILED(kept.Assign(item))) return;
    ComPtr<ModuleView> self(this);   // a command may end the view
    UINT command = static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, screen.x,
                                                    screen.y, 0, owner, nullptr));
    if (kind_ != ListKind::Search) EndMenuHelp();
    if (!command) return;
    contextItem_ = kept.get();
    ExecuteCommand(command, 0);
    contextItem_ = nullptr;
}

void ModuleView::OpenContextMenuFromKeyboard() {
    int row = -1;
    LPCITEMIDLIST item = FocusedSelectedItem(&row);
    POINT point = {};
    if (item && SendMessageW(list_, LVM_GETITEMPOSITION, row, reinterpret_cast<LPARAM>(&point))) {
        ClientToScreen(list_, &point);
    } else {
        item = nullptr;
        GetCursorPos(&point);
    }
    point.x += GetSystemMetrics(SM_CXSMICON) / 2;
    point.y += GetSystemMetrics(SM_CYSMICON) / 2;
    ShowContextMenu(item, point);
}

