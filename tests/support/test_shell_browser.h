// A shell browser of our own that hosts a view headless: a frame window, a
// status bar and a toolbar, a view-state stream the test controls, and a
// record of what the view asked of the browser.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "common/holders.h"

class TestShellBrowser final : public IShellBrowser {
public:
    // What GetViewStateStream(STGM_READ) hands out.
    enum class StoredState { None, Bytes };

    struct BrowseCall {
        UniqueIdList list;   // copy of the identifier list asked for (null for back/forward)
        UINT flags;
    };
    struct ControlMessage {
        UINT control;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    // Creates the frame (width x height client area), its status bar and toolbar.
    static HRESULT Create(int width, int height, TestShellBrowser** out);

    // Bytes the next read stream holds; None makes GetViewStateStream fail.
    void SetStoredState(const std::vector<BYTE>& bytes);
    void ClearStoredState();
    // What the view wrote through the last STGM_WRITE stream (empty when none).
    std::vector<BYTE> WrittenState() const;
    int ReadStreamsHandedOut() const { return readStreams_; }
    // Whether FCW_TREE answers with a window (a browser with a tree pane).
    void SetHasTree(bool hasTree) { hasTree_ = hasTree; }

    HWND Frame() const { return frame_; }
    HWND StatusBar() const { return status_; }
    HWND Toolbar() const { return toolbar_; }
    // Texts of the status bar's parts as they stand now.
    std::wstring StatusPart(int part) const;
    int StatusPartCount() const;
    RECT ViewRect() const;

    const std::vector<BrowseCall>& BrowseCalls() const { return browseCalls_; }
    const std::vector<std::wstring>& StatusTextCalls() const { return statusTexts_; }
    const std::vector<ControlMessage>& ControlMessages() const { return controlMessages_; }
    int ViewWindowActiveCalls() const { return viewActiveCalls_; }
    HMENU SharedMenu() const { return sharedMenu_; }
    UINT ToolbarButtonsMerged() const { return toolbarButtons_; }

    // Creates the view's window in the frame; the browser keeps the view as
    // its active view until DestroyView.
    HRESULT ShowView(IShellView* view, UINT viewMode, UINT folderFlags, HWND* viewWindow);
    void DestroyView();
    IShellView* ActiveView() const { return view_; }

    // Dispatches everything waiting in this thread's queue.
    static void PumpMessages();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IShellBrowser
    STDMETHODIMP InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
    STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU olemenu, HWND activeObject) override;
    STDMETHODIMP RemoveMenusSB(HMENU shared) override;
    STDMETHODIMP SetStatusTextSB(LPCOLESTR text) override;
    STDMETHODIMP EnableModelessSB(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return S_FALSE; }
    STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) override;
    STDMETHODIMP GetViewStateStream(DWORD mode, IStream** stream) override;
    STDMETHODIMP GetControlWindow(UINT id, HWND* window) override;
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam,
                                LRESULT* result) override;
    STDMETHODIMP QueryActiveShellView(IShellView** view) override;
    STDMETHODIMP OnViewWindowActive(IShellView* view) override;
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT flags) override;

private:
    TestShellBrowser() = default;
    ~TestShellBrowser();

    LONG refs_ = 1;
    HWND frame_ = nullptr;
    HWND status_ = nullptr;
    HWND toolbar_ = nullptr;
    HWND tree_ = nullptr;
    bool hasTree_ = false;
    StoredState stored_ = StoredState::None;
    std::vector<BYTE> storedBytes_;
    IStream* written_ = nullptr;
    int readStreams_ = 0;
    IShellView* view_ = nullptr;
    HWND viewWindow_ = nullptr;
    HMENU sharedMenu_ = nullptr;
    UINT toolbarButtons_ = 0;
    int viewActiveCalls_ = 0;
    std::vector<BrowseCall> browseCalls_;
    std::vector<std::wstring> statusTexts_;
    std::vector<ControlMessage> controlMessages_;
};
