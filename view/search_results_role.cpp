// The view as the search window's results list: bound to the search
// window instead of a browser, rows added one by one as they are found.
#include "view/module_view.h"

#include "common/result_codes.h"
#include "handlers/operation_hooks.h"
#include "handlers/view_menus.h"
#include "module_access/absolute_lists.h"
#include "module_access/module_errors.h"
#include "resources/command_ids.h"
#include "view/search_results_host.h"
#include "view/view_commands.h"

HRESULT ModuleView::InitForSearch(SearchResultsHost* host) {
    if (bound_) return E_FAIL;
    if (!host) return E_POINTER;
    searchHost_ = host;
    kind_ = ListKind::Search;
    HRESULT hr = Bind(host->ResultsFolderPath(), host->ResultsOwnerWindow());
    if (SUCCEEDED(hr)) {
        LPITEMIDLIST list = nullptr;
        hr = ItemIdListForPath(path_.c_str(), access_.Get(), &list);
        if (SUCCEEDED(hr)) folderList_.reset(list);
    }
    if (FAILED(hr) && hr != E_OPERATION_CANCELLED) ReportModuleError(hr, L"");
    return hr;
}
HRESULT ModuleView::CreateResultsList(const RECT& rect) {
    ReleaseWindowState();
    webView_ = false;
    sortCommand_ = kSortNameAscending;
    viewMode_ = kViewModeDetails;
    folderFlags_ = FWF_AUTOARRANGE;
    HRESULT hr = CreateViewWindowIn(owner_, rect);
    if (FAILED(hr)) return hr;
    ViewStateHead defaults;
    hr = CreateList(ListKind::Search, defaults.widths);
    if (FAILED(hr)) return hr;
    AdviseChangeSink();
    RegisterDropTargets();
    RECT inner = InnerRect(rect);
    MoveWindow(list_, 0, 0, inner.right, inner.bottom, TRUE);
    ShowWindow(list_, SW_SHOW);
    // The search window's menus are set up here.
    MergeMenus();
    return S_OK;
}

HRESULT ModuleView::AddItem(LPCITEMIDLIST item) {
    if (isRoot_ && kind_ != ListKind::Search) return E_FAIL;
    if (!item) return E_POINTER;
    LPITEMIDLIST copy = nullptr;
    if (FAILED(CopyIdList(item, &copy)) || !copy) return E_OUTOFMEMORY;
    HRESULT hr = items_.Append(copy);
    if (FAILED(hr)) return hr;
    if (list_) InsertRow(copy, ItemCount());
    return S_OK;
}

void ModuleView::RemoveItemByPath(const std::wstring& path) {
    if (!list_) return;
    for (int row = ItemCount() - 1; row >= 0; --row) {
        LPCITEMIDLIST item = RowItem(row);
        if (item && lstrcmpiW(ItemPath(item), path.c_str()) == 0) {
            SendMessageW(list_, LVM_DELETEITEM, row, 0);
            return;
        }
    }
}

IModuleChangeSink* ModuleView::ResultsSink() const {
    return kind_ == ListKind::Search ? sink_.Get() : nullptr;
}

HWND ModuleView::SearchOwner() const { return searchHost_ ? searchHost_->ResultsOwnerWindow() : nullptr; }

// The search window's own menu bar: File, Edit, View, ... and "?".
void ModuleView::TakeSearchWindowMenus() {
    if (!searchHost_) return;
    RemoveMenus();
    HMENU bar = GetMenu(searchHost_->ResultsOwnerWindow());
    if (!bar) return;
    fileMenu_ = GetSubMenu(bar, 0);
    editMenu_ = GetSubMenu(bar, 1);
    viewMenu_ = GetSubMenu(bar, 2);
    if (fileMenu_ && (fileMenuCopy_ = CreatePopupMenu()) != nullptr) CopyMenuItems(fileMenu_, fileMenuCopy_, -1);
    if (editMenu_) ApplyEditMenuRules(editMenu_);
    for (int i = 0, n = viewMenu_ ? GetMenuItemCount(viewMenu_) : 0; i < n && !arrangePopup_; ++i)
        arrangePopup_ = GetSubMenu(viewMenu_, i);
}

void ModuleView::PrepareSearchFileMenu(HMENU file, int context) {
    bool selected = context != kMenuContextFolderItself && context != kPopupBackgroundMenu;
    for (UINT id : {CMD_DELETE, CMD_RENAME, CMD_PROPERTIES, CMD_OPEN_PARENT_FOLDER})
        EnableMenuItem(file, id, MF_BYCOMMAND | (selected ? MF_ENABLED : MF_GRAYED));
    if (selected && context == kPopupFolderMenu) CopyMenuItems(ViewMenuPopup(kPopupSearchFolderMenu), file, 0, true);
}

// Found folders open by path in a window of their own.
void ModuleView::OpenFoundItems(UINT command, HWND owner, const std::vector<LPCITEMIDLIST>& items) {
    std::vector<std::wstring> paths;
    for (LPCITEMIDLIST item : items) paths.push_back(ItemPath(item));
    StartOpenOrExplorePaths(command, owner, paths, access_.Get());
}
