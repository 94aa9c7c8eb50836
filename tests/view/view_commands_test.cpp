// The view's menus, toolbar, keys and commands, hosted in a browser that has
// what Explorer gives a view: a menu bar with File, Edit, View and Help, a
// toolbar and a status bar. Everything is driven by real messages.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/module_count.h"
#include "common/resource_module.h"
#include "handlers/operation_hooks.h"
#include "resources/command_ids.h"
#include "resources/icon_ids.h"
#include "resources/search_ids.h"
#include "resources/string_ids.h"
#include "tests/support/extension_library.h"
#include "testing/browser_menus.h"
#include "testing/fake_module_access.h"
#include "tests/support/prompt_recorder.h"
#include "tests/support/test_shell_browser.h"
#include "module_access/listing.h"
#include "view/module_view.h"
#include "view/search_results_host.h"
#include "handlers/view_menus.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

// The browser's own File-menu items, by the ids the view knows them by.
constexpr UINT kBrowserFileIds[] = {40995, 40996, 40997, 40998, 41029};

// What the commands started, instead of the operations themselves.
struct RecordedOperations : OperationTable {
    std::vector<std::wstring> calls;
    bool canPaste = false;
    HRESULT CutOrCopy(const std::wstring& folder, IUnknown*, const LPCITEMIDLIST* items, UINT count, DWORD effect,
                      IModuleChangeSink*) override {
        std::wstring call = (effect == DROPEFFECT_MOVE ? L"cut " : L"copy ") + folder;
        for (UINT i = 0; i < count; ++i) call += L" " + std::wstring(ItemPath(items[i]));
        calls.push_back(call);
        return S_OK;
    }
    bool CanPaste() override { return canPaste; }
    HRESULT Paste(const std::wstring& destination, HWND) override {
        calls.push_back(L"paste " + destination);
        return S_OK;
    }
    HRESULT PropertySheet(const std::wstring& folder, const LPCITEMIDLIST* items, UINT count,
                          PropertySheetReady* ready) override {
        std::wstring call = L"properties " + folder;
        for (UINT i = 0; i < count; ++i) call += L" " + std::wstring(ItemPath(items[i]));
        calls.push_back(call);
        ready->SheetReady(S_OK);
        return S_OK;
    }
    HRESULT Help(UINT id, HWND) override {
        calls.push_back(L"help " + std::to_wstring(id));
        return S_OK;
    }
    HRESULT SearchWindow(const wchar_t*, const wchar_t* lookIn) override {
        calls.push_back(L"search " + std::wstring(lookIn ? lookIn : L"-"));
        return S_OK;
    }
};

// Explorer's side of the view: its menus, toolbar and status bar are real
// windows and menus, so the view's merging can be read back from them.
class ExplorerLikeBrowser final : public IShellBrowser {
public:
    ExplorerLikeBrowser() {
        frame_ = CreateWindowExW(0, L"STATIC", L"browser", WS_OVERLAPPEDWINDOW, 0, 0, 700, 500, nullptr, nullptr,
                                 nullptr, nullptr);
        toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, 0, 0, 0,
                                   0, frame_, nullptr, nullptr, nullptr);
        status_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame_, nullptr,
                                  nullptr, nullptr);
        SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    }
    ~ExplorerLikeBrowser() { DestroyWindow(frame_); }

    HRESULT ShowView(IShellView* view, HWND* window) {
        view_ = view;
        FOLDERSETTINGS settings = {FVM_DETAILS, FWF_AUTOARRANGE};
        RECT rect = {0, 30, 600, 400};
        return view->CreateViewWindow(nullptr, &settings, this, &rect, window);
    }
    void DestroyView() {
        if (view_) view_->DestroyViewWindow();
        view_.Reset();
    }

    HWND frame_, toolbar_, status_;
    HMENU menuBar_ = nullptr;   // what SetMenuSB installed
    std::vector<UINT> browseFlags;
    ComPtr<IShellView> view_;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IOleWindow || iid == IID_IShellBrowser) {
            *out = static_cast<IShellBrowser*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetWindow(HWND* window) override {
        *window = frame_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InsertMenusSB(HMENU shared, LPOLEMENUGROUPWIDTHS) override {
        InsertBrowserMenus(shared);
        return S_OK;
    }
    STDMETHODIMP SetMenuSB(HMENU shared, HOLEMENU, HWND) override {
        menuBar_ = shared;
        return S_OK;
    }
    STDMETHODIMP RemoveMenusSB(HMENU shared) override {
        while (GetMenuItemCount(shared) > 0) DeleteMenu(shared, 0, MF_BYPOSITION);
        return S_OK;
    }
    STDMETHODIMP SetStatusTextSB(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP EnableModelessSB(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAcceleratorSB(MSG*, WORD) override { return S_FALSE; }
    STDMETHODIMP BrowseObject(PCUIDLIST_RELATIVE, UINT flags) override {
        browseFlags.push_back(flags);
        return S_OK;
    }
    STDMETHODIMP GetViewStateStream(DWORD, IStream**) override { return E_FAIL; }
    STDMETHODIMP GetControlWindow(UINT id, HWND* window) override {
        *window = id == FCW_STATUS ? status_ : id == FCW_TOOLBAR ? toolbar_ : nullptr;
        return *window ? S_OK : E_FAIL;
    }
    STDMETHODIMP SendControlMsg(UINT id, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override {
        HWND window = nullptr;
        if (FAILED(GetControlWindow(id, &window))) return E_FAIL;
        LRESULT r = SendMessageW(window, message, wParam, lParam);
        if (result) *result = r;
        return S_OK;
    }
    STDMETHODIMP QueryActiveShellView(IShellView**) override { return E_NOTIMPL; }
    STDMETHODIMP OnViewWindowActive(IShellView*) override { return S_OK; }
    STDMETHODIMP SetToolbarItems(LPTBBUTTONSB buttons, UINT count, UINT) override {
        if (buttons && count)
            SendMessageW(toolbar_, TB_ADDBUTTONSW, count, reinterpret_cast<LPARAM>(buttons));
        return S_OK;
    }

    HMENU Popup(UINT id) const { return SubmenuWithId(menuBar_, id); }
    std::vector<std::wstring> Texts(HMENU menu) const {
        std::vector<std::wstring> texts;
        for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
            wchar_t text[128] = {};
            GetMenuStringW(menu, i, text, ARRAYSIZE(text), MF_BYPOSITION);
            texts.push_back(GetMenuState(menu, i, MF_BYPOSITION) & MF_SEPARATOR ? L"-" : text);
        }
        return texts;
    }
    std::wstring StatusText() const {
        wchar_t text[256] = {};
        // In simple mode the platform's status bar answers for the simple part as part 0.
        SendMessageW(status_, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
        return text;
    }
    bool Enabled(UINT id) const { return SendMessageW(toolbar_, TB_ISBUTTONENABLED, id, 0) != 0; }
};

bool Grayed(HMENU menu, UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; }
bool Checked(HMENU menu, UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

class ViewCommands : public testing::Test {
protected:
    void SetUp() override {
        Resources().Set(GetModuleHandleW(nullptr), kLangEnglishUs);
        objectsBefore_ = ModuleObjectCount();
        module_ = new FakeModuleAccess();
        module_->AddDrive(L"A:", 1000000, 250000);
        module_->AddDrive(L"B:", 64000, 0);
        module_->AddFile(L"\\A:\\a.txt", 100, FILE_ATTRIBUTE_ARCHIVE);
        module_->AddFile(L"\\A:\\b.txt", 200, FILE_ATTRIBUTE_ARCHIVE);
        module_->AddFolder(L"\\A:\\Data");
        scope_.reset(new FakeModuleAccessScope(module_));
        previous_ = InstallOperationTable(&operations_);
    }
    void TearDown() override {
        browser_.DestroyView();
        view_.Reset();
        InstallOperationTable(previous_);
        scope_.reset();
        module_->Release();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    void Show(const wchar_t* path) {
        ASSERT_EQ(S_OK, ModuleView::Create(view_.ReleaseAndGetAddressOf()));
        ASSERT_EQ(S_OK, view_->InitForFolderPath(path, nullptr, browser_.frame_));
        ASSERT_EQ(S_OK, browser_.ShowView(view_.Get(), &window_));
        ASSERT_EQ(S_OK, view_->UIActivate(SVUIA_ACTIVATE_FOCUS));
    }
    HWND List() const { return view_->ListWindow(); }
    void Select(std::vector<const wchar_t*> names) {
        ListView_SetItemState(List(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
        for (const wchar_t* name : names) {
            int row = RowOf(List(), name);
            ListView_SetItemState(List(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        }
    }
    void OpenMenu(HMENU popup) { SendMessageW(window_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0); }
    void Command(UINT id, UINT code = 0) { SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, code), 0); }
    // A key as the browser's message loop hands it to the view.
    HRESULT Key(UINT vk, bool control = false, bool shift = false, bool alt = false) {
        BYTE keys[256] = {};
        if (control) keys[VK_CONTROL] = 0x80;
        if (shift) keys[VK_SHIFT] = 0x80;
        if (alt) keys[VK_MENU] = 0x80;
        SetKeyboardState(keys);
        MSG msg = {GetFocus(), static_cast<UINT>(alt ? WM_SYSKEYDOWN : WM_KEYDOWN), vk, alt ? (1 << 29) : 0};
        HRESULT hr = view_->TranslateAccelerator(&msg);
        BYTE none[256] = {};
        SetKeyboardState(none);
        return hr;
    }

    LONG objectsBefore_ = 0;
    FakeModuleAccess* module_ = nullptr;
    std::unique_ptr<FakeModuleAccessScope> scope_;
    RecordedOperations operations_;
    OperationTable* previous_ = nullptr;
    ExplorerLikeBrowser browser_;
    ComPtr<ModuleView> view_;
    HWND window_ = nullptr;
    PromptRecorder prompts_;
};

}  // namespace

TEST_F(ViewCommands, MenusMergeIntoTheBrowsersEditViewAndHelpMenus) {
    Show(L"\\A:\\Data");
    ASSERT_TRUE(browser_.menuBar_);
    EXPECT_THAT(browser_.Texts(browser_.Popup(FCIDM_MENU_EDIT)),
                ElementsAre(L"Cu&t\tCtrl+X", L"&Copy\tCtrl+C", L"&Paste\tCtrl+V", L"-", L"Select &All\tCtrl+A",
                            L"&Invert Selection"));
    EXPECT_THAT(browser_.Texts(browser_.Popup(FCIDM_MENU_HELP)),
                ElementsAre(L"&Help Topics", L"-", L"Info about &Module", L"-", L"About the browser"));
    HMENU view = browser_.Popup(FCIDM_MENU_VIEW);
    EXPECT_THAT(browser_.Texts(view),
                ElementsAre(L"Toolbar", L"-", L"Lar&ge Icons", L"S&mall Icons", L"&List", L"&Details", L"-",
                            L"Arrange &Icons", L"Snap to &Grid", L"-", L"Options"));
    // Details mode: its item carries the radio mark; snapping is for icon modes.
    EXPECT_TRUE(Checked(view, CMD_VIEW_DETAILS));
    EXPECT_FALSE(Checked(view, CMD_VIEW_LARGE_ICONS));
    EXPECT_TRUE(Grayed(view, CMD_SNAP_TO_GRID));

    // Highlighting an item shows its help in the status bar; the arrange
    // submenu shows its own text; leaving the menu ends the help.
    SendMessageW(window_, WM_MENUSELECT, MAKEWPARAM(CMD_VIEW_DETAILS - 3, MF_HILITE), reinterpret_cast<LPARAM>(view));
    EXPECT_TRUE(SendMessageW(browser_.status_, SB_ISSIMPLE, 0, 0));
    EXPECT_EQ(browser_.StatusText(), L"Displays objects as large icons.");
    SendMessageW(window_, WM_MENUSELECT, MAKEWPARAM(7, MF_HILITE | MF_POPUP), reinterpret_cast<LPARAM>(view));
    EXPECT_EQ(browser_.StatusText(), L"Contains commands for arranging the icons within a window.");
    SendMessageW(window_, WM_MENUSELECT, MAKEWPARAM(kBrowserToolbarItem, MF_HILITE), reinterpret_cast<LPARAM>(view));
    EXPECT_EQ(browser_.StatusText(), L"");
    SendMessageW(window_, WM_EXITMENULOOP, 0, 0);
    EXPECT_FALSE(SendMessageW(browser_.status_, SB_ISSIMPLE, 0, 0));

    // A view-mode command changes the list and the marks.
    Command(CMD_VIEW_LARGE_ICONS);
    EXPECT_EQ(GetWindowLongW(List(), GWL_STYLE) & LVS_TYPEMASK, LVS_ICON);
    EXPECT_TRUE(Checked(view, CMD_VIEW_LARGE_ICONS));
    EXPECT_FALSE(Grayed(view, CMD_SNAP_TO_GRID));
    EXPECT_TRUE(SendMessageW(browser_.toolbar_, TB_ISBUTTONCHECKED, CMD_VIEW_LARGE_ICONS, 0));

    // Deactivation takes the menus away again.
    EXPECT_EQ(S_OK, view_->UIActivate(SVUIA_DEACTIVATE));
    EXPECT_EQ(browser_.menuBar_, nullptr);
}

TEST_F(ViewCommands, EditAndFileMenusFollowTheSelectionAndTheFocus) {
    Show(L"\\A:");
    HMENU edit = browser_.Popup(FCIDM_MENU_EDIT);
    HMENU file = browser_.Popup(FCIDM_MENU_FILE);
    struct Case {
        std::vector<const wchar_t*> selected;
        bool cutCopy;
        std::vector<std::wstring> fileTop;
    } cases[] = {
        {{L"a.txt"}, true, {L"New &Folder", L"-", L"&Delete", L"Rena&me", L"P&roperties", L"-"}},
        {{L"a.txt", L"Data"}, true, {L"&Open", L"E&xplorer", L"&Find on module file system...", L"-"}},
        {{}, false, {L"New &Folder", L"-", L"P&roperties", L"-"}},
    };
    for (const Case& c : cases) {
        SetFocus(List());
        Select(c.selected);
        OpenMenu(edit);
        EXPECT_EQ(Grayed(edit, CMD_CUT), !c.cutCopy) << c.selected.size();
        EXPECT_EQ(Grayed(edit, CMD_COPY), !c.cutCopy);
        OpenMenu(file);
        std::vector<std::wstring> texts = browser_.Texts(file);
        texts.resize(std::min(texts.size(), c.fileTop.size()));
        EXPECT_EQ(texts, c.fileTop);
        for (UINT id : kBrowserFileIds) {
            if (id == 40997) continue;
            EXPECT_EQ(GetMenuState(file, id, MF_BYCOMMAND), static_cast<UINT>(-1));
        }
    }
    // Paste follows the clipboard test.
    operations_.canPaste = true;
    OpenMenu(edit);
    EXPECT_FALSE(Grayed(edit, CMD_PASTE));

    // The focus outside the view: the commands concern the drive itself.
    SetFocus(browser_.frame_);
    OpenMenu(edit);
    EXPECT_TRUE(Grayed(edit, CMD_CUT));
    OpenMenu(file);
    EXPECT_THAT(browser_.Texts(file), ElementsAre(L"E&xplorer", L"&Open", L"&Find on module file system...", L"-",
                                                  L"F&ormat...", L"Create &Standard Folders", L"-", L"P&roperties",
                                                  L"-", L"Delete", L"Rename", L"Properties", L"-"));
    for (UINT id : {41029u, 40995u, 40996u}) EXPECT_TRUE(Grayed(file, id));
}

TEST_F(ViewCommands, ToolbarButtonsTooltipsAndTheirStates) {
    Show(L"\\A:\\Data");
    EXPECT_EQ(SendMessageW(browser_.toolbar_, TB_BUTTONCOUNT, 0, 0), 10);
    TBBUTTON separator = {};
    SendMessageW(browser_.toolbar_, TB_GETBUTTON, 5, reinterpret_cast<LPARAM>(&separator));
    EXPECT_TRUE(separator.fsStyle & BTNS_SEP);
    // Focus in the list of a folder view: Cut, Copy and Delete act; Paste waits for the clipboard.
    SetFocus(List());
    view_->UIActivate(SVUIA_ACTIVATE_FOCUS);
    EXPECT_TRUE(browser_.Enabled(CMD_CUT));
    EXPECT_TRUE(browser_.Enabled(CMD_DELETE));
    EXPECT_FALSE(browser_.Enabled(CMD_PASTE));
    EXPECT_TRUE(browser_.Enabled(CMD_PROPERTIES));

    const std::pair<UINT, const wchar_t*> tips[] = {
        {CMD_CUT, L"Cut"}, {CMD_PASTE, L"Paste"}, {CMD_VIEW_DETAILS, L"Details"}, {CMD_PROPERTIES, L"Properties"}};
    for (const auto& tip : tips) {
        NMTTDISPINFOW info = {};
        info.hdr.code = TTN_NEEDTEXTW;
        info.hdr.idFrom = tip.first;
        SendMessageW(window_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
        ASSERT_TRUE(info.lpszText);
        EXPECT_STREQ(info.lpszText, tip.second);
    }
    NMTTDISPINFOA narrow = {};
    narrow.hdr.code = TTN_NEEDTEXTA;
    narrow.hdr.idFrom = CMD_COPY;
    SendMessageW(window_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&narrow));
    EXPECT_STREQ(narrow.lpszText, "Copy");
}

TEST_F(ViewCommands, KeysGoThroughTheTablesAndStartTheirCommands) {
    Show(L"\\A:");
    SetFocus(List());
    Select({L"a.txt"});
    EXPECT_EQ(S_OK, Key('C', true));
    EXPECT_EQ(S_OK, Key('X', true));
    EXPECT_EQ(S_OK, Key(VK_INSERT, false, true));
    EXPECT_EQ(S_OK, Key(VK_F1));
    EXPECT_EQ(S_FALSE, Key('Q', true));
    TestShellBrowser::PumpMessages();
    EXPECT_THAT(operations_.calls,
                ElementsAre(L"copy \\A: \\A:\\a.txt", L"cut \\A: \\A:\\a.txt", L"paste \\A:", L"help 8390"));
    EXPECT_TRUE(ListView_GetItemState(List(), RowOf(List(), L"a.txt"), LVIS_CUT));

    // Enter on a file refuses to open it; Ctrl+A selects every row.
    EXPECT_EQ(S_OK, Key(VK_RETURN));
    ASSERT_EQ(prompts_.Count(), 1u);
    EXPECT_EQ(prompts_.Last().text, Resources().LoadString(IDS_ERR_CANNOT_OPEN_FILE));
    EXPECT_EQ(S_OK, Key('A', true));
    EXPECT_EQ(ListView_GetSelectedCount(List()), 3u);

    // Outside the view only F1 is a key of ours.
    operations_.calls.clear();
    SetFocus(browser_.frame_);
    EXPECT_EQ(S_FALSE, Key('C', true));
    EXPECT_EQ(S_OK, Key(VK_F1));
    EXPECT_THAT(operations_.calls, ElementsAre(L"help 8390"));
    EXPECT_EQ(E_POINTER, view_->TranslateAccelerator(nullptr));

    // A browser that never offers keys to the view: the list's own keys
    // still reach the commands, and other keys stay the list's.
    operations_.calls.clear();
    SetFocus(List());
    Select({L"a.txt"});
    BYTE keys[256] = {};
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageW(List(), WM_KEYDOWN, 'C', 0);
    BYTE none[256] = {};
    SetKeyboardState(none);
    SendMessageW(List(), WM_KEYDOWN, VK_F1, 0);
    SendMessageW(List(), WM_KEYDOWN, VK_END, 0);
    TestShellBrowser::PumpMessages();
    EXPECT_THAT(operations_.calls, ElementsAre(L"copy \\A: \\A:\\a.txt", L"help 8390"));
    EXPECT_EQ(ListView_GetNextItem(List(), -1, LVNI_FOCUSED), ListView_GetItemCount(List()) - 1);
}

TEST_F(ViewCommands, CommandsActOnTheSelectionOrOnTheFolderItself) {
    Show(L"\\A:");
    SetFocus(List());
    Select({L"Data"});
    Command(CMD_PROPERTIES);
    Command(CMD_FIND);
    Command(CMD_HELP_TOPICS);
    // The new folder's name is edited at once; the user leaves it with Escape.
    static HWND list;
    list = List();
    SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
        HWND edit = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETEDITCONTROL, 0, 0));
        if (!edit) return;
        KillTimer(nullptr, id);
        PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    Command(CMD_NEW_FOLDER);
    EXPECT_THAT(operations_.calls,
                ElementsAre(L"properties \\A: \\A:\\Data", L"search \\A:\\Data", L"help 8270"));
    EXPECT_EQ(module_->CountCalls(L"CreateFolder"), 1u);
    EXPECT_GE(RowOf(List(), L"New folder"), 0);

    // Unknown ids and ids outside the command range do nothing.
    operations_.calls.clear();
    Command(9000);
    Command(8300 + 200);
    EXPECT_TRUE(operations_.calls.empty());

    // Focus elsewhere: Properties of the folder alone.
    SetFocus(browser_.frame_);
    Command(CMD_PROPERTIES);
    EXPECT_THAT(operations_.calls, ElementsAre(L"properties \\A:"));
}

TEST_F(ViewCommands, RootViewOnlyBeepsForNewFolderAndOffersTheDriveMenus) {
    Show(L"");
    SetFocus(List());
    Command(CMD_NEW_FOLDER);
    EXPECT_EQ(module_->CountCalls(L"CreateFolder"), 0u);
    // A drive cannot be cut or copied.
    ListView_SetItemState(List(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    HMENU edit = browser_.Popup(FCIDM_MENU_EDIT);
    OpenMenu(edit);
    EXPECT_TRUE(Grayed(edit, CMD_CUT));
    EXPECT_TRUE(Grayed(edit, CMD_COPY));
    EXPECT_EQ(view_->ContextPopupFor(nullptr), kPopupDiskView);
    EXPECT_EQ(view_->ContextPopupFor(view_->RowItem(0)), kPopupDisk);
    // The root's arrange popup sorts drives by size and free space.
    HMENU arrange = GetSubMenu(browser_.Popup(FCIDM_MENU_VIEW), 7);
    EXPECT_THAT(browser_.Texts(arrange),
                ElementsAre(L"by &Name", L"by &Type", L"by Si&ze", L"by &Free Space", L"-", L"&Auto Arrange"));
    EXPECT_EQ(GetMenuItemID(arrange, 3), static_cast<UINT>(CMD_SORT_FREE_SPACE));
}

TEST_F(ViewCommands, WithWebViewTheListStandsBesideTheInformationPane) {
    const wchar_t* advanced = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    DWORD on = 1;
    RegSetKeyValueW(HKEY_CURRENT_USER, advanced, L"WebView", REG_DWORD, &on, sizeof(on));
    Show(L"\\A:");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, advanced, L"WebView");
    ASSERT_TRUE(view_->WebView());
    RECT client = {}, list = {};
    GetClientRect(view_->ViewWindow(), &client);
    GetWindowRect(List(), &list);
    MapWindowPoints(nullptr, view_->ViewWindow(), reinterpret_cast<POINT*>(&list), 2);
    const int pane = client.right * 30 / 100;
    EXPECT_EQ(pane, list.left);
    EXPECT_EQ(client.right, list.right);
    EXPECT_EQ(client.bottom, list.bottom - list.top);
}

TEST(ViewMenus, PopupsSelectionKindsAndMenuContexts) {
    Resources().Set(GetModuleHandleW(nullptr), kLangGerman);
    HMENU menu = Resources().LoadMenu(IDR_VIEW_MENUS);
    ASSERT_TRUE(menu);
    AdjustViewMenus(menu);
    EXPECT_EQ(GetMenuItemCount(menu), kViewMenuPopupCount);
    const wchar_t* names[] = {L"DISKVIEWPOPUP", L"VIEWPOPUP", L"DISKPOPUP", L"FILEPOPUP", L"FOLDERPOPUP",
                              L"EDITMENU", L"HELPMENU", L"DISKMENU", L"FOLDERMENU", L"SEARCHVIEWPOPUP",
                              L"DROPMENU", L"ROOTPOPUP", L"FILEMENU", L"BACKGROUNDMENU", L"ROOTMENU",
                              L"SEARCHFOLDERMENU", L"SEARCHFOLDERPOPUP"};
    const int counts[] = {8, 12, 10, 7, 12, 6, 4, 9, 10, 4, 4, 2, 6, 4, 2, 4, 12};
    for (int i = 0; i < kViewMenuPopupCount; ++i) {
        wchar_t name[64] = {};
        GetMenuStringW(menu, i, name, ARRAYSIZE(name), MF_BYPOSITION);
        EXPECT_STREQ(name, names[i]);
        EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, i)), counts[i]) << i;
    }
    // German texts; the one-time marks: radio items and default items.
    wchar_t text[64] = {};
    GetMenuStringW(GetSubMenu(menu, kPopupFile), CMD_DELETE, text, ARRAYSIZE(text), MF_BYCOMMAND);
    EXPECT_STREQ(text, L"&L\u00F6schen");
    MENUITEMINFOW info = {sizeof(info)};
    info.fMask = MIIM_FTYPE | MIIM_STATE;
    GetMenuItemInfoW(GetSubMenu(GetSubMenu(menu, kPopupView), 0), CMD_VIEW_LIST, FALSE, &info);
    EXPECT_TRUE(info.fType & MFT_RADIOCHECK);
    EXPECT_EQ(GetMenuDefaultItem(GetSubMenu(menu, kPopupFolderMenu), FALSE, 0), CMD_OPEN);
    EXPECT_EQ(GetMenuDefaultItem(GetSubMenu(menu, kPopupFolder), FALSE, 0), CMD_EXPLORE);
    EXPECT_TRUE(Grayed(GetSubMenu(GetSubMenu(menu, kPopupSearchView), 2), CMD_AUTO_ARRANGE));
    DestroyMenu(menu);
    Resources().Set(GetModuleHandleW(nullptr), kLangEnglishUs);

    // Selection kinds row by row, and the popups the merged menus use.
    using K = ItemKind;
    struct Row { std::vector<ItemKind> items; SelectionKind kind; int context; } rows[] = {
        {{}, kSelNothing, kPopupBackgroundMenu},
        {{K::File}, kSelOneFile, kPopupFileMenu},
        {{K::File, K::File, K::File}, kSelFiles, kPopupFileMenu},
        {{K::Folder, K::Folder}, kSelFolders, kPopupFolderMenu},
        {{K::File, K::Folder, K::File}, kSelFilesAndFolders, kPopupFolderMenu},
        {{K::Folder, K::Drive}, kSelOneDrive, kPopupDiskMenu},
        {{K::Drive, K::File}, kSelOneDrive, kPopupDiskMenu},
        {{K::Drive, K::Drive, K::File}, kSelDrives, kPopupDiskMenu},
    };
    for (const Row& row : rows) {
        SelectionKind kind = kSelNothing;
        for (ItemKind item : row.items) kind = NextSelectionKind(kind, item);
        EXPECT_EQ(kind, row.kind);
        EXPECT_EQ(MenuContextFor(true, kind), row.context);
        EXPECT_EQ(MenuContextFor(false, kind), kMenuContextFolderItself);
    }

    // Accelerators exist once, with the keys of both tables.
    HACCEL view = Resources().LoadAccelerators(IDR_ACCEL_VIEW_FOCUS);
    HACCEL other = Resources().LoadAccelerators(IDR_ACCEL_OTHER_FOCUS);
    ASSERT_TRUE(view && other);
    EXPECT_EQ(CopyAcceleratorTableW(view, nullptr, 0), 17);
    ACCEL f1 = {};
    ASSERT_EQ(CopyAcceleratorTableW(other, &f1, 1), 1);
    EXPECT_EQ(f1.key, VK_F1);
    EXPECT_EQ(f1.cmd, CMD_HELP);
    DestroyAcceleratorTable(view);
    DestroyAcceleratorTable(other);
}

// The search window's results table is the view's without paste and the
// history keys, in the same order; every key of every table is virtual and
// leaves the menu bar alone.
TEST(ViewMenus, AcceleratorTablesShareTheirKeysAndFlags) {
    auto entries = [](UINT id) {
        HACCEL table = Resources().LoadAccelerators(id);
        std::vector<ACCEL> keys(table ? CopyAcceleratorTableW(table, nullptr, 0) : 0);
        if (table) CopyAcceleratorTableW(table, keys.data(), static_cast<int>(keys.size()));
        if (table) DestroyAcceleratorTable(table);
        return keys;
    };
    const std::vector<ACCEL> view = entries(IDR_ACCEL_VIEW_FOCUS);
    const std::vector<ACCEL> results = entries(IDR_SEARCH_RESULTS_ACCELERATORS);
    std::vector<ACCEL> expected;
    for (const ACCEL& key : view) {
        if (key.cmd == CMD_PASTE || key.cmd == CMD_BACK || key.cmd == CMD_FORWARD) continue;
        expected.push_back(key);
    }
    ASSERT_EQ(expected.size(), 13u);
    ASSERT_EQ(results.size(), expected.size());
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].fVirt, expected[i].fVirt) << i;
        EXPECT_EQ(results[i].key, expected[i].key) << i;
        EXPECT_EQ(results[i].cmd, expected[i].cmd) << i;
    }
    for (UINT id : {IDR_ACCEL_VIEW_FOCUS, IDR_ACCEL_OTHER_FOCUS, IDR_SEARCH_RESULTS_ACCELERATORS,
                    IDR_SEARCH_WINDOW_ACCELERATORS}) {
        const std::vector<ACCEL> keys = entries(id);
        EXPECT_FALSE(keys.empty()) << id;
        for (const ACCEL& key : keys)
            EXPECT_EQ(key.fVirt & (FVIRTKEY | FNOINVERT), FVIRTKEY | FNOINVERT) << id << " key " << key.key;
    }
}

// The search window's bar names the sort submenu as the view's popup does.
TEST(ViewMenus, SearchWindowMenuBarCaptions) {
    HMENU bar = Resources().LoadMenu(IDR_SEARCH_MENU);
    ASSERT_NE(bar, nullptr);
    auto text = [](HMENU menu, int position) {
        wchar_t buffer[64] = L"";
        GetMenuStringW(menu, position, buffer, ARRAYSIZE(buffer), MF_BYPOSITION);
        return std::wstring(buffer);
    };
    const std::vector<std::wstring> captions = {text(bar, 0), text(bar, 1), text(bar, 2), text(bar, 3), text(bar, 4)};
    EXPECT_EQ(captions, (std::vector<std::wstring>{L"&File", L"&Edit", L"&View", L"&Options", L"&?"}));
    HMENU view = GetSubMenu(bar, 2);
    EXPECT_EQ(text(view, 5), L"&Arrange Icons");
    EXPECT_NE(GetSubMenu(view, 5), nullptr);
    EXPECT_EQ(text(view, 6), L"Snap to &Grid");
    DestroyMenu(bar);
}

namespace {
class MenuBarHost : public SearchResultsHost {
public:
    explicit MenuBarHost(HWND window) : window_(window) {}
    HWND ResultsOwnerWindow() override { return window_; }
    std::wstring ResultsFolderPath() override { return L"\\A:"; }

private:
    HWND window_;
};
}  // namespace

TEST_F(ViewCommands, TheSearchListDrivesTheSearchWindowsOwnMenus) {
    // The results' folder is found through the shell: "Module" must be registered.
    ASSERT_EQ(RunRegsvr32(false), 0u);
    HMENU file = CreatePopupMenu(), edit = CreatePopupMenu(), view = CreatePopupMenu(), arrange = CreatePopupMenu();
    for (UINT id : {CMD_DELETE, CMD_RENAME, CMD_PROPERTIES, CMD_OPEN_PARENT_FOLDER})
        AppendMenuW(file, MF_STRING | MF_GRAYED, id, L"x");
    for (UINT id : {CMD_CUT, CMD_COPY, CMD_SELECT_ALL}) AppendMenuW(edit, MF_STRING, id, L"x");
    for (UINT id = CMD_VIEW_LARGE_ICONS; id <= CMD_VIEW_DETAILS; ++id) AppendMenuW(view, MF_STRING, id, L"x");
    AppendMenuW(arrange, MF_STRING, CMD_AUTO_ARRANGE, L"x");
    AppendMenuW(view, MF_POPUP, reinterpret_cast<UINT_PTR>(arrange), L"&Arrange Icons");
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"&Edit");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"&View");
    HWND window = CreateWindowExW(0, L"STATIC", L"search", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, bar,
                                  nullptr, nullptr);
    MenuBarHost host(window);
    ASSERT_EQ(S_OK, ModuleView::Create(view_.ReleaseAndGetAddressOf()));
    ASSERT_EQ(S_OK, view_->InitForSearch(&host));
    RECT area = {0, 0, 500, 300};
    ASSERT_EQ(S_OK, view_->CreateResultsList(area));
    window_ = view_->ViewWindow();
    IdListHolder found;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data", module_, found.out()));
    ASSERT_EQ(S_OK, view_->AddItem(found.get()));

    EXPECT_TRUE(Checked(view, CMD_VIEW_DETAILS));
    SetFocus(List());
    OpenMenu(file);
    EXPECT_TRUE(Grayed(file, CMD_DELETE));   // nothing selected yet
    Select({L"Data"});
    OpenMenu(file);
    EXPECT_FALSE(Grayed(file, CMD_DELETE));
    EXPECT_EQ(GetMenuItemID(file, 0), static_cast<UINT>(CMD_OPEN));   // a folder's Open and Explore on top
    OpenMenu(edit);
    EXPECT_FALSE(Grayed(edit, CMD_COPY));
    Command(CMD_FIND);
    EXPECT_THAT(operations_.calls, ElementsAre(L"search \\A:\\Data"));
    view_->DestroyViewWindow();
    view_.Reset();
    EXPECT_TRUE(IsMenu(arrange));   // the window's own menus stay its own
    DestroyWindow(window);
}
