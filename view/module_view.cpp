// The module view as Explorer sees it: the IShellView surface, the view
// window and its procedure, view state, status bar, activation and
// accelerators, change notifications and drop targets. The list control is
// view_list.cpp; the search window's use of the view, search_results_role.cpp.
#include "view/module_view.h"

#include <shlwapi.h>

#include "common/formatting.h"
#include "common/item_time.h"
#include "common/paths.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "common/window_classes.h"
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

// Files count in the status sums; folders and drives do not.
bool IsFileItem(LPCITEMIDLIST item) { return !IsContainerItem(item); }

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
    if (state && ReadColumnOrder(state.Get(), order))
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
    if (list_ &&
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
    case kClearCutMarksMessage:
        ClearCutMarks();
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
    // Unbound first: a notice arriving during the server call must not
    // refresh a view that is going away.
    sink_->Unbind();
    if (access_) access_->Unadvise(cookie_);
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
