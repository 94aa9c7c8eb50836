#include "view/module_view.h"

#include <shlwapi.h>

#include "common/formatting.h"
#include "common/item_time.h"
#include "common/paths.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/absolute_lists.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "resources/string_ids.h"
#include "handlers/operation_hooks.h"
#include "resources/command_ids.h"
#include "view/explorer_style.h"
#include "view/module_drop_target.h"
#include "view/pane_layout.h"
#include "view/search_results_host.h"
#include "view/status_texts.h"
#include "view/view_cell_texts.h"
#include "view/view_commands.h"

using Microsoft::WRL::ComPtr;

const SHELLVIEWID kModuleViewId = {0x7A3C21D4, 0x5E9F, 0x4B08, {0x8D, 0x61, 0x2F, 0x0B, 0x9C, 0x4E, 0x7A, 0x15}};

namespace {

// Posted to the view window after the list's selection changed.
constexpr UINT kSelectionChanged = WM_APP + 1;

LPCITEMIDLIST ItemOf(LPARAM data) { return reinterpret_cast<LPCITEMIDLIST>(data); }

bool IsFolderItem(LPCITEMIDLIST item) { return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// Files count in the status sums; folders and drives do not.
bool IsFileItem(LPCITEMIDLIST item) { return !IsFolderItem(item) && !IsDriveItem(item); }


}  // namespace

HRESULT ModuleView::Create(ModuleView** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) ModuleView();
    return *out ? S_OK : E_OUTOFMEMORY;
}

ModuleView::ModuleView() : sortCommand_(kSortNameAscending) {
    webView_ = ReadWebViewFlag(HKEY_CURRENT_USER);
    ReadExplorerSettings();
    viewAccelerators_ = Resources().LoadAccelerators(kAcceleratorsViewFocus);
    otherAccelerators_ = Resources().LoadAccelerators(kAcceleratorsOtherFocus);
}

ModuleView::~ModuleView() {
    DestroyViewWindow();
    FreeItems();
    if (viewAccelerators_) DestroyAcceleratorTable(viewAccelerators_);
    if (otherAccelerators_) DestroyAcceleratorTable(otherAccelerators_);
}

// ---------------------------------------------------------------------------
// Binding

HRESULT ModuleView::InitForFolderPath(const std::wstring& folderPath, PCIDLIST_ABSOLUTE folderList, HWND owner) {
    if (bound_) return E_FAIL;
    if (folderList) {
        folderList_.reset(ILCloneFull(folderList));
        if (!folderList_) return E_OUTOFMEMORY;
    }
    return Bind(folderPath, owner);
}

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

HRESULT ModuleView::Bind(const std::wstring& folderPath, HWND owner) {
    bound_ = true;
    path_ = folderPath;
    owner_ = owner;
    isRoot_ = path_.empty();
    isDrive_ = IsDrivePath(path_.c_str());
    if (kind_ != ListKind::Search) kind_ = isRoot_ ? ListKind::Root : ListKind::Folder;
    return EnsureAccess();
}

HRESULT ModuleView::EnsureAccess() {
    if (access_) return S_OK;
    return CreateModuleAccess(access_.ReleaseAndGetAddressOf());
}

// ---------------------------------------------------------------------------
// IUnknown, IOleWindow

STDMETHODIMP ModuleView::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IShellView) {
        *out = static_cast<IShellView*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ModuleView::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_;
    return window_ ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------
// Creating and destroying the window

STDMETHODIMP ModuleView::CreateViewWindow(IShellView*, LPCFOLDERSETTINGS settings, IShellBrowser* browser,
                                          RECT* rect, HWND* window) {
    if (!settings || !browser || !rect || !window) return E_POINTER;
    ReleaseWindowState();
    *window = nullptr;
    browser_ = browser;
    viewMode_ = static_cast<int>(settings->ViewMode);
    folderFlags_ = settings->fFlags;
    HWND owner = nullptr;
    browser->GetWindow(&owner);
    owner_ = owner;

    HRESULT hr = CreateViewWindowIn(owner_, *rect);
    if (FAILED(hr)) return hr;
    *window = window_;

    // The stored state is read part by part; whatever cannot be read keeps
    // its default.
    ComPtr<IStream> state;
    ViewStateHead head;
    head.sortCommand = kSortNameAscending;
    if (FAILED(browser->GetViewStateStream(STGM_READ, &state)) || !state ||
        !ReadViewStateHead(state.Get(), &head)) {
        state.Reset();
        head = ViewStateHead();
        head.sortCommand = kSortNameAscending;
        webView_ = ReadWebViewFlag(HKEY_CURRENT_USER);
    }
    sortCommand_ = head.sortCommand;

    hr = CreateList(kind_, head.widths);
    if (FAILED(hr)) return hr;

    int32_t order[kViewStateColumns];
    if (state && ReadColumnOrder(state.Get(), order) && CommonControlsAtLeast470())
        SendMessageW(list_, LVM_SETCOLUMNORDERARRAY, kViewStateColumns, reinterpret_cast<LPARAM>(order));

    hr = ListFolder();
    if (FAILED(hr)) {
        DestroyList();
        state.Reset();
        if (hr != E_OPERATION_CANCELLED) ReportModuleError(hr, L"");
        return hr;
    }
    FillList();

    bool positioned = false;
    std::vector<BYTE> block;
    if (state && ReadIconPositionBlock(state.Get(), &block) && !block.empty() && IsIconMode(viewMode_))
        positioned = RestoreIconPositions(list_, block.data(), block.size(), RowTexts()) > 0;
    state.Reset();

    MergeToolbar();
    AdviseChangeSink();
    CreatePane();
    RegisterDropTargets();

    RECT inner = InnerRect(*rect);
    Layout(inner.right - inner.left, inner.bottom - inner.top);
    ShowWindow(list_, SW_SHOW);
    if (pane_) ShowWindow(pane_, SW_SHOW);
    if (!positioned) SendMessageW(list_, LVM_ARRANGE, LVA_DEFAULT, 0);
    return S_OK;
}

STDMETHODIMP ModuleView::CreateViewWindow2(LPSV2CVW2_PARAMS params) {
    if (!params) return E_POINTER;
    if (!params->pvid || !IsEqualGUID(*params->pvid, kModuleViewId)) return E_INVALIDARG;
    return CreateViewWindow(params->psvPrev, params->pfs, params->psbOwner, params->prcView, &params->hwndView);
}

STDMETHODIMP ModuleView::GetView(SHELLVIEWID* id, ULONG which) {
    if (!id) return E_POINTER;
    if (which != static_cast<ULONG>(SV2GV_CURRENTVIEW) && which != static_cast<ULONG>(SV2GV_DEFAULTVIEW))
        return E_INVALIDARG;
    *id = kModuleViewId;
    return S_OK;
}

HRESULT ModuleView::CreateViewWindowIn(HWND parent, const RECT& rect) {
    if (!RegisterModuleWindowClasses()) return E_FAIL;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (!(folderFlags_ & FWF_NOCLIENTEDGE)) exStyle |= WS_EX_CLIENTEDGE;
    window_ = CreateWindowExW(exStyle, kViewWindowClass, L"", WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                              rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, CodeModule(),
                              static_cast<WindowMessageHandler*>(this));
    return window_ ? S_OK : E_FAIL;
}

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
    HWND list = list_;
    list_ = nullptr;
    UnsubclassList(list);
    DestroyWindow(list);
}

// The windows and what hangs on them: menus, change sink, drop targets,
// list, pane and the view window itself.
void ModuleView::DestroyWindows() {
    // A rename waiting for its edit learns that the view went.
    if (renameWait_) *renameWait_ = false;
    RemoveMenus();
    UnadviseChangeSink();
    RevokeDropTargets();
    DestroyList();
    DestroyPane();
    if (window_) {
        HWND window = window_;
        window_ = nullptr;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
}

// Everything a new window replaces: the windows and the items.
void ModuleView::ReleaseWindowState() {
    DestroyWindows();
    FreeItems();
}

STDMETHODIMP ModuleView::DestroyViewWindow() {
    DestroyWindows();
    uiState_ = SVUIA_DEACTIVATE;
    browser_.Reset();
    return S_OK;
}

RECT ModuleView::InnerRect(const RECT& rect) const {
    RECT inner = {0, 0, rect.right - rect.left, rect.bottom - rect.top};
    if (!(folderFlags_ & FWF_NOCLIENTEDGE)) {
        inner.right -= 2 * GetSystemMetrics(SM_CXEDGE);
        inner.bottom -= 2 * GetSystemMetrics(SM_CYEDGE);
    }
    if (inner.right < 0) inner.right = 0;
    if (inner.bottom < 0) inner.bottom = 0;
    return inner;
}

void ModuleView::Layout(int width, int height) {
    if (!list_) return;
    if (!pane_) {
        // Without a pane, WebView on leaves the list where it is.
        if (!webView_) MoveWindow(list_, 0, 0, width, height, TRUE);
        return;
    }
    PaneLayout layout = ComputePaneLayout(webView_, width, height);
    infoPane_.Place(layout);
    MoveWindow(list_, layout.list.x, layout.list.y, layout.list.width, layout.list.height, TRUE);
}

STDMETHODIMP ModuleView::GetCurrentInfo(LPFOLDERSETTINGS settings) {
    if (!settings) return E_POINTER;
    settings->ViewMode = static_cast<UINT>(viewMode_);
    settings->fFlags = folderFlags_;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Search-results role

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
    if (inserted < 0) return false;
    if (!CommonControlsAtLeast470()) {
        // Old lists cannot ask for sub-item texts; they get them now.
        int count = ListColumnCount(kind_);
        for (int column = 1; column < count; ++column) {
            std::wstring text = CellText(kind_, column, item);
            LVITEMW sub = {};
            sub.iSubItem = column;
            sub.pszText = &text[0];
            SendMessageW(list_, LVM_SETITEMTEXTW, inserted, reinterpret_cast<LPARAM>(&sub));
        }
    }
    return true;
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

// ---------------------------------------------------------------------------
// Refresh, state

STDMETHODIMP ModuleView::Refresh() {
    if (refreshing_) return S_OK;
    refreshing_ = true;
    ComPtr<ModuleView> self(this);   // a notification may arrive while we pump

    if (list_) {
        iconPositions_.clear();
        if (IsIconMode(viewMode_)) iconPositions_ = BuildIconPositionBlock(list_, RowTexts());
        selection_ = BuildSelectionBlock(list_, RowTexts());
        focusedPath_ = FocusedItemPath(list_, RowTexts());
        SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    }
    HRESULT hr = ListFolder();
    if (list_) {
        FillList();
        if (IsIconMode(viewMode_) && !iconPositions_.empty())
            RestoreIconPositions(list_, iconPositions_.data(), iconPositions_.size(), RowTexts());
        UpdateStatusBar();
        SetWebView(ReadWebViewFlag(HKEY_CURRENT_USER));
        RefreshPane();
        RestoreSelection(list_, selection_.data(), selection_.size(), focusedPath_, RowTexts());
    }
    refreshing_ = false;
    return hr;
}

STDMETHODIMP ModuleView::SaveViewState() {
    if (!browser_) return E_UNEXPECTED;
    ComPtr<IStream> stream;
    HRESULT hr = browser_->GetViewStateStream(STGM_WRITE, &stream);
    if (FAILED(hr)) return hr;
    if (!stream) return E_FAIL;
    ViewStateHead head;
    head.sortCommand = sortCommand_;
    for (int i = 0; i < kViewStateColumns; ++i) {
        int width = list_ ? static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, i, 0)) : 0;
        head.widths[i] = width ? width : kDefaultColumnWidth;
    }
    int32_t order[kViewStateColumns] = {0, 1, 2, 3};
    int read[kViewStateColumns];
    if (list_ && CommonControlsAtLeast470() &&
        SendMessageW(list_, LVM_GETCOLUMNORDERARRAY, kViewStateColumns, reinterpret_cast<LPARAM>(read))) {
        for (int i = 0; i < kViewStateColumns; ++i) order[i] = read[i];
    }
    std::vector<BYTE> block;
    if (list_ && IsIconMode(viewMode_)) block = BuildIconPositionBlock(list_, RowTexts());
    return WriteViewState(stream.Get(), head, order, block);
}

// ---------------------------------------------------------------------------
// Status bar, activation, keys

void ModuleView::UpdateStatusBar() {
    if (!browser_) return;
    HWND status = nullptr;
    if (FAILED(browser_->GetControlWindow(FCW_STATUS, &status)) || !status) status = window_;
    int width = StatusCountPartWidth(status);
    int selected = list_ ? static_cast<int>(SendMessageW(list_, LVM_GETSELECTEDCOUNT, 0, 0)) : 0;
    int32_t sum = 0;
    if (selected <= 0) {
        for (UINT i = 0; i < items_.count(); ++i)
            if (IsFileItem(items_[i])) sum = AddToStatusSum(sum, ItemSize(items_[i]));
    } else {
        int row = -1;
        while ((row = static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
            LPCITEMIDLIST item = RowItem(row);
            if (item && IsFileItem(item)) sum = AddToStatusSum(sum, ItemSize(item));
        }
    }
    ShowStatusTexts(status, width, ComposeStatusTexts(selected, static_cast<int>(items_.count()), sum));
}

STDMETHODIMP ModuleView::UIActivate(UINT state) {
    if (!window_) return E_FAIL;
    if (state == SVUIA_DEACTIVATE) {
        if (uiState_ != SVUIA_DEACTIVATE) {
            uiState_ = SVUIA_DEACTIVATE;
            RemoveMenus();
        }
        return S_OK;
    }
    if (state > SVUIA_INPLACEACTIVATE) return S_OK;
    if (state != uiState_) {
        uiState_ = state;
        if (state == SVUIA_ACTIVATE_FOCUS) {
            if (browser_) browser_->OnViewWindowActive(this);
            if (list_) SetFocus(list_);
        }
    }
    // Menus, toolbar and View-menu marks follow the activation.
    MergeMenus();
    UpdateStatusBar();
    RefreshPane();
    return S_OK;
}

STDMETHODIMP ModuleView::TranslateAccelerator(MSG* msg) {
    if (!msg) return E_POINTER;
    HWND focus = GetFocus();
    bool inView = focus && (focus == window_ || focus == list_ || focus == pane_);
    HACCEL table = inView ? viewAccelerators_ : otherAccelerators_;
    if (!table) return E_UNEXPECTED;
    return ::TranslateAcceleratorW(window_, table, msg) ? S_OK : S_FALSE;
}

void ModuleView::ExecuteCommand(UINT id, UINT code) {
    switch (id) {
    case kSortNameAscending: case kSortTypeAscending: case kSortSizeAscending: case kSortModifiedAscending:
    case kSortNameDescending: case kSortTypeDescending: case kSortSizeDescending: case kSortModifiedDescending:
    case kSortLocationAscending: case kSortLocationDescending:
    case kSortTotalSizeAscending: case kSortTotalSizeDescending:
    case kSortFreeSpaceAscending: case kSortFreeSpaceDescending:
        if (!list_) return;
        sortCommand_ = id;
        SortList();
        return;
    case kCmdRefresh:
        if (access_) {
            UniqueBstr invalidate(L"\\<INVALIDATE_CACHE_CHANGE");
            access_->InvalidateCache(invalidate.get());
        }
        Refresh();
        return;
    default:
        ExecuteMenuCommand(id, code);
        return;
    }
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

// ---------------------------------------------------------------------------
// Window procedures

LRESULT ModuleView::OnWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) window_ = window;
    // After the view let go of its window, the window's last messages are its own.
    if (window_ != window) return DefWindowProcW(window, message, wParam, lParam);
    return OnViewMessage(message, wParam, lParam);
}

LRESULT ModuleView::OnViewMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        if (list_) Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFOCUS:
        if (list_) SetFocus(list_);
        return 0;
    case WM_NOTIFY: {
        auto header = reinterpret_cast<NMHDR*>(lParam);
        if (header && list_ && header->hwndFrom == list_) return OnListNotify(header);
        LRESULT result = 0;
        if (header && SupplyToolTip(header, &result)) return result;
        break;
    }
    case WM_INITMENUPOPUP: {
        HMENU popup = reinterpret_cast<HMENU>(wParam);
        if (popup && popup == fileMenu_) PrepareFileMenu(popup);
        else if (popup && popup == editMenu_) ApplyEditMenuRules(popup);
        return 0;
    }
    case WM_MENUSELECT:
        ShowMenuHelp(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
        return 0;
    case WM_EXITMENULOOP:
        EndMenuHelp();
        return 0;
    case WM_COMMAND:
        ExecuteCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case kSelectionChanged:
        selectionUpdatePosted_ = false;
        UpdateStatusBar();
        RefreshPane();
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
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
        record->view->OnListMessage(message, wParam, lParam);
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
    if (!item) return;
    if (IsFileItem(item)) {
        ShowMessageBox(list_, Resources().LoadString(IDS_ERR_CANNOT_OPEN_FILE), Resources().LoadString(IDS_MODULE),
                       MB_ICONHAND);
        return;
    }
    if (kind_ == ListKind::Search) {
        // The search list opens folders by path in a window of their own.
        StartOpenOrExplorePaths(CMD_EXPLORE, list_, {ItemPath(item)}, access_.Get());
        return;
    }
    if (!browser_) return;
    // The browser may destroy this view while it navigates.
    ComPtr<ModuleView> self(this);
    ComPtr<IShellBrowser> browser(browser_);
    IdListHolder child;
    if (SUCCEEDED(child.Assign(item))) browser->BrowseObject(child.get(), SBSP_RELATIVE);
}

// ---------------------------------------------------------------------------
// Change notifications

void ModuleView::AdviseChangeSink() {
    if (sink_ || !access_) return;
    ComPtr<ViewChangeSink> sink;
    if (FAILED(MakeComObject(sink.ReleaseAndGetAddressOf(), this, kind_ == ListKind::Search))) return;
    UniqueBstr path(path_.c_str());
    LONG cookie = 0;
    if (SUCCEEDED(access_->Advise(path.get(), static_cast<IModuleChangeSink*>(sink.Get()), &cookie))) {
        sink_ = sink;
        cookie_ = cookie;
    } else {
        sink->Unbind();
    }
}

void ModuleView::UnadviseChangeSink() {
    if (!sink_) return;
    if (access_) access_->Unadvise(cookie_);
    sink_->Unbind();
    sink_.Reset();
    cookie_ = 0;
}

// ---------------------------------------------------------------------------
// Where the later view parts join in.

// Drop targets on the list and the pane.
HRESULT ModuleView::RegisterDropTargets() {
    RevokeDropTargets();
    HRESULT hr = S_OK;
    HWND windows[2] = {list_, pane_};
    ComPtr<IDropTarget>* targets[2] = {&listTarget_, &paneTarget_};
    for (int i = 0; i < 2 && SUCCEEDED(hr); ++i) {
        if (!windows[i]) continue;
        ComPtr<IDropTarget> target;
        hr = ModuleDropTarget::ForView(this, &target);
        if (SUCCEEDED(hr)) hr = RegisterDragDrop(windows[i], target.Get());
        if (SUCCEEDED(hr)) *targets[i] = target;
    }
    return hr;
}

void ModuleView::RevokeDropTargets() {
    if (listTarget_ && list_) RevokeDragDrop(list_);
    if (paneTarget_ && pane_) RevokeDragDrop(pane_);
    listTarget_.Reset();
    paneTarget_.Reset();
}

void ModuleView::EndSimpleStatus() {
    if (browser_) browser_->SendControlMsg(FCW_STATUS, SB_SIMPLE, FALSE, 0, nullptr);
}
