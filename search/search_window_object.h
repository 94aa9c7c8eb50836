// The search window object shared by its parts: the thread and window
// (search_window.cpp), layout, status and menus (search_window_layout.cpp),
// and the commands and results list (search_window_commands.cpp).
#pragma once
#include <windows.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "common/holders.h"
#include "common/module_count.h"
#include "module_access/module_access.h"
#include "search/criteria_pages.h"
#include "search/search_criteria.h"
#include "search/search_engine.h"
#include "view/module_view.h"
#include "view/search_results_host.h"

constexpr int kSearchPageCount = 3;
// The status text changes at most this often while a search runs.
constexpr DWORD kStatusUpdateMs = 250;
// Shows a status text that waited while the thread was busy with the server.
constexpr UINT_PTR kStatusTimer = 1;

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
    Microsoft::WRL::ComPtr<ModuleAccess> connection_;
    Microsoft::WRL::ComPtr<ModuleView> resultsView_;
    std::unique_ptr<CriteriaPage> pages_[kSearchPageCount];
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

