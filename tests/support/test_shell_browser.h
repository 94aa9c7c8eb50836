// What the view tests share: a shell browser of our own that hosts a view
// headless (a frame with a status bar, a view-state stream the test controls,
// a record of the navigations asked for), and helpers to read a list back.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/holders.h"
#include "item_id/module_item_id.h"

// Reading a hosted list back: one column's texts row by row, and the row
// whose name is `name` (-1 when there is none).
std::vector<std::wstring> ColumnTexts(HWND list, int column);
int RowOf(HWND list, const std::wstring& name);
// Double-clicks a row's label with the mouse messages a user's click sends.
void DoubleClickRow(HWND list, int row);
// Appends a 32-bit field of a view-state record as it lies in memory.
void Put32(std::vector<BYTE>* bytes, uint32_t value);

class TestShellBrowser final : public IShellBrowser {
public:
    struct BrowseCall {
        IdListHolder list;   // copy of the identifier list asked for (null for back/forward)
        UINT flags;
    };

    // Creates the frame (width x height client area) and its status bar.
    static HRESULT Create(int width, int height, TestShellBrowser** out);

    // Bytes the next read stream holds; until this is called reading fails.
    void SetStoredState(const std::vector<BYTE>& bytes);
    // What the view wrote through the last STGM_WRITE stream (empty when none).
    std::vector<BYTE> WrittenState() const;

    HWND Frame() const { return frame_; }
    HWND StatusBar() const { return status_; }
    // Texts of the status bar's parts as they stand now.
    std::wstring StatusPart(int part) const;
    const std::vector<BrowseCall>& BrowseCalls() const { return browseCalls_; }

    // Creates the view's window in the frame; the browser keeps the view
    // until DestroyView.
    HRESULT ShowView(IShellView* view, UINT viewMode, UINT folderFlags, HWND* viewWindow);
    void DestroyView();

    // Dispatches everything waiting in this thread's queue.
    static void PumpMessages();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override;
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IShellBrowser: what the view does not use answers E_NOTIMPL.
    STDMETHODIMP InsertMenusSB(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenuSB(HMENU, HOLEMENU, HWND) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveMenusSB(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusTextSB(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP EnableModelessSB(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return S_FALSE; }
    STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE list, UINT flags) override;
    STDMETHODIMP GetViewStateStream(DWORD mode, IStream** stream) override;
    STDMETHODIMP GetControlWindow(UINT id, HWND* window) override;
    STDMETHODIMP SendControlMsg(UINT, UINT, WPARAM, LPARAM, LRESULT*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryActiveShellView(IShellView**) override { return E_NOTIMPL; }
    STDMETHODIMP OnViewWindowActive(IShellView*) override { return S_OK; }
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB, UINT, UINT) override { return E_NOTIMPL; }

private:
    TestShellBrowser() = default;
    ~TestShellBrowser();

    LONG refs_ = 1;
    HWND frame_ = nullptr;
    HWND status_ = nullptr;
    bool hasStored_ = false;
    std::vector<BYTE> storedBytes_;
    Microsoft::WRL::ComPtr<IStream> written_;
    Microsoft::WRL::ComPtr<IShellView> view_;
    std::vector<BrowseCall> browseCalls_;
};
