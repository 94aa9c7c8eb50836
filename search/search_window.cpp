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
#include "common/module_thread.h"
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
#include "search/search_window_object.h"

using Microsoft::WRL::ComPtr;


namespace {

volatile LONG g_openWindows = 0;

constexpr UINT kCommonControlClasses = 0x3FF;
// While a search adds rows, the list is drawn at most this often: drawing
// its rows costs more than finding them.
constexpr DWORD kResultsRedrawMs = 250;
constexpr DWORD kScrollBarRedrawMs = 1000;
constexpr int kFileMenu = 0;
constexpr int kOptionsMenu = 3;

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

}  // namespace

// ---------------------------------------------------------------------------
// Thread

bool SearchWindow::Start(StartHandshake* handshake) {
    handshake_ = handshake;
    // The thread holds the library, loaded and counted, until it has left its code.
    HRESULT started = StartModuleThread(&ThreadEntry, this);
    if (FAILED(started)) {
        handshake->result = started;
        return false;
    }
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
    auto* window = static_cast<SearchWindow*>(parameter);
    InterlockedIncrement(&g_openWindows);
    window->Run();
    delete window;
    InterlockedDecrement(&g_openWindows);
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
    const UINT tabTexts[kSearchPageCount] = {IDS_SEARCH_TAB_NAME_LOCATION, IDS_SEARCH_TAB_DATE, IDS_SEARCH_TAB_ADDITIONAL};
    for (int i = 0; i < kSearchPageCount; ++i) {
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
