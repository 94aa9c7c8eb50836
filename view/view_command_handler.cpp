// The view's menus, toolbar and commands: what it merges into the browser's
// menu bar and toolbar, the help texts of highlighted menu items, its
// context menus, and what each command does. Everything runs on the view's
// thread; the operations a command starts are reached through
// handlers/operation_hooks.h and transfer/file_operations.h.
#include "view/module_view.h"

#include <mmsystem.h>

#include "common/paths.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "handlers/operation_hooks.h"
#include "handlers/property_sheet_launcher.h"
#include "module_access/listing.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "transfer/file_operations.h"
#include "view/view_commands.h"
#include "view/search_results_host.h"
#include "handlers/view_menus.h"

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
bool IsContainer(LPCITEMIDLIST item) { return IsFolder(item) || IsDriveItem(item); }

ItemKind KindOf(LPCITEMIDLIST item) {
    if (IsDriveItem(item)) return ItemKind::Drive;
    return IsFolder(item) ? ItemKind::Folder : ItemKind::File;
}

UINT ViewModeCommand(int mode) { return CMD_VIEW_LARGE_ICONS + static_cast<UINT>(mode) - 1; }

void InsertSeparator(HMENU menu, int at) { InsertMenuW(menu, at, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr); }

void SetItemEnabled(HMENU menu, UINT id, bool enabled) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void PlayDefaultSound() { sndPlaySoundW(L".Default", SND_ASYNC); }

}  // namespace

// ---------------------------------------------------------------------------
// Selection and focus

bool ModuleView::FocusInView() const {
    HWND focus = GetFocus();
    return focus && (focus == window_ || focus == list_ || focus == pane_);
}

int ModuleView::SelectionKindNow() const {
    SelectionKind kind = kSelNothing;
    if (!list_) return kind;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        LPCITEMIDLIST item = RowItem(row);
        if (item) kind = NextSelectionKind(kind, KindOf(item));
    }
    return kind;
}

int ModuleView::CurrentMenuContext() const {
    return MenuContextFor(FocusInView(), static_cast<SelectionKind>(SelectionKindNow()));
}

std::vector<LPCITEMIDLIST> ModuleView::SelectedItems() const {
    std::vector<LPCITEMIDLIST> items;
    if (!list_) return items;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0)
        if (LPCITEMIDLIST item = RowItem(row)) items.push_back(item);
    return items;
}

LPCITEMIDLIST ModuleView::FocusedSelectedItem(int* row) const {
    if (!list_) return nullptr;
    int focused = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_FOCUSED | LVNI_SELECTED));
    if (row) *row = focused;
    return focused >= 0 ? RowItem(focused) : nullptr;
}

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
    } else if (kind_ == ListKind::Search && searchHost_) {
        // The search window's own menu bar: File, Edit, View, ... and "?".
        RemoveMenus();
        HMENU bar = GetMenu(searchHost_->ResultsOwnerWindow());
        if (bar) {
            fileMenu_ = GetSubMenu(bar, 0);
            editMenu_ = GetSubMenu(bar, 1);
            viewMenu_ = GetSubMenu(bar, 2);
            if (fileMenu_ && (fileMenuCopy_ = CreatePopupMenu()) != nullptr) CopyMenuItems(fileMenu_, fileMenuCopy_, -1);
            if (editMenu_) ApplyEditMenuRules(editMenu_);
            for (int i = 0, n = viewMenu_ ? GetMenuItemCount(viewMenu_) : 0; i < n && !arrangePopup_; ++i)
                arrangePopup_ = GetSubMenu(viewMenu_, i);
        }
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
        bool selected = context != kMenuContextFolderItself && context != kPopupBackgroundMenu;
        for (UINT id : {CMD_DELETE, CMD_RENAME, CMD_PROPERTIES, CMD_OPEN_PARENT_FOLDER}) SetItemEnabled(file, id, selected);
        if (selected && context == kPopupFolderMenu) CopyMenuItems(ViewMenuPopup(kPopupSearchFolderMenu), file, 0, true);
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
    if (kind_ == ListKind::Search) owner = searchHost_ ? searchHost_->ResultsOwnerWindow() : nullptr;
    else if (browser_) owner = window_;
    if (!owner) return;
    ComPtr<ModuleView> self(this);   // a command may end the view
    UINT command = static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON, screen.x,
                                                    screen.y, 0, owner, nullptr));
    if (kind_ != ListKind::Search) EndMenuHelp();
    if (!command) return;
    contextItem_ = item;
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

// ---------------------------------------------------------------------------
// Commands

bool ModuleView::ExecuteMenuCommand(UINT id, UINT code) {
    if (id < CMD_FIRST || id > CMD_LAST) return false;
    switch (id) {
    case CMD_VIEW_LARGE_ICONS:
    case CMD_VIEW_SMALL_ICONS:
    case CMD_VIEW_LIST:
    case CMD_VIEW_DETAILS:
        SetViewMode(static_cast<int>(id - CMD_VIEW_LARGE_ICONS) + 1);
        return true;
    case CMD_PROPERTIES: ShowProperties(); return true;
    case CMD_AUTO_ARRANGE: ToggleAutoArrange(); return true;
    case CMD_SNAP_TO_GRID:
        if (list_) SendMessageW(list_, LVM_ARRANGE, LVA_SNAPTOGRID, 0);
        return true;
    case CMD_CUT: CutOrCopy(DROPEFFECT_MOVE); return true;
    case CMD_COPY: CutOrCopy(DROPEFFECT_COPY); return true;
    case CMD_DELETE: DeleteSelection(); return true;
    case CMD_RENAME: {
        LPCITEMIDLIST target = contextItem_;
        if (!target && FocusInView()) {
            std::vector<LPCITEMIDLIST> selected = SelectedItems();
            if (!selected.empty()) target = selected.front();
        }
        if (target) HandleRename(target);
        return true;
    }
    case CMD_OPEN:
        if (code == 1) OpenFocusedRow();
        else OpenOrExplore(id);
        return true;
    case CMD_EXPLORE: OpenOrExplore(id); return true;
    case CMD_PASTE: PasteHere(); return true;
    case CMD_SELECT_ALL:
    case CMD_INVERT_SELECTION: {
        if (!list_) return true;
        for (int row = 0, rows = ItemCount(); row < rows; ++row) {
            LVITEMW state = {};
            state.stateMask = LVIS_SELECTED;
            bool selected = SendMessageW(list_, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED;
            state.state = (id == CMD_SELECT_ALL || !selected) ? LVIS_SELECTED : 0;
            SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
        }
        SetFocus(list_);
        return true;
    }
    case CMD_FIND: FindFrom(); return true;
    case CMD_FORMAT:
        for (LPCITEMIDLIST item : SelectedItems())
            if (IsDriveItem(item)) OpenFormatDialog(L"\\" + FileNamePart(ItemPath(item)), ItemSize(item));
        return true;
    case CMD_HELP_TOPICS:
    case CMD_HELP: StartHelp(id, window_); return true;
    case CMD_OPEN_PARENT_FOLDER: {
        int row = list_ ? static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_FOCUSED)) : -1;
        LPCITEMIDLIST item = row >= 0 ? RowItem(row) : nullptr;
        if (item) StartOpenOrExplorePaths(CMD_OPEN, owner_, {ParentPath(ItemPath(item))}, access_.Get());
        return true;
    }
    case CMD_NEW_FOLDER: NewFolder(); return true;
    case CMD_STANDARD_FOLDERS:
        if (!access_) return true;
        for (LPCITEMIDLIST item : SelectedItems())
            CreateStandardFoldersOn(access_.Get(), window_, FileNamePart(ItemPath(item)).c_str());
        return true;
    case CMD_BACK:
    case CMD_FORWARD: {
        if (!browser_) return true;
        ComPtr<ModuleView> self(this);
        ComPtr<IShellBrowser> browser(browser_);
        UINT direction = id == CMD_BACK ? SBSP_NAVIGATEBACK : SBSP_NAVIGATEFORWARD;
        browser->BrowseObject(nullptr, direction | SBSP_SAMEBROWSER);
        return true;
    }
    case CMD_CONTEXT_MENU: OpenContextMenuFromKeyboard(); return true;
    case CMD_ABOUT: StartAboutBox(window_); return true;
    default: return false;
    }
}

HRESULT ModuleView::SetViewMode(int mode) {
    if (!list_) return E_UNEXPECTED;
    static const DWORD kTypes[] = {LVS_ICON, LVS_SMALLICON, LVS_LIST, LVS_REPORT};
    LONG_PTR style = GetWindowLongPtrW(list_, GWL_STYLE);
    SetWindowLongPtrW(list_, GWL_STYLE, (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | kTypes[mode - 1]);
    viewMode_ = mode;
    UpdateViewMenuMarks();
    UpdateToolbar();
    return S_OK;
}

void ModuleView::ToggleAutoArrange() {
    folderFlags_ ^= FWF_AUTOARRANGE;
    if (list_) {
        LONG_PTR style = GetWindowLongPtrW(list_, GWL_STYLE);
        SetWindowLongPtrW(list_, GWL_STYLE, style ^ LVS_AUTOARRANGE);
    }
    UpdateViewMenuMarks();
}

void ModuleView::ClearCutMarks() {
    for (int row = 0, rows = ItemCount(); row < rows; ++row) {
        LPCITEMIDLIST item = RowItem(row);
        LVITEMW state = {};
        state.stateMask = LVIS_CUT;
        state.state = item && (ItemAttributes(item) & FILE_ATTRIBUTE_HIDDEN) && !(folderFlags_ & FWF_NOICONS) ? LVIS_CUT : 0;
        SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    }
}

void ModuleView::CutOrCopy(DWORD effect) {
    IModuleChangeSink* sink = kind_ == ListKind::Search ? ChangeSink() : nullptr;
    IUnknown* view = static_cast<IShellView*>(this);
    if (FocusInView()) {
        std::vector<LPCITEMIDLIST> selected = SelectedItems();
        if (selected.empty()) return;
        if (list_) ClearCutMarks();
        HRESULT hr = StartCutOrCopy(path_, view, selected.data(), static_cast<UINT>(selected.size()), effect, sink);
        if (SUCCEEDED(hr) && effect == DROPEFFECT_MOVE) {
            LVITEMW state = {};
            state.stateMask = state.state = LVIS_CUT;
            int row = -1;
            while ((row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0)
                SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
        }
        return;
    }
    if (isRoot_) {
        std::vector<LPCITEMIDLIST> all(items_.items(), items_.items() + items_.count());
        if (all.empty()) return;
        if (list_) ClearCutMarks();
        HRESULT hr = StartCutOrCopy(path_, view, all.data(), static_cast<UINT>(all.size()), effect, sink);
        if (SUCCEEDED(hr) && effect == DROPEFFECT_MOVE && list_) {
            LVITEMW state = {};
            state.stateMask = state.state = LVIS_CUT;
            SendMessageW(list_, LVM_SETITEMSTATE, -1, reinterpret_cast<LPARAM>(&state));
        }
        return;
    }
    LPCITEMIDLIST self = folderList_ ? LastItem(folderList_.get()) : nullptr;
    if (self) StartCutOrCopy(ParentPath(path_), view, &self, 1, effect, sink);
}

void ModuleView::DeleteSelection() {
    HWND owner = list_ ? list_ : owner_;
    if (FocusInView()) {
        std::vector<LPCITEMIDLIST> selected = SelectedItems();
        if (selected.empty()) return;
        IModuleChangeSink* sink = kind_ == ListKind::Search ? ChangeSink() : nullptr;
        StartDelete(path_, selected.data(), static_cast<UINT>(selected.size()), false, owner, sink);
        return;
    }
    if (isRoot_) {
        if (items_.count()) StartDelete(path_, items_.items(), items_.count(), false, owner, nullptr);
        return;
    }
    LPCITEMIDLIST self = folderList_ ? LastItem(folderList_.get()) : nullptr;
    if (self) StartDelete(ParentPath(path_), &self, 1, false, owner, nullptr);
}

void ModuleView::PasteHere() {
    std::wstring target;
    if (contextItem_ && IsContainer(contextItem_)) target = ItemPath(contextItem_);
    else if (kind_ == ListKind::Search) return;
    else target = path_;
    StartPaste(target, list_ ? list_ : owner_);
}

void ModuleView::OpenOrExplore(UINT command) {
    std::vector<LPCITEMIDLIST> selected = SelectedItems();
    if (kind_ == ListKind::Search) {
        std::vector<std::wstring> paths;
        for (LPCITEMIDLIST item : selected) paths.push_back(ItemPath(item));
        StartOpenOrExplorePaths(command, owner_, paths, access_.Get());
        return;
    }
    ComPtr<ModuleView> self(this);   // the browser may end this view while it navigates
    StartOpenOrExplore(command, owner_, folderList_.get(), selected.empty() ? nullptr : selected.data(),
                       static_cast<UINT>(selected.size()), contextItem_);
    if (!contextItem_ || !browser_) return;
    IdListHolder child;
    if (FAILED(child.Assign(contextItem_))) return;
    ComPtr<IShellBrowser> browser(browser_);
    HWND tree = nullptr;
    bool hasTree = SUCCEEDED(browser->GetControlWindow(FCW_TREE, &tree)) && tree;
    UINT flags = SBSP_RELATIVE;
    if (command == CMD_EXPLORE) flags |= hasTree ? SBSP_EXPLOREMODE : (SBSP_NEWBROWSER | SBSP_EXPLOREMODE);
    else flags |= SBSP_OPENMODE;
    browser->BrowseObject(child.get(), flags);
}

void ModuleView::OpenFocusedRow() {
    LPCITEMIDLIST item = FocusedSelectedItem(nullptr);
    if (!item) return;
    if (!IsContainer(item)) {
        ShowMessageBox(window_, Resources().LoadString(IDS_ERR_CANNOT_OPEN_FILE), Resources().LoadString(IDS_MODULE),
                       MB_ICONHAND);
        return;
    }
    if (kind_ == ListKind::Search) {
        StartOpenOrExplorePaths(CMD_EXPLORE, owner_, {ItemPath(item)}, access_.Get());
        return;
    }
    if (!browser_) return;
    ComPtr<ModuleView> self(this);
    ComPtr<IShellBrowser> browser(browser_);
    IdListHolder child;
    if (SUCCEEDED(child.Assign(item))) browser->BrowseObject(child.get(), SBSP_RELATIVE);
}

void ModuleView::NewFolder() {
    if (isRoot_) {
        PlayDefaultSound();
        return;
    }
    if (list_ && GetFocus() != list_) SetFocus(list_);
    if (!access_) return;
    std::wstring created = CreateNewFolder(access_.Get(), window_, path_.c_str());
    if (created.empty()) return;
    // Our own change notification would refresh a second time.
    UnadviseChangeSink();
    Refresh();
    IdListHolder record;
    if (SUCCEEDED(GetItemRecord(created.c_str(), access_.Get(), record.out()))) {
        for (int row = 0, rows = ItemCount(); row < rows; ++row) {
            LPCITEMIDLIST item = RowItem(row);
            if (item && lstrcmpiW(ItemPath(item), created.c_str()) == 0) {
                HandleRename(item);
                break;
            }
        }
    }
    AdviseChangeSink();
}

void ModuleView::FindFrom() {
    std::wstring start = path_;
    if (contextItem_ && IsContainer(contextItem_)) {
        start = ItemPath(contextItem_);
    } else if (list_) {
        int row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, -1, LVNI_FOCUSED));
        LPCITEMIDLIST item = row >= 0 ? RowItem(row) : nullptr;
        if (item && IsContainer(item)) start = ItemPath(item);
    }
    StartSearchWindow(nullptr, start.c_str());
}

void ModuleView::ShowProperties() {
    std::vector<IdListHolder> items;
    if (FocusInView()) {
        for (LPCITEMIDLIST item : SelectedItems()) {
            items.emplace_back();
            if (FAILED(items.back().Assign(item))) return;
        }
    }
    LaunchPropertySheet(path_, std::move(items));
}
