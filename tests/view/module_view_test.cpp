#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/holders.h"
#include "common/module_count.h"
#include "common/result_codes.h"
#include "tests/support/prompt_recorder.h"
#include "tests/support/test_shell_browser.h"
#include "testing/fake_module_access.h"
#include "transfer/module_data_object.h"
#include "view/view_cell_texts.h"
#include "view/module_view.h"
#include "view/view_commands.h"
#include "view/view_state.h"

using Microsoft::WRL::ComPtr;
using testing::ElementsAre;

namespace {

// Explorer's "Hidden" setting, which the view reads at every listing.
void SetHidden(DWORD value) {
    const wchar_t* advanced = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    if (value)
        RegSetKeyValueW(HKEY_CURRENT_USER, advanced, L"Hidden", REG_DWORD, &value, sizeof(value));
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, advanced, L"Hidden");
}

// Magic, the four column widths and the sort command.
std::vector<BYTE> StateBytes(const int32_t widths[4], uint32_t sort, uint32_t magic = kViewStateMagic) {
    std::vector<BYTE> bytes;
    Put32(&bytes, magic);
    for (int i = 0; i < 4; ++i) Put32(&bytes, widths[i]);
    Put32(&bytes, sort);
    return bytes;
}

// A default head and column order, then the icon-position block.
std::vector<BYTE> StateWithIcons(const std::vector<BYTE>& block) {
    const int32_t widths[4] = {120, 120, 120, 120};
    std::vector<BYTE> bytes = StateBytes(widths, kSortNameAscending);
    for (int i = 0; i < 4; ++i) Put32(&bytes, i);
    Put32(&bytes, static_cast<uint32_t>(block.size()));
    bytes.insert(bytes.end(), block.begin(), block.end());
    return bytes;
}

// One icon record: the point, the character count and the name. A null name
// gives a record without characters; `count` overrides the true count.
void PutIconRecord(std::vector<BYTE>* block, int x, int y, const wchar_t* name, uint32_t count = 0) {
    size_t length = name ? wcslen(name) + 1 : 0;
    Put32(block, x);
    Put32(block, y);
    Put32(block, count ? count : static_cast<uint32_t>(length));
    const BYTE* b = reinterpret_cast<const BYTE*>(name);
    if (name) block->insert(block->end(), b, b + length * sizeof(wchar_t));
}

class ModuleViewTest : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        module_ = new FakeModuleAccess();
        Drive(L"A:", 1000000, 250000);
        Drive(L"B:", 64000, 0);
        File(L"\\A:\\b.txt", 300, 40001);
        Folder(L"\\A:\\Photos", 40005);
        File(L"\\A:\\a.txt", 100, 40003);
        File(L"\\A:\\C.bin", 2000, 40002);
        Folder(L"\\A:\\Data", 40004);
        Folder(L"\\B:\\Empty", 40000);
        Folder(L"\\B:\\Hidden", 40000);
        File(L"\\B:\\Hidden\\shown.txt", 10, 40000);
        File(L"\\B:\\Hidden\\secret.txt", 20, 40000, FILE_ATTRIBUTE_HIDDEN);
        Folder(L"\\B:\\Hidden\\Sub", 40000);
        scope_.reset(new FakeModuleAccessScope(module_));
        ASSERT_EQ(S_OK, TestShellBrowser::Create(640, 480, browser_.ReleaseAndGetAddressOf()));
    }

    void TearDown() override {
        browser_->DestroyView();
        view_.Reset();
        browser_.Reset();
        scope_.reset();
        module_->Release();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    void Drive(const wchar_t* letterColon, DWORD capacity, double freeBytes) {
        FakeModuleAccess::Entry& drive = module_->AddDrive(letterColon, capacity, static_cast<DWORD>(freeBytes));
        drive.size = capacity;
        drive.modified = freeBytes;
    }
    void Folder(const wchar_t* path, double modified) { module_->AddFolder(path).modified = modified; }
    void File(const wchar_t* path, DWORD size, double modified, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
        module_->AddFile(path, size, attributes).modified = modified;
    }
    size_t AdvisedSinks() const { return module_->CountCalls(L"Advise") - module_->CountCalls(L"Unadvise"); }

    ModuleView* Bind(const wchar_t* path) {
        EXPECT_EQ(S_OK, ModuleView::Create(view_.ReleaseAndGetAddressOf()));
        EXPECT_EQ(S_OK, view_->InitForFolderPath(path, nullptr, browser_->Frame()));
        return view_.Get();
    }

    HRESULT Show(const wchar_t* path, UINT mode = FVM_DETAILS, UINT flags = FWF_AUTOARRANGE) {
        Bind(path);
        return browser_->ShowView(view_.Get(), mode, flags, &viewWindow_);
    }

    HWND List() const { return view_->ListWindow(); }
    int Rows() const { return ListView_GetItemCount(List()); }

    std::wstring Cell(int row, int column) { return ColumnTexts(List(), column).at(row); }
    std::vector<std::wstring> Names() { return ColumnTexts(List(), 0); }
    int RowOf(const wchar_t* name) { return ::RowOf(List(), name); }

    std::wstring ColumnTitle(int index, int* format = nullptr) {
        wchar_t title[64] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_FMT;
        column.pszText = title;
        column.cchTextMax = ARRAYSIZE(title);
        ListView_GetColumn(List(), index, &column);
        if (format) *format = column.fmt & LVCFMT_JUSTIFYMASK;
        return title;
    }

    void ClickHeader(int column) {
        NMLISTVIEW click = {};
        click.hdr.hwndFrom = List();
        click.hdr.idFrom = GetDlgCtrlID(List());
        click.hdr.code = LVN_COLUMNCLICK;
        click.iItem = -1;
        click.iSubItem = column;
        SendMessageW(viewWindow_, WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
    }

    POINT Position(int row) {
        POINT pt = {};
        ListView_GetItemPosition(List(), row, &pt);
        return pt;
    }

    LONG objectsBefore_ = 0;
    FakeModuleAccess* module_ = nullptr;
    std::unique_ptr<FakeModuleAccessScope> scope_;
    ComPtr<TestShellBrowser> browser_;
    ComPtr<ModuleView> view_;
    HWND viewWindow_ = nullptr;
    PromptRecorder prompts_;
};

}  // namespace

TEST_F(ModuleViewTest, FolderViewAnswersTheShellAndShowsItsItemsFoldersFirst) {
    Bind(L"\\A:");
    // The IShellView2 methods are in the vtable but not answered through QueryInterface.
    ComPtr<IShellView2> second;
    EXPECT_EQ(E_NOINTERFACE, view_->QueryInterface(IID_PPV_ARGS(&second)));
    SHELLVIEWID id = {};
    EXPECT_EQ(S_OK, view_->GetView(&id, static_cast<ULONG>(SV2GV_DEFAULTVIEW)));
    EXPECT_TRUE(IsEqualGUID(id, kModuleViewId));
    EXPECT_EQ(E_INVALIDARG, view_->GetView(&id, 0));

    // CreateViewWindow2 makes a window for this view's id only.
    FOLDERSETTINGS settings = {FVM_DETAILS, 0};
    RECT rect = {0, 0, 300, 200};
    SHELLVIEWID other = IID_IShellView;
    SV2CVW2_PARAMS params = {sizeof(params), nullptr, &settings, browser_.Get(), &rect, &other, nullptr};
    EXPECT_EQ(E_INVALIDARG, view_->CreateViewWindow2(&params));
    params.pvid = &kModuleViewId;
    ASSERT_EQ(S_OK, view_->CreateViewWindow2(&params));
    HWND window = nullptr;
    EXPECT_EQ(S_OK, view_->GetWindow(&window));
    EXPECT_EQ(params.hwndView, window);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    ASSERT_TRUE(List());
    EXPECT_EQ(1, GetDlgCtrlID(List()));
    LONG style = GetWindowLongW(List(), GWL_STYLE);
    EXPECT_EQ(LVS_REPORT | LVS_EDITLABELS, style & (LVS_TYPEMASK | LVS_EDITLABELS));
    ASSERT_EQ(4, Header_GetItemCount(ListView_GetHeader(List())));
    int format = 0;
    EXPECT_EQ(L"Size", ColumnTitle(1, &format));
    EXPECT_EQ(LVCFMT_RIGHT, format);

    EXPECT_THAT(Names(), ElementsAre(L"Data", L"Photos", L"a.txt", L"b.txt", L"C.bin"));
    EXPECT_EQ(kSortNameAscending, view_->SortCommand());
    // Cells come from the view on demand.
    int c = RowOf(L"C.bin");
    EXPECT_EQ(L"1.95 KB", Cell(c, 1));
    EXPECT_EQ(L"7/8/2009 12:00 AM", Cell(c, 3));
    EXPECT_EQ(L"", Cell(RowOf(L"Data"), 1));
    EXPECT_FALSE(Cell(RowOf(L"Data"), 2).empty());
    // Row 0 has the focus, nothing is selected.
    EXPECT_EQ(static_cast<UINT>(LVIS_FOCUSED), ListView_GetItemState(List(), 0, LVIS_FOCUSED | LVIS_SELECTED));
    EXPECT_EQ(0u, ListView_GetSelectedCount(List()));
    // The sink is registered for the folder.
    EXPECT_EQ(1u, AdvisedSinks());
    EXPECT_THAT(module_->Calls(), testing::Contains(L"Advise(\\A:)"));

    // A second binding is refused; destroying twice is harmless.
    EXPECT_EQ(E_FAIL, view_->InitForFolderPath(L"\\B:", nullptr, nullptr));
    EXPECT_EQ(S_OK, view_->DestroyViewWindow());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(0u, AdvisedSinks());
    EXPECT_EQ(S_OK, view_->DestroyViewWindow());
}

TEST_F(ModuleViewTest, RootViewListsDrivesWithCapacityAndFreeSpace) {
    ASSERT_EQ(S_OK, Show(L""));
    EXPECT_EQ(3, GetDlgCtrlID(List()));
    EXPECT_FALSE(GetWindowLongW(List(), GWL_STYLE) & LVS_EDITLABELS);
    EXPECT_EQ(L"Free Space", ColumnTitle(3));
    const std::wstring disk = L"Module Disk";
    EXPECT_THAT(Names(), ElementsAre(disk + L" (A:)", disk + L" (B:)"));
    EXPECT_EQ(disk, Cell(0, 1));
    EXPECT_EQ(L"976 KB", Cell(0, 2));
    EXPECT_EQ(L"244 KB", Cell(0, 3));
    EXPECT_EQ(L"0 bytes", Cell(1, 3));
    // Free space sorts by the drives' time field.
    ClickHeader(3);
    EXPECT_EQ(kSortFreeSpaceAscending, view_->SortCommand());
    EXPECT_THAT(Names(), ElementsAre(disk + L" (B:)", disk + L" (A:)"));
}

TEST_F(ModuleViewTest, HeaderClicksToggleNameOrderWithFoldersAfterFilesDescending) {
    ASSERT_EQ(S_OK, Show(L"\\A:"));
    ClickHeader(0);
    EXPECT_EQ(kSortNameDescending, view_->SortCommand());
    EXPECT_THAT(Names(), ElementsAre(L"C.bin", L"b.txt", L"a.txt", L"Photos", L"Data"));
    ClickHeader(0);
    EXPECT_EQ(kSortNameAscending, view_->SortCommand());
    EXPECT_THAT(Names(), ElementsAre(L"Data", L"Photos", L"a.txt", L"b.txt", L"C.bin"));
    // By size: files by size, the two folders among themselves by name.
    ClickHeader(1);
    EXPECT_EQ(kSortSizeAscending, view_->SortCommand());
    EXPECT_THAT(Names(), ElementsAre(L"Data", L"Photos", L"a.txt", L"b.txt", L"C.bin"));
    ClickHeader(3);
    EXPECT_EQ(kSortModifiedAscending, view_->SortCommand());
    EXPECT_THAT(Names(), ElementsAre(L"Data", L"Photos", L"b.txt", L"C.bin", L"a.txt"));
    ClickHeader(3);
    EXPECT_THAT(Names(), ElementsAre(L"a.txt", L"C.bin", L"b.txt", L"Photos", L"Data"));
}

TEST_F(ModuleViewTest, StatusBarCountsItemsOrTheSelection) {
    ASSERT_EQ(S_OK, Show(L"\\B:\\Empty"));
    EXPECT_EQ(0, Rows());
    // A bar left in simple mode by someone else gets its two parts back.
    SendMessageW(browser_->StatusBar(), SB_SIMPLE, TRUE, 0);
    EXPECT_EQ(S_OK, view_->UIActivate(SVUIA_ACTIVATE_NOFOCUS));
    EXPECT_FALSE(SendMessageW(browser_->StatusBar(), SB_ISSIMPLE, 0, 0));
    EXPECT_EQ(2, SendMessageW(browser_->StatusBar(), SB_GETPARTS, 0, 0));
    EXPECT_EQ(L"0 object(s)", browser_->StatusPart(0));
    EXPECT_EQ(L"0 bytes", browser_->StatusPart(1));

    browser_->DestroyView();
    ASSERT_EQ(S_OK, Show(L"\\A:"));
    view_->UIActivate(SVUIA_ACTIVATE_NOFOCUS);
    EXPECT_EQ(L"5 object(s)", browser_->StatusPart(0));
    EXPECT_EQ(L"2.34 KB", browser_->StatusPart(1));
    // Selecting updates the parts: two files, then one folder (no size).
    ListView_SetItemState(List(), RowOf(L"a.txt"), LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(List(), RowOf(L"C.bin"), LVIS_SELECTED, LVIS_SELECTED);
    TestShellBrowser::PumpMessages();
    EXPECT_EQ(L"2 object(s) selected", browser_->StatusPart(0));
    EXPECT_EQ(L"2.05 KB", browser_->StatusPart(1));
    ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
    ListView_SetItemState(List(), RowOf(L"Data"), LVIS_SELECTED, LVIS_SELECTED);
    TestShellBrowser::PumpMessages();
    EXPECT_EQ(L"1 object(s) selected", browser_->StatusPart(0));
    EXPECT_EQ(L"", browser_->StatusPart(1));
}

TEST_F(ModuleViewTest, RowsFollowExplorersHiddenSettingAndTheFolderFlags) {
    SetHidden(2);
    ASSERT_EQ(S_OK, Show(L"\\B:\\Hidden"));
    EXPECT_THAT(Names(), ElementsAre(L"Sub", L"shown.txt"));
    // Hidden items still count in the status bar's object count.
    view_->UIActivate(SVUIA_ACTIVATE_NOFOCUS);
    EXPECT_EQ(L"3 object(s)", browser_->StatusPart(0));

    SetHidden(1);
    ASSERT_EQ(S_OK, view_->Refresh());
    EXPECT_THAT(Names(), ElementsAre(L"Sub", L"secret.txt", L"shown.txt"));
    EXPECT_EQ(static_cast<UINT>(LVIS_CUT), ListView_GetItemState(List(), 1, LVIS_CUT));
    EXPECT_EQ(0u, ListView_GetItemState(List(), 2, LVIS_CUT));

    // A Cut's data object that dies takes the cut marks with it, and nothing
    // else: the hidden row stays dimmed, the selection stays.
    {
        LVITEMW state = {};
        state.stateMask = LVIS_CUT | LVIS_SELECTED;
        state.state = LVIS_CUT | LVIS_SELECTED;
        SendMessageW(List(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
        ModuleDataObject* cut = nullptr;
        ASSERT_EQ(S_OK, ModuleDataObject::Create(L"\\B:\\Hidden", view_.Get(), nullptr, 0, DROPEFFECT_MOVE,
                                                 nullptr, &cut));
        cut->Release();
        TestShellBrowser::PumpMessages();
        EXPECT_EQ(0u, ListView_GetItemState(List(), 0, LVIS_CUT));
        EXPECT_EQ(static_cast<UINT>(LVIS_CUT), ListView_GetItemState(List(), 1, LVIS_CUT));
        EXPECT_EQ(0u, ListView_GetItemState(List(), 2, LVIS_CUT));
        EXPECT_EQ(ListView_GetSelectedCount(List()), 3u);
    }

    // Without icons there is no dimming either; without subfolders only files.
    browser_->DestroyView();
    ASSERT_EQ(S_OK, Show(L"\\B:\\Hidden", FVM_LIST, FWF_NOICONS | FWF_NOSUBFOLDERS | FWF_NOCLIENTEDGE));
    EXPECT_THAT(Names(), ElementsAre(L"secret.txt", L"shown.txt"));
    EXPECT_EQ(0u, ListView_GetItemState(List(), 0, LVIS_CUT));
    EXPECT_EQ(LVS_LIST, GetWindowLongW(List(), GWL_STYLE) & LVS_TYPEMASK);
    EXPECT_FALSE(GetWindowLongW(viewWindow_, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    SetHidden(0);
}

TEST_F(ModuleViewTest, StoredStateGivesWidthsSortOrderAndIconPositionsAndSurvivesARoundTrip) {
    int32_t widths[4] = {200, 80, 90, 100};
    std::vector<BYTE> state = StateBytes(widths, kSortSizeDescending);
    for (int column : {0, 2, 1, 3}) Put32(&state, column);
    browser_->SetStoredState(state);
    Bind(L"\\A:");
    EXPECT_EQ(E_UNEXPECTED, view_->SaveViewState());
    ASSERT_EQ(S_OK, browser_->ShowView(view_.Get(), FVM_DETAILS, 0, &viewWindow_));
    EXPECT_EQ(200, ListView_GetColumnWidth(List(), 0));
    EXPECT_EQ(90, ListView_GetColumnWidth(List(), 2));
    EXPECT_EQ(kSortSizeDescending, view_->SortCommand());
    EXPECT_THAT(Names(), ElementsAre(L"C.bin", L"b.txt", L"a.txt", L"Photos", L"Data"));
    int order[4] = {};
    ListView_GetColumnOrderArray(List(), 4, order);
    EXPECT_THAT(order, ElementsAre(0, 2, 1, 3));

    // What the view writes brings all of it back, with the changes made since.
    ListView_SetColumnWidth(List(), 3, 150);
    ASSERT_EQ(S_OK, view_->SaveViewState());
    EXPECT_EQ(44u, browser_->WrittenState().size());   // details mode: no icon positions
    browser_->SetStoredState(browser_->WrittenState());
    browser_->DestroyView();
    ASSERT_EQ(S_OK, browser_->ShowView(view_.Get(), FVM_DETAILS, 0, &viewWindow_));
    EXPECT_EQ(150, ListView_GetColumnWidth(List(), 3));
    EXPECT_EQ(kSortSizeDescending, view_->SortCommand());
    ListView_GetColumnOrderArray(List(), 4, order);
    EXPECT_THAT(order, ElementsAre(0, 2, 1, 3));

    // In icon modes the icons' positions come back too.
    browser_->DestroyView();
    ASSERT_EQ(S_OK, browser_->ShowView(view_.Get(), FVM_ICON, 0, &viewWindow_));
    ListView_SetItemPosition32(List(), RowOf(L"b.txt"), 250, 140);
    ASSERT_EQ(S_OK, view_->SaveViewState());
    browser_->SetStoredState(browser_->WrittenState());
    browser_->DestroyView();
    ASSERT_EQ(S_OK, browser_->ShowView(view_.Get(), FVM_ICON, 0, &viewWindow_));
    EXPECT_EQ(250, Position(RowOf(L"b.txt")).x);
    EXPECT_EQ(140, Position(RowOf(L"b.txt")).y);
}

TEST_F(ModuleViewTest, DamagedStoredStateFallsBackPartByPart) {
    int32_t widths[4] = {200, 80, 90, 100};
    // A head that does not start with the state's magic number.
    browser_->SetStoredState(StateBytes(widths, kSortSizeDescending, kViewStateMagic + 1));
    ASSERT_EQ(S_OK, Show(L"\\A:"));
    EXPECT_EQ(120, ListView_GetColumnWidth(List(), 0));
    EXPECT_EQ(kSortNameAscending, view_->SortCommand());
    browser_->DestroyView();

    // Icon records: one without a name is skipped, an unknown name ignored,
    // and a record cut short ends the walk.
    std::vector<BYTE> block;
    Put32(&block, 5);
    PutIconRecord(&block, 7, 7, nullptr);
    PutIconRecord(&block, 50, 60, L"nobody");
    PutIconRecord(&block, 70, 80, L"b.txt");
    Put32(&block, 90);
    browser_->SetStoredState(StateWithIcons(block));
    ASSERT_EQ(S_OK, Show(L"\\A:", FVM_ICON, 0));
    EXPECT_EQ(70, Position(RowOf(L"b.txt")).x);
    EXPECT_EQ(80, Position(RowOf(L"b.txt")).y);
    browser_->DestroyView();

    // A name said to reach past the block is not read.
    block.resize(4);
    PutIconRecord(&block, 5, 5, L"a.txt", 40);
    browser_->SetStoredState(StateWithIcons(block));
    ASSERT_EQ(S_OK, Show(L"\\A:", FVM_ICON, 0));
    EXPECT_NE(5, Position(RowOf(L"a.txt")).x);
}

TEST_F(ModuleViewTest, RefreshKeepsIconPositionsAndNudgesWhatLiesOnASavedSpot) {
    ASSERT_EQ(S_OK, Show(L"\\A:", FVM_ICON, 0));
    ListView_SetItemPosition32(List(), RowOf(L"a.txt"), 100, 100);
    ListView_SetItemPosition32(List(), RowOf(L"b.txt"), 102, 101);
    ListView_SetItemPosition32(List(), RowOf(L"C.bin"), 106, 101);
    ListView_SetItemState(List(), RowOf(L"b.txt"), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    File(L"\\A:\\new.txt", 1, 40000);
    ASSERT_EQ(S_OK, view_->Refresh());
    EXPECT_EQ(6, Rows());
    // a.txt was placed first; b.txt's spot lies within 3 pixels of it, so
    // a.txt stepped aside by 12 before b.txt took its place. C.bin's spot
    // is 4 pixels from b.txt's, which stays.
    POINT a = Position(RowOf(L"a.txt")), b = Position(RowOf(L"b.txt")), c = Position(RowOf(L"C.bin"));
    EXPECT_EQ(112, a.x);
    EXPECT_EQ(112, a.y);
    EXPECT_EQ(102, b.x);
    EXPECT_EQ(101, b.y);
    EXPECT_EQ(106, c.x);
    EXPECT_EQ(101, c.y);
    // The selection and the focus came back.
    EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED),
              ListView_GetItemState(List(), RowOf(L"b.txt"), LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(1u, ListView_GetSelectedCount(List()));
}

TEST_F(ModuleViewTest, ListingFailuresAreShownAtCreationAndOnlyReturnedOnRefresh) {
    prompts_.SetDefaultAnswer(IDOK);
    module_->FailOn(L"ListFolder", L"", E_NO_CONNECTION, nullptr, 1);
    EXPECT_EQ(E_NO_CONNECTION, Show(L"\\A:"));
    EXPECT_FALSE(view_->ListWindow());
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(L"General", prompts_.Last().caption);
    browser_->DestroyView();

    ASSERT_EQ(S_OK, Show(L"\\A:"));
    module_->FailOn(L"ListFolder", L"", E_NO_CONNECTION, nullptr, 1);
    EXPECT_EQ(E_NO_CONNECTION, view_->Refresh());
    EXPECT_EQ(0, Rows());
    EXPECT_EQ(1u, prompts_.Count());
    // A cancelled listing is never shown.
    browser_->DestroyView();
    module_->FailOn(L"ListFolder", L"", E_OPERATION_CANCELLED, nullptr, 1);
    EXPECT_EQ(E_OPERATION_CANCELLED, Show(L"\\A:"));
    EXPECT_EQ(1u, prompts_.Count());
}

TEST_F(ModuleViewTest, ChangeNotificationsRefreshAFolderViewUntilItGoes) {
    ASSERT_EQ(S_OK, Show(L"\\A:"));
    size_t listed = module_->CountCalls(L"ListFolder");
    File(L"\\A:\\x.txt", 5, 40000);
    UniqueBstr message(L"D:\\A:\\x.txt");   // any message refreshes a folder view
    ASSERT_TRUE(view_->ChangeSink());
    view_->ChangeSink()->OnChange(message.get());
    EXPECT_EQ(listed + 1, module_->CountCalls(L"ListFolder"));
    EXPECT_EQ(6, Rows());
    EXPECT_NE(-1, RowOf(L"x.txt"));

    // The Refresh command drops the server's cache first.
    view_->ExecuteCommand(kCmdRefresh, 0);
    EXPECT_THAT(module_->Calls(), testing::Contains(L"InvalidateCache(\\<INVALIDATE_CACHE_CHANGE)"));
    EXPECT_EQ(listed + 2, module_->CountCalls(L"ListFolder"));

    // A message still on its way when the view goes touches nothing.
    ComPtr<IModuleChangeSink> sink(view_->ChangeSink());
    browser_->DestroyView();
    EXPECT_EQ(S_OK, sink->OnChange(message.get()));
    EXPECT_EQ(listed + 2, module_->CountCalls(L"ListFolder"));
}

TEST_F(ModuleViewTest, DoubleClickOpensFoldersInTheBrowserAndRefusesFiles) {
    ASSERT_EQ(S_OK, Show(L"\\A:"));
    DoubleClickRow(List(), RowOf(L"Photos"));
    ASSERT_EQ(1u, browser_->BrowseCalls().size());
    EXPECT_EQ(static_cast<UINT>(SBSP_RELATIVE), browser_->BrowseCalls()[0].flags);
    LPCITEMIDLIST opened = AsModuleItem(browser_->BrowseCalls()[0].list.get());
    ASSERT_TRUE(opened);
    EXPECT_STREQ(L"\\A:\\Photos", ItemPath(opened));

    prompts_.SetDefaultAnswer(IDOK);
    DoubleClickRow(List(), RowOf(L"a.txt"));
    EXPECT_EQ(1u, browser_->BrowseCalls().size());
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(L"Files on the memory (MultiMediacard, Tarnel) could not be opened. Please\ncopy the file to the hard disk first and\nthen perform the desired operation.",
              prompts_.Last().text);
    EXPECT_EQ(L"Module", prompts_.Last().caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONHAND), prompts_.Last().flags);
}

TEST_F(ModuleViewTest, SelectItemSelectsFocusesAndDeselectsOthers) {
    ASSERT_EQ(S_OK, Show(L"\\A:"));
    ListView_SetItemState(List(), RowOf(L"a.txt"), LVIS_SELECTED, LVIS_SELECTED);
    LPCITEMIDLIST photos = view_->RowItem(RowOf(L"Photos"));
    ASSERT_TRUE(photos);
    PCUITEMID_CHILD child = reinterpret_cast<PCUITEMID_CHILD>(photos);
    EXPECT_EQ(S_OK, view_->SelectItem(child, SVSI_SELECT | SVSI_DESELECTOTHERS | SVSI_ENSUREVISIBLE | SVSI_FOCUSED));
    EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED),
              ListView_GetItemState(List(), RowOf(L"Photos"), LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(1u, ListView_GetSelectedCount(List()));
    EXPECT_EQ(S_OK, view_->SelectItem(child, SVSI_DESELECT));
    EXPECT_EQ(0u, ListView_GetSelectedCount(List()));
}
