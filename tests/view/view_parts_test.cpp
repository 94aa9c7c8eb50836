#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/formatting.h"
#include "common/holders.h"
#include "common/module_count.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "view/cell_text_ring.h"
#include "view/explorer_style.h"
#include "view/status_texts.h"
#include "view/view_change_sink.h"
#include "view/view_columns.h"
#include "view/view_commands.h"

using Microsoft::WRL::ComPtr;

TEST(ViewColumns, EachListKindHasItsColumnsInOrder) {
    int count = 0;
    const ColumnSpec* folder = ListColumns(ListKind::Folder, &count);
    ASSERT_EQ(4, count);
    EXPECT_EQ(static_cast<UINT>(IDS_COL_NAME), folder[0].titleId);
    EXPECT_EQ(static_cast<UINT>(IDS_COL_SIZE), folder[1].titleId);
    EXPECT_EQ(LVCFMT_RIGHT, folder[1].format);
    EXPECT_EQ(static_cast<UINT>(IDS_COL_TYPE), folder[2].titleId);
    EXPECT_EQ(static_cast<UINT>(IDS_COL_MODIFIED), folder[3].titleId);
    EXPECT_EQ(LVCFMT_LEFT, folder[3].format);

    const ColumnSpec* root = ListColumns(ListKind::Root, &count);
    ASSERT_EQ(4, count);
    EXPECT_EQ(static_cast<UINT>(IDS_COL_TYPE), root[1].titleId);
    EXPECT_EQ(static_cast<UINT>(IDS_COL_TOTAL_SIZE), root[2].titleId);
    EXPECT_EQ(static_cast<UINT>(IDS_COL_FREE_SPACE), root[3].titleId);
    EXPECT_EQ(LVCFMT_RIGHT, root[2].format);
    EXPECT_EQ(LVCFMT_RIGHT, root[3].format);

    const ColumnSpec* search = ListColumns(ListKind::Search, &count);
    ASSERT_EQ(5, count);
    EXPECT_EQ(static_cast<UINT>(IDS_COL_IN_FOLDER), search[1].titleId);
    EXPECT_EQ(LVCFMT_LEFT, search[1].format);
    EXPECT_EQ(ColumnContent::Modified, search[4].content);

    EXPECT_EQ(3, ListControlId(ListKind::Root));
    EXPECT_EQ(1, ListControlId(ListKind::Folder));
    EXPECT_EQ(1, ListControlId(ListKind::Search));
}

TEST(ViewColumns, HeaderClicksToggleOnlyFromTheColumnsOwnAscendingOrder) {
    // Name: ascending, then descending, then ascending again.
    UINT sort = kSortNameAscending;
    sort = ColumnClickCommand(ListKind::Folder, 0, sort);
    EXPECT_EQ(kSortNameDescending, sort);
    sort = ColumnClickCommand(ListKind::Folder, 0, sort);
    EXPECT_EQ(kSortNameAscending, sort);
    // Another column sorted descending: a click starts ascending.
    EXPECT_EQ(kSortSizeAscending, ColumnClickCommand(ListKind::Folder, 1, kSortNameDescending));
    EXPECT_EQ(kSortTypeAscending, ColumnClickCommand(ListKind::Folder, 2, kSortTypeDescending));
    EXPECT_EQ(kSortModifiedDescending, ColumnClickCommand(ListKind::Folder, 3, kSortModifiedAscending));

    EXPECT_EQ(kSortLocationDescending, ColumnClickCommand(ListKind::Search, 1, kSortLocationAscending));
    EXPECT_EQ(kSortSizeAscending, ColumnClickCommand(ListKind::Search, 2, kSortNameAscending));
    EXPECT_EQ(kSortModifiedAscending, ColumnClickCommand(ListKind::Search, 4, 0));

    EXPECT_EQ(kSortTypeAscending, ColumnClickCommand(ListKind::Root, 1, kSortNameAscending));
    EXPECT_EQ(kSortTotalSizeDescending, ColumnClickCommand(ListKind::Root, 2, kSortTotalSizeAscending));
    EXPECT_EQ(kSortFreeSpaceAscending, ColumnClickCommand(ListKind::Root, 3, kSortNameAscending));

    EXPECT_EQ(0u, ColumnClickCommand(ListKind::Folder, 4, kSortNameAscending));
    EXPECT_EQ(0u, ColumnClickCommand(ListKind::Folder, -1, kSortNameAscending));
}

TEST(ViewColumns, FoldersFirstBitOnEverySortButTheFolderColumns) {
    EXPECT_EQ(0x10000 | 8197, SortParameter(kSortNameAscending));
    EXPECT_EQ(0x10000 | 8203, SortParameter(kSortNameDescending));
    EXPECT_EQ(0x10000 | 8411, SortParameter(kSortTotalSizeDescending));
    EXPECT_EQ(8303, SortParameter(kSortLocationAscending));
    EXPECT_EQ(8342, SortParameter(kSortLocationDescending));
}

TEST(ViewColumns, ListStyleFollowsViewModeAndFolderFlags) {
    DWORD base = WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LVS_SHAREIMAGELISTS;
    EXPECT_EQ(base | LVS_EDITLABELS | LVS_REPORT, ListWindowStyle(4, 0, false));
    EXPECT_EQ(base | LVS_REPORT, ListWindowStyle(4, 0, true));
    EXPECT_EQ(base | LVS_EDITLABELS | LVS_ICON | LVS_AUTOARRANGE, ListWindowStyle(1, FWF_AUTOARRANGE, false));
    EXPECT_EQ(base | LVS_EDITLABELS | LVS_SMALLICON | LVS_SINGLESEL | LVS_NOSCROLL | LVS_ALIGNLEFT |
                  LVS_SHOWSELALWAYS,
              ListWindowStyle(2, FWF_SINGLESEL | FWF_NOSCROLL | FWF_ALIGNLEFT | FWF_SHOWSELALWAYS, false));
    EXPECT_EQ(base | LVS_EDITLABELS | LVS_LIST, ListWindowStyle(3, 0, false));
    // Thumbnails and other modes the view does not know become details.
    EXPECT_EQ(base | LVS_EDITLABELS | LVS_REPORT, ListWindowStyle(5, 0, false));
    EXPECT_EQ(4, NormalizedViewMode(0));
    EXPECT_EQ(4, NormalizedViewMode(7));
    EXPECT_TRUE(IsIconMode(2));
    EXPECT_FALSE(IsIconMode(3));
}

TEST(CellTextRing, ATextStaysValidForTheNextFourRequests) {
    CellTextRing ring;
    wchar_t* first = ring.Put(L"one");
    std::vector<wchar_t*> later;
    for (int i = 0; i < 4; ++i) later.push_back(ring.Put(L"other"));
    EXPECT_STREQ(L"one", first);
    wchar_t* sixth = ring.Put(L"six");
    EXPECT_EQ(first, sixth);
    EXPECT_STREQ(L"six", first);

    std::wstring longText(300, L'x');
    wchar_t* cut = ring.Put(longText.c_str());
    EXPECT_EQ(260u, wcslen(cut));
    EXPECT_STREQ(L"", ring.Put(nullptr));
}

TEST(StatusTexts, CountsAndSizesFollowTheSelection) {
    StatusTexts empty = ComposeStatusTexts(0, 0, 0);
    EXPECT_EQ(Resources().FormatString(IDS_STATUS_OBJECTS, {0}), empty.count);
    EXPECT_EQ(FormatByteSize(0), empty.size);   // shown even when 0
    EXPECT_FALSE(empty.size.empty());

    StatusTexts all = ComposeStatusTexts(0, 7, 2048);
    EXPECT_EQ(Resources().FormatString(IDS_STATUS_OBJECTS, {7}), all.count);
    EXPECT_EQ(FormatByteSize(2048), all.size);

    StatusTexts folders = ComposeStatusTexts(2, 7, 0);
    EXPECT_EQ(Resources().FormatString(IDS_STATUS_OBJECTS_SELECTED, {2}), folders.count);
    EXPECT_TRUE(folders.size.empty());

    // The sum wraps like the 32-bit counter it is.
    int32_t sum = AddToStatusSum(0, 0x7FFFFFFFu);
    sum = AddToStatusSum(sum, 2);
    EXPECT_EQ(static_cast<int32_t>(0x80000001u), sum);
    EXPECT_EQ(FormatByteSize(0x80000001u), ComposeStatusTexts(1, 1, sum).size);
}

TEST(StatusTexts, TwoPartsWithoutSimpleMode) {
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 500, 300, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent, nullptr,
                               nullptr, nullptr);
    ASSERT_TRUE(bar);
    SendMessageW(bar, SB_SIMPLE, TRUE, 0);
    int width = StatusCountPartWidth(bar);
    EXPECT_GT(width, 0);
    ASSERT_TRUE(ShowStatusTexts(bar, width, {L"3 object(s)", L"1 KB"}));
    EXPECT_FALSE(SendMessageW(bar, SB_ISSIMPLE, 0, 0));
    int parts[2] = {};
    EXPECT_EQ(2, SendMessageW(bar, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(parts)));
    EXPECT_EQ(width, parts[0]);
    EXPECT_EQ(-1, parts[1]);
    wchar_t text[64] = {};
    SendMessageW(bar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(L"1 KB", text);
    EXPECT_FALSE(ShowStatusTexts(nullptr, width, {}));
    DestroyWindow(parent);
}

namespace {

// A scratch HKCU subtree standing in for the user's hive.
class ScratchHive : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        root_.reset(key);
    }
    void TearDown() override {
        root_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    }
    void SetDword(const wchar_t* path, const wchar_t* name, DWORD value) {
        RegSetKeyValueW(root_.get(), path, name, REG_DWORD, &value, sizeof(value));
    }
    void SetText(const wchar_t* path, const wchar_t* name, const wchar_t* text) {
        RegSetKeyValueW(root_.get(), path, name, REG_SZ, text,
                        static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    }
    static constexpr const wchar_t* kScratch = L"Software\\KTX Tests\\ViewHive";
    static constexpr const wchar_t* kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
    static constexpr const wchar_t* kAdvanced =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    static constexpr const wchar_t* kMain = L"Software\\Microsoft\\Internet Explorer\\Main";
    UniqueRegKey root_;
};

}  // namespace

TEST_F(ScratchHive, ExtendedStyleFollowsClickModeAndUnderlineSettings) {
    const DWORD oneClick = LVS_EX_ONECLICKACTIVATE | LVS_EX_TRACKSELECT;
    EXPECT_EQ(0u, ExtendedListStyleFor(false, false, root_.get()));
    EXPECT_EQ(static_cast<DWORD>(LVS_EX_HEADERDRAGDROP), ExtendedListStyleFor(true, true, root_.get()));
    // Nothing readable: single click with header dragging.
    EXPECT_EQ(oneClick | LVS_EX_HEADERDRAGDROP, ExtendedListStyleFor(true, false, root_.get()));

    SetDword(kExplorer, L"IconUnderline", 2);
    SetText(kMain, L"Anchor Underline", L"yes");   // not consulted when IconUnderline is 2
    EXPECT_EQ(oneClick | LVS_EX_UNDERLINEHOT | LVS_EX_HEADERDRAGDROP,
              ExtendedListStyleFor(true, false, root_.get()));

    SetDword(kExplorer, L"IconUnderline", 3);
    EXPECT_EQ(oneClick | LVS_EX_UNDERLINECOLD | LVS_EX_HEADERDRAGDROP,
              ExtendedListStyleFor(true, false, root_.get()));
    SetText(kMain, L"Anchor Underline", L"HOVER");
    EXPECT_EQ(oneClick | LVS_EX_UNDERLINEHOT | LVS_EX_HEADERDRAGDROP,
              ExtendedListStyleFor(true, false, root_.get()));
    SetText(kMain, L"Anchor Underline", L"no");
    EXPECT_EQ(oneClick | LVS_EX_HEADERDRAGDROP, ExtendedListStyleFor(true, false, root_.get()));
}

TEST_F(ScratchHive, WebViewIsOnOnlyWhenSetAndNotZero) {
    EXPECT_FALSE(ReadWebViewFlag(root_.get()));
    SetDword(kAdvanced, L"WebView", 0);
    EXPECT_FALSE(ReadWebViewFlag(root_.get()));
    SetDword(kAdvanced, L"WebView", 1);
    EXPECT_TRUE(ReadWebViewFlag(root_.get()));
}

TEST(CommonControls, WineProvidesAtLeast470) { EXPECT_TRUE(CommonControlsAtLeast470()); }

namespace {

class RecordingTarget : public ViewChangeTarget {
public:
    HRESULT RefreshForChange() override {
        ++refreshes;
        return S_OK;
    }
    void RemoveItemByPath(const std::wstring& path) override { removed.push_back(path); }
    int refreshes = 0;
    std::vector<std::wstring> removed;
};

HRESULT Notify(IModuleChangeSink* sink, const wchar_t* message) {
    UniqueBstr text(message);
    return sink->OnChange(text.get());
}

}  // namespace

TEST(ViewChangeSink, SearchListTakesOnlyDeleteMessages) {
    RecordingTarget target;
    LONG before = ModuleObjectCount();
    ComPtr<ViewChangeSink> sink;
    ASSERT_EQ(S_OK, MakeComObject(sink.ReleaseAndGetAddressOf(), &target, true));
    EXPECT_EQ(before + 1, ModuleObjectCount());
    EXPECT_EQ(S_OK, Notify(sink.Get(), L"D:\\A:\\x.txt"));
    EXPECT_EQ(S_OK, Notify(sink.Get(), L"D:"));
    EXPECT_EQ(S_OK, Notify(sink.Get(), L"D"));
    EXPECT_EQ(S_OK, Notify(sink.Get(), L"\\A:\\Data"));
    EXPECT_EQ(S_OK, sink->OnChange(nullptr));
    EXPECT_THAT(target.removed, testing::ElementsAre(L"\\A:\\x.txt", L""));
    EXPECT_EQ(0, target.refreshes);
    sink.Reset();
    EXPECT_EQ(before, ModuleObjectCount());
}

TEST(ViewChangeSink, FolderViewRefreshesOnEveryMessageUntilUnbound) {
    RecordingTarget target;
    ComPtr<ViewChangeSink> sink;
    ASSERT_EQ(S_OK, MakeComObject(sink.ReleaseAndGetAddressOf(), &target, false));
    Notify(sink.Get(), L"D:\\A:\\x.txt");
    Notify(sink.Get(), L"anything");
    sink->OnChange(nullptr);
    EXPECT_EQ(3, target.refreshes);
    EXPECT_TRUE(target.removed.empty());

    ComPtr<IUnknown> unknown;
    EXPECT_EQ(S_OK, sink.As(&unknown));
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(E_NOINTERFACE, sink.As(&dispatch));

    sink->Unbind();
    EXPECT_EQ(S_OK, Notify(sink.Get(), L"again"));
    EXPECT_EQ(3, target.refreshes);
}

TEST(RowFilter, HiddenSystemProtectedAndSubfolderRules) {
    const DWORD file = FILE_ATTRIBUTE_ARCHIVE, folder = FILE_ATTRIBUTE_DIRECTORY;
    const DWORD hidden = FILE_ATTRIBUTE_HIDDEN, system = FILE_ATTRIBUTE_SYSTEM;
    // Everything shown.
    EXPECT_TRUE(ItemGetsRow(file | hidden | system, 0, true, true, true));
    // Hidden off: hidden items go, system-only items stay.
    EXPECT_FALSE(ItemGetsRow(file | hidden, 0, false, true, true));
    EXPECT_TRUE(ItemGetsRow(file | system, 0, false, true, true));
    // System off.
    EXPECT_FALSE(ItemGetsRow(system, 0, true, false, true));
    // Protected off: only items that are both hidden and system go.
    EXPECT_FALSE(ItemGetsRow(hidden | system, 0, true, true, false));
    EXPECT_TRUE(ItemGetsRow(hidden, 0, true, true, false));
    EXPECT_TRUE(ItemGetsRow(system, 0, true, true, false));
    // No subfolders: folders go, files stay.
    EXPECT_FALSE(ItemGetsRow(folder, FWF_NOSUBFOLDERS, true, true, true));
    EXPECT_TRUE(ItemGetsRow(file, FWF_NOSUBFOLDERS, true, true, true));
}

TEST(RowFilter, InFolderTextDropsTheLeadingBackslash) {
    EXPECT_EQ(L"A:\\Data", InFolderText(L"\\A:\\Data\\Photo.jpg"));
    EXPECT_EQ(L"A:", InFolderText(L"\\A:\\x.txt"));
    EXPECT_EQ(L"A:", InFolderText(L"\\A:"));
    EXPECT_EQ(L"B:", InFolderText(L"B:"));
    EXPECT_EQ(L"", InFolderText(L""));
    EXPECT_EQ(L"", InFolderText(L"name"));
}
