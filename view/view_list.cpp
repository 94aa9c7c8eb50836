// The view's list control: its columns, the rows over the view's items,
// their texts, sorting and selection, and the list's own messages.
#include "view/module_view.h"

#include "common/prompt.h"
#include "common/resource_module.h"
#include "handlers/operation_hooks.h"
#include "item_id/compare_items.h"
#include "module_access/module_access.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"
#include "view/explorer_style.h"
#include "view/view_cell_texts.h"
#include "view/view_commands.h"
#include "view/view_settings.h"

using Microsoft::WRL::ComPtr;

namespace {

LPCITEMIDLIST ItemOf(LPARAM data) { return reinterpret_cast<LPCITEMIDLIST>(data); }

bool IsFolderItem(LPCITEMIDLIST item) { return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

HRESULT ModuleView::CreateList(ListKind kind, const int32_t widths[kViewStateColumns]) {
    bool driveList = kind == ListKind::Root;
    viewMode_ = NormalizedViewMode(viewMode_);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", ListWindowStyle(viewMode_, folderFlags_, driveList), 0, 0,
                                100, 100, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ListControlId(kind))),
                                CodeModule(), nullptr);
    if (!list) return E_FAIL;

    extendedStyle_ = CurrentExtendedListStyle();
    if (extendedStyle_) SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, extendedStyle_);
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(SystemImageList(false)));
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(SystemImageList(true)));

    int count = 0;
    const ColumnInfo* columns = ListColumns(kind, &count);
    for (int i = 0; i < count; ++i) {
        // The search list's "in folder" column shares the first width.
        int widthIndex = kind == ListKind::Search && i > 0 ? i - 1 : i;
        std::wstring title = Resources().LoadString(columns[i].titleId);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = columns[i].format;
        column.cx = widths[widthIndex];
        column.pszText = &title[0];
        column.iSubItem = i;
        if (SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column)) != i) {
            DestroyWindow(list);
            return E_FAIL;
        }
    }
    HRESULT hr = SubclassList(list);
    if (FAILED(hr)) {
        DestroyWindow(list);
        return hr;
    }
    list_ = list;
    return S_OK;
}

void ModuleView::DestroyList() {
    if (!list_) return;
    editEnded_ = true;
    if (listStartedEdit_) {
        listStartedEdit_ = false;
        renameInProgress_ = false;
        renameItem_.reset();
    }
    HWND list = list_;
    list_ = nullptr;
    UnsubclassList(list);
    DestroyWindow(list);
}
int ModuleView::ItemCount() const {
    return list_ ? static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

LPCITEMIDLIST ModuleView::RowItem(int row) const {
    if (!list_) return nullptr;
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return ItemOf(item.lParam);
}
// ---------------------------------------------------------------------------
// Items and rows

HRESULT ModuleView::ListFolder() {
    FreeItems();
    if (!access_) {
        HRESULT hr = EnsureAccess();
        if (FAILED(hr)) return hr;
    }
    return ListItemsEx(path_.c_str(), L"*", &items_, access_.Get(), false, false);
}

void ModuleView::FreeItems() { items_.Clear(); }

bool ModuleView::InsertRow(LPCITEMIDLIST item, int index) {
    std::wstring fixedName;
    LVITEMW row = {};
    row.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE | LVIF_STATE;
    row.iItem = index;
    row.lParam = reinterpret_cast<LPARAM>(item);
    if (kind_ == ListKind::Root) {
        fixedName = DriveDisplayName(item);
        row.pszText = &fixedName[0];
    } else {
        row.pszText = LPSTR_TEXTCALLBACKW;
    }
    if (folderFlags_ & FWF_NOICONS) {
        row.iImage = I_IMAGENONE;
    } else {
        row.iImage = icons_.IndexFor(item);
        row.stateMask = LVIS_CUT;
        row.state = (ItemAttributes(item) & FILE_ATTRIBUTE_HIDDEN) ? LVIS_CUT : 0;
    }
    int inserted = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    return inserted >= 0;
}

void ModuleView::FillList() {
    if (!list_) return;
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    ReadExplorerSettings();
    SendMessageW(list_, LVM_SETITEMCOUNT, items_.count(), LVSICF_NOINVALIDATEALL);
    // Before sorting the rows stand in reverse array order. Walking the array
    // backwards and appending gives that order without shifting every row
    // on each insertion.
    for (UINT i = items_.count(); i-- > 0;) {
        LPCITEMIDLIST item = items_[i];
        if (kind_ != ListKind::Root &&
            !ItemGetsRow(ItemAttributes(item), folderFlags_, showHidden_, showSystem_, showSuperHidden_))
            continue;
        InsertRow(item, INT_MAX);
    }
    SortList();
    if (ItemCount() > 0) {
        LVITEMW state = {};
        state.stateMask = LVIS_FOCUSED;
        state.state = LVIS_FOCUSED;
        SendMessageW(list_, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

void ModuleView::SortList() {
    if (list_) SendMessageW(list_, LVM_SORTITEMS, SortParameter(sortCommand_), reinterpret_cast<LPARAM>(&ModuleView::CompareRows));
}

void ModuleView::SupplyCellText(NMLVDISPINFOW* info) {
    if (!(info->item.mask & LVIF_TEXT)) return;
    LPARAM data = info->item.lParam;
    if (!(info->item.mask & LVIF_PARAM)) {
        data = reinterpret_cast<LPARAM>(RowItem(info->item.iItem));
    }
    LPCITEMIDLIST item = ItemOf(data);
    if (!item || info->item.iSubItem < 0 || info->item.iSubItem >= ListColumnCount(kind_)) {
        info->item.pszText = ring_.Put(L"");
        return;
    }
    std::wstring text = CellText(kind_, info->item.iSubItem, item);
    info->item.pszText = ring_.Put(text.c_str(), text.size());
}

RowItemText ModuleView::RowTexts() const {
    RowItemText rows;
    rows.displayName = [](LPARAM data, std::wstring* name) {
        if (!data) return false;
        *name = ItemName(ItemOf(data));
        return true;
    };
    rows.fullPath = [](LPARAM data, std::wstring* path) {
        if (!data) return false;
        *path = ItemPath(ItemOf(data));
        return true;
    };
    return rows;
}
int CALLBACK ModuleView::CompareRows(LPARAM first, LPARAM second, LPARAM sort) {
    return CompareItems(ItemOf(first), ItemOf(second), static_cast<UINT>(sort & 0xFFFF), (sort & kSortFoldersFirst) != 0);
}

void ModuleView::ReadExplorerSettings() {
    showHidden_ = ShowHiddenItems() != 0;
    showSystem_ = ShowSystemItems() != 0;
    showSuperHidden_ = ShowSuperHiddenItems() != 0;
}

// ---------------------------------------------------------------------------
// Selection (the shell's SelectItem)

STDMETHODIMP ModuleView::SelectItem(PCUITEMID_CHILD item, SVSIF flags) {
    return SelectAndPositionItem(item, flags, nullptr);
}

STDMETHODIMP ModuleView::SelectAndPositionItem(PCUITEMID_CHILD item, UINT flags, POINT* point) {
    if (!item && (flags & ~SVSI_TRANSLATEPT) != SVSI_DESELECTOTHERS) return E_POINTER;
    if (!list_) return E_UNEXPECTED;
    if (flags & SVSI_TRANSLATEPT) {
        if (!point) return E_INVALIDARG;
        ScreenToClient(list_, point);
    }
    auto setState = [this](int row, UINT state, UINT mask) {
        LVITEMW change = {};
        change.state = state;
        change.stateMask = mask;
        return SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&change)) != 0;
    };
    if (!item) {
        setState(-1, 0, LVIS_SELECTED);
        return S_OK;
    }
    if (flags == SVSI_TRANSLATEPT) return S_OK;
    LPCITEMIDLIST wanted = AsModuleItem(item);
    if (!wanted) return E_FAIL;
    int rows = ItemCount();
    if (rows == 0) return E_FAIL;
    bool matched = false;
    for (int row = 0; row < rows; ++row) {
        LPCITEMIDLIST current = RowItem(row);
        if (!current) return E_UNEXPECTED;
        bool same = IsFolderItem(current) == IsFolderItem(wanted) &&
                    lstrcmpiW(ItemPath(current), ItemPath(wanted)) == 0;
        if (same) {
            matched = true;
            if (flags == SVSI_DESELECT) {
                setState(row, 0, LVIS_SELECTED);
            } else {
                if ((flags & SVSI_ENSUREVISIBLE) && !SendMessageW(list_, LVM_ENSUREVISIBLE, row, FALSE)) return E_FAIL;
                if ((flags & SVSI_FOCUSED) && !setState(row, LVIS_FOCUSED, LVIS_FOCUSED)) return E_FAIL;
                if ((flags & SVSI_SELECT) && !setState(row, LVIS_SELECTED, LVIS_SELECTED)) return E_FAIL;
                if ((flags & SVSI_EDIT) == SVSI_EDIT) {
                    SetFocus(list_);
                    if (!SendMessageW(list_, LVM_EDITLABELW, row, 0)) return E_FAIL;
                }
                if (!(flags & SVSI_DESELECTOTHERS)) return S_OK;
            }
        } else if (flags & SVSI_DESELECTOTHERS) {
            setState(row, 0, LVIS_SELECTED);
        }
    }
    return matched ? S_OK : E_FAIL;
}
LRESULT ModuleView::OnListNotify(NMHDR* header) {
    switch (header->code) {
    case LVN_GETDISPINFOW:
        SupplyCellText(reinterpret_cast<NMLVDISPINFOW*>(header));
        return 0;
    case LVN_COLUMNCLICK: {
        auto info = reinterpret_cast<NMLISTVIEW*>(header);
        UINT command = ColumnClickCommand(kind_, info->iSubItem, sortCommand_);
        if (command) ExecuteCommand(command, 0);
        return 0;
    }
    case LVN_ITEMCHANGED: {
        auto info = reinterpret_cast<NMLISTVIEW*>(header);
        if ((info->uChanged & LVIF_STATE) && ((info->uOldState ^ info->uNewState) & LVIS_SELECTED) &&
            !selectionUpdatePosted_) {
            // Selecting all rows changes each one: the status bar and the
            // pane follow once, when the changes are through.
            selectionUpdatePosted_ = PostMessageW(window_, kSelectionChanged, 0, 0) != FALSE;
            if (!selectionUpdatePosted_) {
                UpdateStatusBar();
                RefreshPane();
            }
        }
        return 0;
    }
    case NM_DBLCLK: {
        auto info = reinterpret_cast<NMITEMACTIVATE*>(header);
        OpenRowItem(RowUnderPoint(info->ptAction));
        return 0;
    }
    case NM_CLICK: {
        // Single-click mode: a click that did not move opens like a double click.
        auto info = reinterpret_cast<NMITEMACTIVATE*>(header);
        if ((extendedStyle_ & LVS_EX_TRACKSELECT) &&
            abs(info->ptAction.x - lastPress_.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
            abs(info->ptAction.y - lastPress_.y) <= GetSystemMetrics(SM_CYDOUBLECLK))
            OpenRowItem(RowUnderPoint(info->ptAction));
        return 0;
    }
    case NM_SETFOCUS:
        UIActivate(SVUIA_ACTIVATE_FOCUS);
        return 0;
    case LVN_BEGINLABELEDITW:
        return OnBeginLabelEdit(reinterpret_cast<NMLVDISPINFOW*>(header));
    case LVN_ENDLABELEDITW:
        return OnEndLabelEdit(reinterpret_cast<NMLVDISPINFOW*>(header));
    case LVN_BEGINDRAG:
        StartDrag(1);
        return 0;
    case LVN_BEGINRDRAG:
        StartDrag(2);
        return 0;
    case NM_RCLICK: {
        // Only a hit on an icon or a label counts as the row's menu.
        POINT point = {};
        GetCursorPos(&point);
        POINT client = point;
        ScreenToClient(list_, &client);
        LVHITTESTINFO hit = {};
        hit.pt = client;
        int row = static_cast<int>(SendMessageW(list_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        LPCITEMIDLIST item = row >= 0 && (hit.flags & (LVHT_ONITEMICON | LVHT_ONITEMLABEL)) ? RowItem(row) : nullptr;
        ShowContextMenu(item, point);
        return 0;
    }
    default:
        return 0;
    }
}

// The list's own window procedure is kept in a record reached through the
// window's user data: a property lookup on every message would cost a
// round trip to the window server under some platforms.
struct ModuleView::ListSubclass {
    ModuleView* view;
    WNDPROC previous;
};

HRESULT ModuleView::SubclassList(HWND list) {
    ListSubclass* record = new (std::nothrow) ListSubclass{this, nullptr};
    if (!record) return E_OUTOFMEMORY;
    SetWindowLongPtrW(list, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    record->previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ModuleView::ListWindowProc)));
    if (!record->previous) {
        SetWindowLongPtrW(list, GWLP_USERDATA, 0);
        delete record;
        return E_FAIL;
    }
    return S_OK;
}

void ModuleView::UnsubclassList(HWND list) {
    auto record = reinterpret_cast<ListSubclass*>(GetWindowLongPtrW(list, GWLP_USERDATA));
    if (!record) return;
    SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record->previous));
    SetWindowLongPtrW(list, GWLP_USERDATA, 0);
    delete record;
}

LRESULT CALLBACK ModuleView::ListWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto record = reinterpret_cast<ListSubclass*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!record) return DefWindowProcW(window, message, wParam, lParam);
    WNDPROC previous = record->previous;
    if (message == WM_NCDESTROY) {
        UnsubclassList(window);
    } else if (record->view->list_ == window) {
        ModuleView* view = record->view;
        // Some browsers never offer keys to the view's TranslateAccelerator
        // (Wine's explorer): the list offers them itself. A browser that does
        // offer them never lets a translated key get this far. The search
        // window translates its own, and not while it searches.
        if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && view->kind_ != ListKind::Search && view->browser_) {
            MSG msg = {window, message, wParam, lParam, 0, {0, 0}};
            ComPtr<ModuleView> self(view);   // the command may end the view and its list
            if (view->TranslateAccelerator(&msg) == S_OK) return 0;
        }
        view->OnListMessage(message, wParam, lParam);
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

void ModuleView::OnListMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MENUSELECT:
        ShowMenuHelp(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        lastPress_.x = static_cast<short>(LOWORD(lParam));
        lastPress_.y = static_cast<short>(HIWORD(lParam));
        if (message != WM_MBUTTONDOWN) EndRunningLabelEdit();
        break;
    default:
        break;
    }
}

int ModuleView::RowUnderPoint(POINT client) const {
    LVHITTESTINFO hit = {};
    hit.pt = client;
    int row = static_cast<int>(SendMessageW(list_, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row >= 0 && (hit.flags & LVHT_ONITEM)) return row;
    return -1;
}

void ModuleView::OpenRowItem(int row) {
    LPCITEMIDLIST item = row >= 0 ? RowItem(row) : nullptr;
    if (item) OpenItem(item, list_, list_);
}

void ModuleView::OpenItem(LPCITEMIDLIST item, HWND messageOwner, HWND searchOwner) {
    if (!IsContainerItem(item)) {
        ShowMessageBox(messageOwner, Resources().LoadString(IDS_ERR_CANNOT_OPEN_FILE),
                       Resources().LoadString(IDS_MODULE), MB_ICONHAND);
        return;
    }
    if (kind_ == ListKind::Search) {
        OpenFoundItems(CMD_EXPLORE, searchOwner, {item});
        return;
    }
    if (!browser_) return;
    // The browser may destroy this view while it navigates.
    ComPtr<ModuleView> self(this);
    ComPtr<IShellBrowser> browser(browser_);
    IdListHolder child;
    if (SUCCEEDED(child.Assign(item))) browser->BrowseObject(child.get(), SBSP_RELATIVE);
}
