// The information pane as the view hosts it with Explorer's "WebView"
// setting on: real messages to the view window, the list and the pane.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/formatting.h"
#include "common/module_count.h"
#include "common/resource_module.h"
#include "handlers/device_info.h"
#include "handlers/view_menus.h"
#include "resources/string_ids.h"
#include "server/object_map.h"
#include "tests/support/prompt_recorder.h"
#include "tests/support/test_shell_browser.h"
#include "testing/fake_module_access.h"
#include "view/module_view.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

const wchar_t kAdvancedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

// Explorer's setting, put back as it was when the test ends.
class WebViewSetting {
public:
    explicit WebViewSetting(DWORD value) {
        DWORD size = sizeof(old_);
        had_ = RegGetValueW(HKEY_CURRENT_USER, kAdvancedKey, L"WebView", RRF_RT_REG_DWORD, nullptr, &old_, &size) ==
               ERROR_SUCCESS;
        RegSetKeyValueW(HKEY_CURRENT_USER, kAdvancedKey, L"WebView", REG_DWORD, &value, sizeof(value));
    }
    ~WebViewSetting() {
        if (had_) RegSetKeyValueW(HKEY_CURRENT_USER, kAdvancedKey, L"WebView", REG_DWORD, &old_, sizeof(old_));
        else RegDeleteKeyValueW(HKEY_CURRENT_USER, kAdvancedKey, L"WebView");
    }

private:
    bool had_ = false;
    DWORD old_ = 0;
};

// The device-information server, answering with a model name.
class ModelServer : public DeviceInfo {
public:
    static std::wstring model;
    static HRESULT Create(DeviceInfo** out) {
        *out = new ModelServer();
        return S_OK;
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID_DeviceInfo) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs_;
        if (!left) delete this;
        return left;
    }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetModel(BSTR* out) override {
        *out = SysAllocString(model.c_str());
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetPorts(BSTR* text, LONG, LONG* mask) override {
        *text = nullptr;
        *mask = 0;
        return E_NOTIMPL;
    }

private:
    ULONG refs_ = 1;
};
std::wstring ModelServer::model;

struct Place {
    int x, y, width, height;
    bool operator==(const Place& o) const { return x == o.x && y == o.y && width == o.width && height == o.height; }
};
std::ostream& operator<<(std::ostream& out, const Place& p) {
    return out << "(" << p.x << ", " << p.y << ", " << p.width << " x " << p.height << ")";
}

// Where a child lies in its parent's client area.
Place PlaceOf(HWND child) {
    RECT rc = {};
    GetWindowRect(child, &rc);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rc), 2);
    return {rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

SCROLLINFO ScrollBar(HWND window, int bar) {
    SCROLLINFO info = {sizeof(info), SIF_ALL};
    GetScrollInfo(window, bar, &info);
    return info;
}

class InformationPaneTest : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        previousCreator_ = SetDeviceInfoCreator(&ModelServer::Create);
        ModelServer::model = L"ZR71";
        module_ = new FakeModuleAccess();
        Drive(L"A:", 1000000, 250000);
        Drive(L"B:", 64000, 0);
        module_->AddFile(L"\\A:\\a.txt", 100).modified = 40003;
        module_->AddFile(L"\\A:\\C.bin", 2000).modified = 40002;
        module_->AddFolder(L"\\A:\\Data").modified = 40004;
        module_->AddFolder(L"\\A:\\Many");
        for (int i = 0; i < 17; ++i)
            module_->AddFile((L"\\A:\\Many\\file" + std::to_wstring(i + 10) + L".txt").c_str(), 1000);
        scope_.reset(new FakeModuleAccessScope(module_));
        ASSERT_EQ(S_OK, TestShellBrowser::Create(640, 480, browser_.ReleaseAndGetAddressOf()));
        // Only a shown window gets painted.
        ShowWindow(browser_->Frame(), SW_SHOWNOACTIVATE);
    }

    void TearDown() override {
        browser_->DestroyView();
        view_.Reset();
        browser_.Reset();
        scope_.reset();
        module_->Release();
        SetDeviceInfoCreator(previousCreator_);
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
        if (objectsBefore_ == 0) {
            EXPECT_EQ(S_OK, CanUnloadModule());
        }
    }

    // A drive keeps its capacity in the size field and its free bytes in the time field.
    void Drive(const wchar_t* letterColon, DWORD capacity, DWORD freeBytes) {
        FakeModuleAccess::Entry& drive = module_->AddDrive(letterColon, capacity, freeBytes);
        drive.size = capacity;
        drive.modified = freeBytes;
    }

    HRESULT Show(const wchar_t* path) {
        EXPECT_EQ(S_OK, ModuleView::Create(view_.ReleaseAndGetAddressOf()));
        EXPECT_EQ(S_OK, view_->InitForFolderPath(path, nullptr, browser_->Frame()));
        HRESULT hr = browser_->ShowView(view_.Get(), FVM_DETAILS, FWF_AUTOARRANGE, &viewWindow_);
        TestShellBrowser::PumpMessages();
        return hr;
    }

    HWND Pane() const { return GetDlgItem(viewWindow_, 2); }
    HWND List() const { return view_->ListWindow(); }

    // Gives the view window a client area of width x height, as a browser
    // resizing it does.
    void Resize(int width, int height) {
        RECT window = {}, client = {};
        GetWindowRect(viewWindow_, &window);
        GetClientRect(viewWindow_, &client);
        SetWindowPos(viewWindow_, nullptr, 0, 0, width + (window.right - window.left) - client.right,
                     height + (window.bottom - window.top) - client.bottom, SWP_NOMOVE | SWP_NOZORDER);
        TestShellBrowser::PumpMessages();
    }

    // Selects exactly the rows named, as clicks would, and lets the view
    // follow.
    void Select(std::initializer_list<const wchar_t*> names) {
        ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
        for (const wchar_t* name : names) ListView_SetItemState(List(), RowOf(List(), name), LVIS_SELECTED, LVIS_SELECTED);
        TestShellBrowser::PumpMessages();
    }

    std::vector<std::wstring> PaneTexts() const {
        std::vector<std::wstring> texts;
        for (const PaneLine& line : view_->Pane().Painted().lines) texts.push_back(line.text);
        return texts;
    }
    std::wstring Cell(const wchar_t* name, int column) const {
        return ColumnTexts(List(), column).at(RowOf(List(), name));
    }

    LONG objectsBefore_ = 0;
    DeviceInfoCreator previousCreator_ = nullptr;
    FakeModuleAccess* module_ = nullptr;
    std::unique_ptr<FakeModuleAccessScope> scope_;
    ComPtr<TestShellBrowser> browser_;
    ComPtr<ModuleView> view_;
    HWND viewWindow_ = nullptr;
    PromptRecorder prompts_;
};

}  // namespace

TEST_F(InformationPaneTest, PaneStandsBesideTheListFromFourHundredPixelsAndIsABandBelow) {
    WebViewSetting webView(1);
    ASSERT_EQ(S_OK, Show(L"\\A:"));
    HWND pane = Pane();
    ASSERT_TRUE(pane);
    EXPECT_EQ(L"KTX_WEBVIEW_CLASS_NAME", ClassOf(pane));
    LONG style = GetWindowLongW(pane, GWL_STYLE);
    EXPECT_EQ(WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE,
              style & (WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL | WS_VISIBLE | WS_POPUP));

    Resize(400, 300);
    EXPECT_EQ((Place{0, 0, 120, 300}), PlaceOf(pane));
    EXPECT_EQ((Place{120, 0, 280, 300}), PlaceOf(List()));
    EXPECT_TRUE(view_->Pane().FullPane());

    Resize(399, 300);
    EXPECT_EQ((Place{0, 0, 399, 32}), PlaceOf(pane));
    EXPECT_EQ((Place{0, 32, 399, 268}), PlaceOf(List()));
    EXPECT_FALSE(view_->Pane().FullPane());
    for (int bar : {SB_HORZ, SB_VERT}) {
        SCROLLINFO info = ScrollBar(pane, bar);
        EXPECT_EQ(0, info.nMax);
        EXPECT_EQ(0u, info.nPage);
        EXPECT_EQ(0, info.nPos);
    }
    // The band shows the title alone.
    view_->Refresh();
    InvalidateRect(pane, nullptr, TRUE);
    UpdateWindow(pane);
    EXPECT_EQ(Resources().LoadString(IDS_MODULE_DISK) + L" (A:)", view_->Pane().Painted().title);
    EXPECT_EQ(0, view_->Pane().ContentSize().cy);

    // WebView off puts the pane out of sight and gives the list everything.
    view_->SetWebView(false);
    EXPECT_EQ((Place{-16000, -16000, 10, 10}), PlaceOf(pane));
    EXPECT_EQ((Place{0, 0, 399, 300}), PlaceOf(List()));
    view_->SetWebView(true);
    EXPECT_EQ((Place{0, 0, 399, 32}), PlaceOf(pane));
    Resize(1000, 300);
    EXPECT_EQ((Place{0, 0, 300, 300}), PlaceOf(pane));

    EXPECT_EQ(S_OK, view_->DestroyViewWindow());
    EXPECT_FALSE(IsWindow(pane));
}

TEST_F(InformationPaneTest, WithWebViewOffThePaneExistsOutOfSightUntilARefreshReadsTheSetting) {
    std::unique_ptr<WebViewSetting> setting(new WebViewSetting(0));
    ASSERT_EQ(S_OK, Show(L"\\A:"));
    ASSERT_TRUE(Pane());
    EXPECT_EQ((Place{-16000, -16000, 10, 10}), PlaceOf(Pane()));
    RECT client = {};
    GetClientRect(viewWindow_, &client);
    EXPECT_EQ((Place{0, 0, client.right, client.bottom}), PlaceOf(List()));

    setting.reset();
    setting.reset(new WebViewSetting(1));
    EXPECT_EQ(S_OK, view_->Refresh());
    EXPECT_TRUE(view_->WebView());
    EXPECT_EQ((Place{0, 0, client.right * 30 / 100, client.bottom}), PlaceOf(Pane()));
}

TEST_F(InformationPaneTest, TextsFollowTheSelection) {
    WebViewSetting webView(1);
    ASSERT_EQ(S_OK, Show(L"\\A:"));
    const std::wstring title = Resources().LoadString(IDS_MODULE_DISK) + L" (A:)";
    EXPECT_EQ(title, view_->Pane().Painted().title);
    EXPECT_THAT(PaneTexts(), ElementsAre(Resources().LoadString(IDS_PANE_SELECT_HINT)));

    // One file: name, type, "Modified:", the date and the size, as the list shows them.
    Select({L"C.bin"});
    EXPECT_THAT(PaneTexts(), ElementsAre(L"C.bin", Cell(L"C.bin", 2), Resources().LoadString(IDS_PANE_MODIFIED),
                                         Cell(L"C.bin", 3),
                                         Resources().FormatString(IDS_PANE_SIZE, {Cell(L"C.bin", 1)})));
    // A folder has no size line.
    Select({L"Data"});
    EXPECT_THAT(PaneTexts(), ElementsAre(L"Data", Cell(L"Data", 2), Resources().LoadString(IDS_PANE_MODIFIED),
                                         Cell(L"Data", 3)));
    // Several: the count, the files' total (the folder not counted) and the names in list order.
    Select({L"a.txt", L"Data", L"C.bin"});
    EXPECT_THAT(PaneTexts(), ElementsAre(Resources().FormatString(IDS_PANE_ITEMS_SELECTED, {3}),
                                         Resources().LoadString(IDS_PANE_TOTAL_FILE_SIZE), FormatByteSize(2100),
                                         L"Data", L"a.txt", L"C.bin"));
    Select({});
    EXPECT_THAT(PaneTexts(), ElementsAre(Resources().LoadString(IDS_PANE_SELECT_HINT)));
    EXPECT_EQ(title, view_->Pane().Painted().title);
}

TEST_F(InformationPaneTest, SixteenSelectedRowsAreNamedSeventeenAreNot) {
    WebViewSetting webView(1);
    ASSERT_EQ(S_OK, Show(L"\\A:\\Many"));
    EXPECT_EQ(L"Many", view_->Pane().Painted().title);
    ListView_SetItemState(List(), -1, LVIS_SELECTED, LVIS_SELECTED);
    TestShellBrowser::PumpMessages();
    EXPECT_THAT(PaneTexts(), ElementsAre(Resources().FormatString(IDS_PANE_ITEMS_SELECTED, {17}),
                                         Resources().LoadString(IDS_PANE_TOTAL_FILE_SIZE), FormatByteSize(17000)));
    ListView_SetItemState(List(), 16, 0, LVIS_SELECTED);
    TestShellBrowser::PumpMessages();
    std::vector<std::wstring> texts = PaneTexts();
    ASSERT_EQ(3u + 16u, texts.size());
    EXPECT_EQ(Resources().FormatString(IDS_PANE_ITEMS_SELECTED, {16}), texts[0]);
    EXPECT_EQ(L"file10.txt", texts[3]);
    EXPECT_EQ(L"file25.txt", texts.back());
}

TEST_F(InformationPaneTest, RootTitleNamesTheModelAndADriveGetsItsFiguresAndPie) {
    WebViewSetting webView(1);
    ModelServer::model = L"ZP03";
    ASSERT_EQ(S_OK, Show(L""));
    EXPECT_EQ(Resources().LoadString(IDS_MODULE) + L" ZP03", view_->Pane().Painted().title);
    EXPECT_FALSE(view_->Pane().Painted().pie);

    const std::wstring disk = Resources().LoadString(IDS_MODULE_DISK);
    Select({(disk + L" (A:)").c_str()});
    const PaneContent& painted = view_->Pane().Painted();
    EXPECT_TRUE(painted.pie);
    EXPECT_EQ(1000000u, painted.capacity);
    EXPECT_EQ(250000u, painted.freeBytes);
    std::wstring capacity = ColumnTexts(List(), 2).at(0), free = ColumnTexts(List(), 3).at(0);
    EXPECT_THAT(PaneTexts(), ElementsAre(disk + L" (A:)", disk,
                                         Resources().LoadString(IDS_PANE_CAPACITY) + L": " + capacity,
                                         Resources().LoadString(IDS_PANE_USED) + L": " + FormatByteSize(750000),
                                         Resources().LoadString(IDS_PANE_FREE) + L": " + free));

    // Both drives: no sizes at the root, the names as the list writes them.
    ListView_SetItemState(List(), -1, LVIS_SELECTED, LVIS_SELECTED);
    TestShellBrowser::PumpMessages();
    EXPECT_THAT(PaneTexts(), ElementsAre(Resources().FormatString(IDS_PANE_ITEMS_SELECTED, {2}), disk + L" (A:)",
                                         disk + L" (B:)"));

    // A long model name is cut to 31 characters.
    ModelServer::model = std::wstring(40, L'X');
    InvalidateRect(Pane(), nullptr, TRUE);
    UpdateWindow(Pane());
    EXPECT_EQ(Resources().LoadString(IDS_MODULE) + L" " + std::wstring(31, L'X'), view_->Pane().Painted().title);
}

TEST_F(InformationPaneTest, ScrollRangesFollowTheDrawnContentAndScrollMessagesMoveIt) {
    WebViewSetting webView(1);
    ASSERT_EQ(S_OK, Show(L"\\A:\\Many"));
    Resize(500, 120);
    HWND pane = Pane();
    ASSERT_TRUE(view_->Pane().FullPane());
    // The hint fits the width: no horizontal range. The height does not fit.
    SCROLLINFO horizontal = ScrollBar(pane, SB_HORZ);
    EXPECT_EQ(0, horizontal.nMax);
    ListView_SetItemState(List(), -1, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(List(), 0, 0, LVIS_SELECTED);
    TestShellBrowser::PumpMessages();
    SIZE content = view_->Pane().ContentSize();
    SCROLLINFO vertical = ScrollBar(pane, SB_VERT);
    EXPECT_GT(content.cy, 120);
    EXPECT_EQ(0, vertical.nMin);
    EXPECT_EQ(content.cy, vertical.nMax);
    EXPECT_EQ(120u, vertical.nPage);
    EXPECT_EQ(0, vertical.nPos);

    const int last = content.cy - 120 + 1;
    SendMessageW(pane, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(8, ScrollBar(pane, SB_VERT).nPos);
    SendMessageW(pane, WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(128 <= last ? 128 : last, ScrollBar(pane, SB_VERT).nPos);
    // "Bottom" and "top" move by a step, as the lines do.
    SendMessageW(pane, WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(136 <= last ? 136 : last, ScrollBar(pane, SB_VERT).nPos);
    SendMessageW(pane, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 1000), 0);
    EXPECT_EQ(last, ScrollBar(pane, SB_VERT).nPos);
    SendMessageW(pane, WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(last, ScrollBar(pane, SB_VERT).nPos);
    SendMessageW(pane, WM_VSCROLL, SB_ENDSCROLL, 0);
    EXPECT_EQ(last, ScrollBar(pane, SB_VERT).nPos);
    SendMessageW(pane, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 5), 0);
    EXPECT_EQ(5, ScrollBar(pane, SB_VERT).nPos);
    SendMessageW(pane, WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(0, ScrollBar(pane, SB_VERT).nPos);
    // Scrolled, the texts are painted again and measure the same.
    EXPECT_EQ(content.cy, view_->Pane().ContentSize().cy);

    // Taller than the content: the bar is cleared again.
    Resize(500, content.cy + 50);
    EXPECT_EQ(0, ScrollBar(pane, SB_VERT).nMax);
}

TEST_F(InformationPaneTest, ALongWordInTheTitleWidensTheContentAndGivesAHorizontalRange) {
    WebViewSetting webView(1);
    module_->AddFolder(L"\\A:\\Averyveryverylongfoldernamewithoutanybreakatall");
    ASSERT_EQ(S_OK, Show(L"\\A:\\Averyveryverylongfoldernamewithoutanybreakatall"));
    Resize(400, 300);
    SIZE content = view_->Pane().ContentSize();
    const int page = 120 - GetSystemMetrics(SM_CXVSCROLL);
    ASSERT_GT(content.cx, page);
    SCROLLINFO horizontal = ScrollBar(Pane(), SB_HORZ);
    EXPECT_EQ(content.cx, horizontal.nMax);
    EXPECT_EQ(static_cast<UINT>(page), horizontal.nPage);
    SendMessageW(Pane(), WM_HSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(20, ScrollBar(Pane(), SB_HORZ).nPos);
}

TEST_F(InformationPaneTest, RightClickOnThePaneOpensTheBackgroundMenu) {
    WebViewSetting webView(1);
    for (const wchar_t* path : {L"\\A:", L""}) {
        ASSERT_EQ(S_OK, Show(path));
        // A helper thread reads the menu that opens and closes it.
        std::atomic<HMENU> shown{nullptr};
        std::atomic<bool> done{false};
        std::thread closer([&] {
            for (int i = 0; i < 500 && !done; ++i) {
                HWND menu = FindWindowW(L"#32768", nullptr);
                if (menu && IsWindowVisible(menu)) {
                    shown = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
                    PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
                    return;
                }
                Sleep(20);
            }
        });
        SendMessageW(Pane(), WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
        done = true;
        closer.join();
        EXPECT_EQ(ViewMenuPopup(*path ? kPopupView : kPopupDiskView), shown.load()) << "in " << *path;
        browser_->DestroyView();
    }
}
