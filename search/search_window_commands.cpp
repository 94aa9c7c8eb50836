// The search window's commands: starting and stopping a search, new,
// load and save, the options, and the results list they fill.
#include "search/search_window_object.h"

#include <commctrl.h>
#include <shlwapi.h>

#include "common/prompt.h"
#include "common/resource_module.h"
#include "handlers/help.h"
#include "item_id/module_item_id.h"
#include "module_access/listing.h"
#include "module_access/module_errors.h"
#include "resources/search_ids.h"
#include "resources/string_ids.h"
#include "search/about_box.h"
#include "search/search_dialogs.h"
#include "search/search_settings.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kResultsAreaHeight = 260;

// Whether Look in names a folder or drive of the module; the root always
// exists. A drive is looked up by its record too: asking for its free space
// would make the server add up every file on it.
bool FolderExists(const std::wstring& path, ModuleAccess* access) {
    if (path.empty() || path == L"\\") return true;
    LPITEMIDLIST raw = nullptr;
    HRESULT hr = GetItemRecord(path.c_str(), access, &raw);
    IdListHolder item(raw);
    return SUCCEEDED(hr) && item && IsContainerItem(item.get());
}

// Save's view of the results list: its rows in list order.
class ResultRows : public SearchResultItems {
public:
    explicit ResultRows(ModuleView* view) : view_(view) {}
    size_t ResultCount() const override { return view_ ? static_cast<size_t>(view_->ItemCount()) : 0; }
    LPCITEMIDLIST ResultAt(size_t index) const override { return view_->RowItem(static_cast<int>(index)); }

private:
    ModuleView* view_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Commands

void SearchWindow::OnCommand(UINT id, UINT code, HWND control) {
    switch (id) {
        case IDC_SEARCH_START:
            if (!searching_) StartSearch();
            return;
        case IDC_SEARCH_STOP:
            stopRequested_ = true;
            return;
        case IDC_SEARCH_NEW:
            NewSearch();
            return;
        case IDM_SEARCH_LOAD:
            if (!searching_) LoadSearch();
            return;
        case IDM_SEARCH_SAVE:
            if (!searching_) SaveSearch();
            return;
        case IDM_SEARCH_CLOSE:
            OnClose();
            return;
        case IDM_SEARCH_CASE_SENSITIVE:
            if (!searching_) ToggleCaseSensitive();
            return;
        case IDM_SEARCH_SAVE_RESULT:
            if (!searching_) ToggleSaveResult();
            return;
        case IDM_SEARCH_HELP_TOPICS:
        case IDM_SEARCH_HELP:
            OpenHelp(window_);
            return;
        case IDM_SEARCH_ABOUT:
            ShowAboutBox(window_);
            return;
        case IDM_SEARCH_NEXT_TAB:
        case IDM_SEARCH_PREVIOUS_TAB: {
            int current = TabCtrl_GetCurSel(GetDlgItem(window_, IDC_SEARCH_TABS));
            int next = (current + (id == IDM_SEARCH_NEXT_TAB ? 1 : kSearchPageCount - 1)) % kSearchPageCount;
            ShowTab(next, true);
            return;
        }
        case IDC_SEARCH_BROWSE:
            if (TabCtrl_GetCurSel(GetDlgItem(window_, IDC_SEARCH_TABS)) == 0 && namePage_)
                namePage_->OnCommand(id, BN_CLICKED);
            return;
        case IDOK:
        case IDCANCEL:
            return;   // Enter and Escape in the criteria are not commands of the window
        default:
            if (!searching_ && resultsView_ && resultsView_->ViewWindow())
                SendMessageW(resultsView_->ViewWindow(), WM_COMMAND, MAKEWPARAM(id, code),
                             reinterpret_cast<LPARAM>(control));
            return;
    }
}

void SearchWindow::OnClose() {
    stopRequested_ = true;
    ReleaseResultsList();
    quitRequested_ = true;
    // Wake the message loop so that it sees the request.
    PostMessageW(window_, WM_NULL, 0, 0);
}

void SearchWindow::CollectCriteria() {
    for (auto& page : pages_) {
        if (page && page->window()) page->Collect(&criteria_);
    }
}

void SearchWindow::LoadPages() {
    for (auto& page : pages_) {
        if (page && page->window()) page->LoadFrom(criteria_);
    }
}

void SearchWindow::StartSearch() {
    CollectCriteria();
    RefreshTitle();
    if (!FolderExists(criteria_.path, connection_.Get())) {
        ShowMessageBox(window_, Resources().FormatString(IDS_SEARCH_FOLDER_NOT_FOUND, {criteria_.path}),
                       Resources().LoadString(IDS_SEARCH_ERROR_CAPTION), MB_ICONERROR);
        return;
    }
    RestoreFileMenu();
    if (FAILED(NewResultsList())) return;
    RunSearch(criteria_, connection_.Get(), *this);
}

void SearchWindow::OnSearchStarting() {
    stopRequested_ = false;
    searching_ = true;
    // The search's first words show at once, whatever the bar said just before.
    lastStatusUpdate_ = GetTickCount() - kStatusUpdateMs;
    EnableWindow(GetDlgItem(window_, IDC_SEARCH_START), FALSE);
    EnableWindow(GetDlgItem(window_, IDC_SEARCH_STOP), TRUE);
    for (auto& page : pages_) {
        if (page && page->window()) page->DisableControls();
    }
    SendMessageW(GetDlgItem(window_, IDC_SEARCH_ANIMATION), ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, -1));
}

void SearchWindow::OnSearchFinished() {
    if (!window_) return;
    if (statusPending_) ShowStatusText();
    if (resultsView_ && resultsView_->ListWindow()) {
        SendMessageW(resultsView_->ListWindow(), WM_SETREDRAW, TRUE, 0);
        InvalidateRect(resultsView_->ListWindow(), nullptr, TRUE);
    }
    SendMessageW(GetDlgItem(window_, IDC_SEARCH_ANIMATION), ACM_STOP, 0, 0);
    EnableWindow(GetDlgItem(window_, IDC_SEARCH_START), TRUE);
    EnableWindow(GetDlgItem(window_, IDC_SEARCH_STOP), FALSE);
    for (auto& page : pages_) {
        if (page && page->window()) page->EnableControls();
    }
    searching_ = false;
    if (resultsView_ && resultsView_->ListWindow()) SetFocus(resultsView_->ListWindow());
}

void SearchWindow::NewSearch() {
    stopRequested_ = true;
    std::wstring caption = Resources().LoadString(IDS_SEARCH_TITLE) + L" " + criteria_.Describe().plain;
    if (ShowMessageBox(window_, Resources().LoadString(IDS_SEARCH_CONFIRM_NEW), caption,
                       MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    RemoveResultsList();
    RestoreFileMenu();
    for (auto& page : pages_) {
        if (page && page->window()) page->Reset();
    }
}

void SearchWindow::LoadSearch() {
    std::wstring path;
    if (ChooseSearchFile(window_, false, std::wstring(), &path)) LoadSearchFile(path);
}

void SearchWindow::LoadSearchFile(const std::wstring& path) {
    LPITEMIDLIST* items = nullptr;
    UINT capacity = 0, count = 0;
    HRESULT hr = criteria_.Load(path.c_str(), &items, &capacity, &count);
    if (count > 0) {
        RestoreFileMenu();
        if (SUCCEEDED(NewResultsList())) {
            for (UINT i = 0; i < count; ++i) resultsView_->AddItem(items[i]);
        }
    } else {
        RemoveResultsList();
    }
    FreeLoadedItems(items, count);
    RefreshChecks();
    RefreshTitle();
    SetStatusText(FoundStatusText(ResultCount()));
    LoadPages();
    // The type list decides the pattern of the loaded type name.
    for (auto& page : pages_) {
        if (auto* options = dynamic_cast<OptionsPage*>(page.get())) {
            int type = FindFileType(options->types(), criteria_.fileTypeName);
            criteria_.fileTypePattern = type >= 0 ? options->types()[type].pattern : std::wstring(L"*");
        }
    }
    if (FAILED(hr))
        ShowMessageBox(window_, Resources().FormatString(IDS_ERR_LOAD_SEARCH, {ErrorText(hr)}),
                       Resources().LoadString(IDS_ERR_LOAD_SEARCH_CAPTION), MB_ICONERROR);
}

void SearchWindow::SaveSearch() {
    CollectCriteria();
    RefreshTitle();
    std::wstring name = criteria_.Describe().fileName;
    if (name.size() > kMaxDescriptionFileName) name.resize(kMaxDescriptionFileName);
    std::wstring path;
    if (!ChooseSearchFile(window_, true, name, &path)) return;
    ResultRows rows(resultsView_.Get());
    HRESULT hr = criteria_.Save(path.c_str(), resultsView_ ? &rows : nullptr);
    if (FAILED(hr))
        ShowMessageBox(window_, Resources().FormatString(IDS_ERR_SAVE_SEARCH, {ErrorText(hr)}),
                       Resources().LoadString(IDS_ERR_SAVE_SEARCH_CAPTION), MB_ICONERROR);
}

void SearchWindow::ToggleCaseSensitive() {
    criteria_.caseSensitive = criteria_.caseSensitive ? 0 : 1;
    RefreshChecks();
}

void SearchWindow::ToggleSaveResult() {
    criteria_.saveResult = criteria_.saveResult ? 0 : 1;
    StoreSaveResultSetting(criteria_.saveResult != 0);
    RefreshChecks();
}

// ---------------------------------------------------------------------------
// Results list

HRESULT SearchWindow::NewResultsList() {
    // The new list takes over the old one's connection: making another one
    // and letting this one go are calls to the server that a Start need not wait for.
    ComPtr<ModuleAccess> connection(resultsView_ ? resultsView_->Access() : nullptr);
    ReleaseResultsList();
    ComPtr<ModuleView> view;
    HRESULT hr = ModuleView::Create(view.GetAddressOf());
    if (FAILED(hr)) return hr;
    view->AdoptAccess(connection.Get());
    hr = view->InitForSearch(this);
    if (FAILED(hr)) return hr;
    if (!resultsShown_) ShowResultsArea(true);
    hr = view->CreateResultsList(ResultsRect());
    if (FAILED(hr)) {
        view->DestroyViewWindow();
        return hr;
    }
    resultsView_ = view;
    SetStatusText(std::wstring());
    return S_OK;
}

void SearchWindow::ReleaseResultsList() {
    if (!resultsView_) return;
    ComPtr<ModuleView> view;
    view.Swap(resultsView_);
    view->DestroyViewWindow();
}

void SearchWindow::RemoveResultsList() {
    ReleaseResultsList();
    if (resultsShown_) ShowResultsArea(false);
}

void SearchWindow::ShowResultsArea(bool show) {
    RECT window;
    GetWindowRect(window_, &window);
    resultsShown_ = show;
    if (show && !statusBar_) {
        statusBar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | SBARS_SIZEGRIP, 0, 0, 0, 0, window_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_SEARCH_STATUS_BAR)),
                                     Resources().module(), nullptr);
    }
    if (statusBar_) ShowWindow(statusBar_, show ? SW_SHOW : SW_HIDE);
    int height = show ? initialHeight_ + kResultsAreaHeight : initialHeight_;
    SetWindowPos(window_, nullptr, 0, 0, window.right - window.left, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(window_, &client);
    Layout(client.right, client.bottom);
}

