#include "search/search_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <memory>
#include <new>

#include "common/holders.h"
#include "common/module_count.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "handlers/help.h"
#include "item_id/module_item_id.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "resources/search_ids.h"
#include "resources/string_ids.h"
#include "search/about_box.h"
#include "search/criteria_pages.h"
#include "search/search_criteria.h"
#include "search/search_dialogs.h"
#include "search/search_engine.h"
#include "search/search_settings.h"
#include "view/module_view.h"
#include "view/search_results_host.h"

using Microsoft::WRL::ComPtr;

namespace {

volatile LONG g_openWindows = 0;

constexpr int kPageCount = 3;
constexpr int kResultsAreaHeight = 260;
constexpr int kMinResultsHeight = 80;
constexpr UINT kCommonControlClasses = 0x3FF;
// While a search adds rows, the list is drawn at most this often: drawing
// its rows costs more than finding them.
constexpr DWORD kResultsRedrawMs = 250;
constexpr DWORD kScrollBarRedrawMs = 1000;
constexpr DWORD kStatusUpdateMs = 250;
constexpr UINT_PTR kStatusTimer = 1;
constexpr int kFileMenu = 0;
constexpr int kOptionsMenu = 3;
const UINT kSubmenuHelp[] = {IDS_SEARCH_HELP_FILE_MENU, IDS_SEARCH_HELP_EDIT_MENU, IDS_SEARCH_HELP_VIEW_MENU,
                             IDS_SEARCH_HELP_OPTIONS_MENU, IDS_SEARCH_HELP_HELP_MENU};

bool ExtendedControlsAvailable() {
    HMODULE comctl = GetModuleHandleW(L"comctl32.dll");
    auto getVersion = comctl ? reinterpret_cast<DLLGETVERSIONPROC>(
                                   reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")))
                             : nullptr;
    if (!getVersion) return false;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof(info);
    if (FAILED(getVersion(&info))) return false;
    return info.dwMajorVersion > 4 || (info.dwMajorVersion == 4 && info.dwMinorVersion >= 70);
}

std::wstring StripQuotes(std::wstring text) {
    if (!text.empty() && text.front() == L'"') text.erase(0, 1);
    if (!text.empty() && text.back() == L'"') text.pop_back();
    return text;
}

RECT ChildRect(HWND parent, HWND child) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

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

// The opener's side of the start-up: filled by the window's thread before it
// signals, never touched by it afterwards.
struct StartHandshake {
    HANDLE started = nullptr;
    HRESULT result = E_FAIL;
    HWND window = nullptr;
};

class SearchWindow final : public SearchHost, public SearchResultsHost {
public:
    SearchWindow(std::wstring startFile, std::wstring lookIn)
        : startFile_(std::move(startFile)), lookIn_(std::move(lookIn)) {
        // The window holds the library while it exists.
        ModuleAddRef();
    }
    ~SearchWindow() { ModuleRelease(); }

    // Starts the thread, which from then on owns this object; false when it
    // could not be started (the object is still the caller's).
    bool Start(StartHandshake* handshake);

    // SearchHost
    void AddResult(LPCITEMIDLIST item) override;
    size_t ResultCount() const override {
        return resultsView_ ? static_cast<size_t>(resultsView_->ItemCount()) : 0;
    }
    void SetStatusText(const std::wstring& text) override;
    void ShowStatusText();
    void PumpMessages() override;
    // Shows the rows added since the last time, while the list does not draw itself.
    void DrawNewRows();
    bool StopRequested() const override { return stopRequested_; }
    HWND OwnerWindow() const override { return window_; }
    void OnSearchStarting() override;
    void OnSearchFinished() override;

    // SearchResultsHost
    HWND ResultsOwnerWindow() override { return window_; }
    std::wstring ResultsFolderPath() override { return criteria_.path == L"\\" ? std::wstring() : criteria_.path; }

private:
    static DWORD WINAPI ThreadEntry(void* parameter);
    void Run();
    void SignalStarted(HRESULT result);
    void RunMessageLoop();
    void HandleMessage(MSG* msg);
    bool ResultsHaveFocus() const;

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void OnCommand(UINT id, UINT code, HWND control);
    void OnClose();
    void OnMenuSelect(UINT item, UINT flags, HMENU menu);
    void OnInitMenuPopup(HMENU popup, UINT index, bool systemMenu);
    void OnGetMinMaxInfo(MINMAXINFO* info);

    // Commands.
    void StartSearch();
    void NewSearch();
    void LoadSearch();
    void SaveSearch();
    void LoadSearchFile(const std::wstring& path);
    void ToggleCaseSensitive();
    void ToggleSaveResult();
    void ShowTab(int index, bool focusTab);

    // Criteria, title, menus.
    void CollectCriteria();
    void LoadPages();
    void RefreshTitle();
    void RefreshChecks();
    void RestoreFileMenu();

    // Results list and layout.
    HRESULT NewResultsList();
    void ReleaseResultsList();
    void RemoveResultsList();
    void ShowResultsArea(bool show);
    RECT ResultsRect() const;
    void MeasureLayout();
    void Layout(int width, int height);
    void PositionPages();

    std::wstring startFile_;
    std::wstring lookIn_;
    HWND window_ = nullptr;
    ComPtr<ModuleAccess> connection_;
    ComPtr<ModuleView> resultsView_;
    std::unique_ptr<CriteriaPage> pages_[kPageCount];
    NameLocationPage* namePage_ = nullptr;
    HMENU menu_ = nullptr;
    HMENU optionsMenu_ = nullptr;
    HMENU fileMenu_ = nullptr;
    UniqueMenu fileMenuCopy_;
    int initialHeight_ = 0;
    int initialWidth_ = 0;
    int criteriaClientHeight_ = 0;
    int buttonRightGap_ = 0;
    int animationRightGap_ = 0;
    int tabRightGap_ = 0;
    bool resultsShown_ = false;
    bool stopRequested_ = false;
    bool searching_ = false;
    bool quitRequested_ = false;
    HACCEL resultsAccelerators_ = nullptr;
    HACCEL windowAccelerators_ = nullptr;
    HWND statusBar_ = nullptr;
    std::wstring statusText_;
    StartHandshake* handshake_ = nullptr;
    bool commonControlsReady_ = false;
    DWORD lastResultsRedraw_ = 0;
    int rowsDrawn_ = 0;
    DWORD lastStatusUpdate_ = 0;
    bool statusPending_ = false;
    SearchCriteria criteria_;
    UniqueIcon bigIcon_;
    UniqueIcon smallIcon_;
};

// ---------------------------------------------------------------------------
// Thread

bool SearchWindow::Start(StartHandshake* handshake) {
    handshake_ = handshake;
    HANDLE thread = CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr);
    if (!thread) {
        handshake->result = HRESULT_FROM_WIN32(GetLastError());
        return false;
    }
    CloseHandle(thread);
    WaitForSingleObject(handshake->started, INFINITE);
    return true;
}

void SearchWindow::SignalStarted(HRESULT result) {
    handshake_->result = result;
    handshake_->window = SUCCEEDED(result) ? window_ : nullptr;
    SetEvent(handshake_->started);
    handshake_ = nullptr;
}

DWORD WINAPI SearchWindow::ThreadEntry(void* parameter) {
    // The thread keeps the code it runs loaded until it has left it.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ThreadEntry), &self);
    auto* window = static_cast<SearchWindow*>(parameter);
    InterlockedIncrement(&g_openWindows);
    window->Run();
    delete window;
    InterlockedDecrement(&g_openWindows);
    if (self) FreeLibraryAndExitThread(self, 0);
    return 0;
}

void SearchWindow::Run() {
    HRESULT hr = EnterComThread();
    if (FAILED(hr)) {
        SignalStarted(hr);
        return;
    }
    hr = CreateModuleAccess(connection_.GetAddressOf());
    if (FAILED(hr)) {
        SignalStarted(hr);
        LeaveComThread();
        return;
    }
    InitCommonControls();
    if (ExtendedControlsAvailable()) {
        INITCOMMONCONTROLSEX classes = {sizeof(classes), kCommonControlClasses};
        commonControlsReady_ = InitCommonControlsEx(&classes) != FALSE;
    }
    criteria_.saveResult = ReadSaveResultSetting() ? 1 : 0;

    UniqueHGlobal dialog(Resources().LoadDialogTemplate(IDD_SEARCH_WINDOW));
    if (dialog)
        CreateDialogIndirectParamW(Resources().module(), static_cast<LPCDLGTEMPLATEW>(dialog.get()), nullptr,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
    if (!window_) {
        connection_.Reset();
        SignalStarted(E_OUTOFMEMORY);
        LeaveComThread();
        return;
    }
    SetWindowLongPtrW(window_, GWL_EXSTYLE, GetWindowLongPtrW(window_, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    ComPtr<IUnknown> explorer;
    SHGetInstanceExplorer(explorer.GetAddressOf());
    ShowWindow(window_, SW_SHOW);
    SignalStarted(S_OK);

    RunMessageLoop();

    for (auto& page : pages_) page.reset();
    ReleaseResultsList();
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
    if (resultsAccelerators_) DestroyAcceleratorTable(resultsAccelerators_);
    if (windowAccelerators_) DestroyAcceleratorTable(windowAccelerators_);
    connection_.Reset();
    explorer.Reset();
    LeaveComThread();
}

void SearchWindow::RunMessageLoop() {
    MSG msg;
    while (!quitRequested_) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        HandleMessage(&msg);
    }
}

void SearchWindow::AddResult(LPCITEMIDLIST item) {
    if (!resultsView_) return;
    HWND list = resultsView_->ListWindow();
    if (list && resultsView_->ItemCount() == 0) {
        // The first row shows at once; later ones in batches.
        resultsView_->AddItem(item);
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        lastResultsRedraw_ = GetTickCount() - kResultsRedrawMs;
        rowsDrawn_ = 1;
        return;
    }
    resultsView_->AddItem(item);
}

void SearchWindow::PumpMessages() {
    if (searching_ && resultsView_ && resultsView_->ItemCount() > 0) DrawNewRows();
    if (statusPending_ && GetTickCount() - lastStatusUpdate_ >= kStatusUpdateMs) ShowStatusText();
    MSG msg;
    while (!quitRequested_ && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: the outer loop of the thread ends on it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            quitRequested_ = true;
            stopRequested_ = true;
            break;
        }
        HandleMessage(&msg);
    }
}

void SearchWindow::DrawNewRows() {
    HWND list = resultsView_->ListWindow();
    const int count = resultsView_->ItemCount();
    if (!list || count == rowsDrawn_ || GetTickCount() - lastResultsRedraw_ < kResultsRedrawMs) return;
    // Rows that land on screen show a few times a second. Rows added below
    // the visible ones change only the scroll bar, and letting the list draw
    // again costs it a new layout of its scroll bars and header: that waits longer.
    const int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    const int perPage = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    const bool newRowInView = rowsDrawn_ <= top + perPage;
    const DWORD interval = newRowInView ? kResultsRedrawMs : kScrollBarRedrawMs;
    if (GetTickCount() - lastResultsRedraw_ < interval) return;
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    // The list has just redrawn its scroll bar; the rows on screen are unchanged.
    if (!newRowInView) ValidateRect(list, nullptr);
    UpdateWindow(list);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    rowsDrawn_ = count;
    lastResultsRedraw_ = GetTickCount();
}

bool SearchWindow::ResultsHaveFocus() const {
    if (!resultsView_) return false;
    HWND view = resultsView_->ViewWindow();
    HWND focus = GetFocus();
    return view && focus && (focus == view || IsChild(view, focus));
}

void SearchWindow::HandleMessage(MSG* msg) {
    if (window_) {
        if (ResultsHaveFocus()) {
            if (!searching_ && resultsAccelerators_ && TranslateAcceleratorW(window_, resultsAccelerators_, msg))
                return;
        } else if (windowAccelerators_ && TranslateAcceleratorW(window_, windowAccelerators_, msg)) {
            return;
        }
        if (IsDialogMessageW(window_, msg)) return;
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
}

// ---------------------------------------------------------------------------
// Window

INT_PTR CALLBACK SearchWindow::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<SearchWindow*>(lParam);
        self->window_ = window;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<SearchWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR SearchWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return TRUE;
        case WM_CLOSE:
            OnClose();
            return TRUE;
        case WM_SIZE:
            Layout(LOWORD(lParam), HIWORD(lParam));
            return TRUE;
        case WM_TIMER:
            if (wParam != kStatusTimer) return FALSE;
            KillTimer(window_, kStatusTimer);
            if (statusPending_) ShowStatusText();
            return TRUE;
        case WM_GETMINMAXINFO:
            OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
            return TRUE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom == IDC_SEARCH_TABS && header->code == TCN_SELCHANGE) {
                ShowTab(TabCtrl_GetCurSel(header->hwndFrom), false);
                return TRUE;
            }
            return FALSE;
        }
        case WM_MENUSELECT:
            OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam));
            return TRUE;
        case WM_INITMENUPOPUP:
            OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), LOWORD(lParam), HIWORD(lParam) != 0);
            return TRUE;
        case WM_EXITMENULOOP:
            RestoreFileMenu();
            if (statusBar_ && !searching_) {
                SendMessageW(statusBar_, SB_SIMPLE, FALSE, 0);
                SendMessageW(statusBar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
            }
            return TRUE;
        default:
            return FALSE;
    }
}

void SearchWindow::OnInitDialog() {
    bigIcon_.reset(static_cast<HICON>(LoadImageW(Resources().module(), MAKEINTRESOURCEW(IDI_SEARCH_WINDOW),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                                 GetSystemMetrics(SM_CYICON), 0)));
    smallIcon_.reset(static_cast<HICON>(LoadImageW(Resources().module(), MAKEINTRESOURCEW(IDI_SEARCH_WINDOW),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    RefreshTitle();

    menu_ = Resources().LoadMenu(IDR_SEARCH_MENU);
    if (menu_) {
        SetMenu(window_, menu_);
        fileMenu_ = GetSubMenu(menu_, kFileMenu);
        optionsMenu_ = GetSubMenu(menu_, kOptionsMenu);
        // An untouched File menu to restore after the results list has merged its commands.
        UniqueMenu copy(Resources().LoadMenu(IDR_SEARCH_MENU));
        if (copy) {
            HMENU file = GetSubMenu(copy.get(), kFileMenu);
            RemoveMenu(copy.get(), kFileMenu, MF_BYPOSITION);
            fileMenuCopy_.reset(file);
        }
    }
    RefreshChecks();
    resultsAccelerators_ = Resources().LoadAccelerators(IDR_SEARCH_RESULTS_ACCELERATORS);
    windowAccelerators_ = Resources().LoadAccelerators(IDR_SEARCH_WINDOW_ACCELERATORS);

    auto namePage = std::make_unique<NameLocationPage>(commonControlsReady_, lookIn_);
    namePage_ = namePage.get();
    pages_[0] = std::move(namePage);
    pages_[1] = std::make_unique<DatePage>(commonControlsReady_);
    pages_[2] = std::make_unique<OptionsPage>(commonControlsReady_);
    HWND tabs = GetDlgItem(window_, IDC_SEARCH_TABS);
    const UINT tabTexts[kPageCount] = {IDS_SEARCH_TAB_NAME_LOCATION, IDS_SEARCH_TAB_DATE, IDS_SEARCH_TAB_ADDITIONAL};
    for (int i = 0; i < kPageCount; ++i) {
        if (FAILED(pages_[i]->Create(window_))) continue;
        std::wstring text = Resources().LoadString(tabTexts[i]);
        TCITEMW tab = {};
        tab.mask = TCIF_TEXT;
        tab.pszText = &text[0];
        SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&tab));
    }

    MeasureLayout();
    if (HWND animation = GetDlgItem(window_, IDC_SEARCH_ANIMATION))
        SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(Resources().module()),
                     reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_SEARCH_ANIMATION)));
    PositionPages();
    ShowTab(0, false);
    if (!startFile_.empty()) LoadSearchFile(StripQuotes(startFile_));
}

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
    if (index < 0 || index >= kPageCount) index = 0;
    TabCtrl_SetCurSel(tabs, index);
    for (int i = 0; i < kPageCount; ++i) {
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
            int next = (current + (id == IDM_SEARCH_NEXT_TAB ? 1 : kPageCount - 1)) % kPageCount;
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

}  // namespace

HRESULT OpenSearchWindow(const std::wstring& startFile, const std::wstring& lookIn, HWND* window) {
    if (window) *window = nullptr;
    StartHandshake handshake;
    handshake.started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!handshake.started) return E_OUTOFMEMORY;
    auto* searchWindow = new (std::nothrow) SearchWindow(startFile, lookIn);
    if (!searchWindow) {
        CloseHandle(handshake.started);
        return E_OUTOFMEMORY;
    }
    if (!searchWindow->Start(&handshake)) delete searchWindow;
    CloseHandle(handshake.started);
    if (window) *window = handshake.window;
    return handshake.result;
}

HRESULT OpenSearchWindowFor(const wchar_t* startFile, const wchar_t* lookIn) {
    return OpenSearchWindow(startFile ? startFile : L"", lookIn ? lookIn : L"");
}

LONG OpenSearchWindowCount() { return InterlockedCompareExchange(&g_openWindows, 0, 0); }

void RunSearchWindowsFor(const wchar_t* file) {
    OpenSearchWindow(file ? file : L"", std::wstring());
    while (OpenSearchWindowCount() > 0) Sleep(1000);
}
