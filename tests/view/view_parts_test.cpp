#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/formatting.h"
#include "common/holders.h"
#include "tests/support/test_shell_browser.h"
#include "view/cell_text_ring.h"
#include "view/explorer_style.h"
#include "view/status_texts.h"
#include "view/view_columns.h"
#include "view/view_commands.h"
#include "view/view_state.h"

using Microsoft::WRL::ComPtr;

namespace {

ComPtr<IStream> StreamOver(const std::vector<BYTE>& bytes) {
    ComPtr<IStream> stream;
    *stream.ReleaseAndGetAddressOf() =
        SHCreateMemStream(bytes.empty() ? nullptr : bytes.data(), static_cast<UINT>(bytes.size()));
    return stream;
}

// Reads head, column order and icon block in turn, as the view does, and
// says how many of them were read before the first refusal.
int PartsRead(IStream* stream, ViewStateHead* head, std::vector<BYTE>* block) {
    int32_t order[kViewStateColumns];
    if (!ReadViewStateHead(stream, head)) return 0;
    if (!ReadColumnOrder(stream, order)) return 1;
    return ReadIconPositionBlock(stream, block) ? 3 : 2;
}

}  // namespace

TEST(ViewColumns, HeaderClicksToggleOnlyFromTheColumnsOwnAscendingOrder) {
    struct Case {
        ListKind kind;
        int column;
        UINT current;
        UINT expected;
    } const cases[] = {
        // Another column, or this one sorted descending: a click starts ascending.
        {ListKind::Folder, 1, kSortNameDescending, kSortSizeAscending},
        {ListKind::Folder, 2, kSortTypeDescending, kSortTypeAscending},
        {ListKind::Search, 1, kSortLocationAscending, kSortLocationDescending},
        {ListKind::Search, 2, kSortNameAscending, kSortSizeAscending},
        {ListKind::Search, 4, 0, kSortModifiedAscending},
        {ListKind::Root, 1, kSortNameAscending, kSortTypeAscending},
        {ListKind::Root, 2, kSortTotalSizeAscending, kSortTotalSizeDescending},
        {ListKind::Root, 3, kSortNameAscending, kSortFreeSpaceAscending},
        {ListKind::Folder, 4, kSortNameAscending, 0},
        {ListKind::Folder, -1, kSortNameAscending, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, ColumnClickCommand(c.kind, c.column, c.current)) << "column " << c.column;

    // Folders come first in every order but by location.
    EXPECT_TRUE(SortParameter(kSortTotalSizeDescending) & 0x10000);
    EXPECT_FALSE(SortParameter(kSortLocationAscending) & 0x10000);
    EXPECT_FALSE(SortParameter(kSortLocationDescending) & 0x10000);
}

TEST(ViewColumns, ListStyleFollowsViewModeAndFolderFlags) {
    const DWORD base = WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LVS_SHAREIMAGELISTS;
    EXPECT_EQ(base | LVS_EDITLABELS | LVS_SMALLICON | LVS_SINGLESEL | LVS_NOSCROLL | LVS_ALIGNLEFT |
                  LVS_SHOWSELALWAYS,
              ListWindowStyle(2, FWF_SINGLESEL | FWF_NOSCROLL | FWF_ALIGNLEFT | FWF_SHOWSELALWAYS, false));
    // Thumbnails and other modes the view does not know become details.
    EXPECT_EQ(base | LVS_EDITLABELS | LVS_REPORT, ListWindowStyle(5, 0, false));
    EXPECT_EQ(4, NormalizedViewMode(0));
}

TEST(CellTextRing, ATextStaysValidForTheNextFourRequests) {
    CellTextRing ring;
    wchar_t* first = ring.Put(L"one");
    for (int i = 0; i < 4; ++i) ring.Put(L"other");
    EXPECT_STREQ(L"one", first);
    EXPECT_EQ(first, ring.Put(L"six"));
    EXPECT_STREQ(L"six", first);

    std::wstring longText(300, L'x');
    EXPECT_EQ(260u, wcslen(ring.Put(longText.c_str())));
    EXPECT_STREQ(L"", ring.Put(nullptr));
}

TEST(ExplorerStyle, ClickModeUnderlineAndWebViewComeFromTheUsersSettings) {
    // A scratch HKCU subtree stands in for the user's hive.
    const wchar_t kScratch[] = L"Software\\KTX Tests\\ViewHive";
    const wchar_t kExplorer[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
    const wchar_t kAdvanced[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    const wchar_t kMain[] = L"Software\\Microsoft\\Internet Explorer\\Main";
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kScratch, 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    UniqueRegKey root(key);

    const DWORD drag = LVS_EX_HEADERDRAGDROP, oneClick = LVS_EX_ONECLICKACTIVATE | LVS_EX_TRACKSELECT | drag;
    EXPECT_EQ(drag, ExtendedListStyleFor(true, root.get()));
    // Nothing readable: single click.
    EXPECT_EQ(oneClick, ExtendedListStyleFor(false, root.get()));
    EXPECT_FALSE(ReadWebViewFlag(root.get()));
    struct Case {
        DWORD iconUnderline;
        const wchar_t* anchorUnderline;   // consulted only when IconUnderline is 3
        DWORD webView;
        DWORD expected;
    } const cases[] = {
        {2, L"yes", 0, oneClick | LVS_EX_UNDERLINEHOT},
        {3, L"yes", 1, oneClick | LVS_EX_UNDERLINECOLD},
        {3, L"HOVER", 0, oneClick | LVS_EX_UNDERLINEHOT},
        {3, L"no", 1, oneClick},
    };
    for (const Case& c : cases) {
        RegSetKeyValueW(root.get(), kExplorer, L"IconUnderline", REG_DWORD, &c.iconUnderline, sizeof(DWORD));
        RegSetKeyValueW(root.get(), kMain, L"Anchor Underline", REG_SZ, c.anchorUnderline,
                        static_cast<DWORD>((wcslen(c.anchorUnderline) + 1) * sizeof(wchar_t)));
        RegSetKeyValueW(root.get(), kAdvanced, L"WebView", REG_DWORD, &c.webView, sizeof(DWORD));
        EXPECT_EQ(c.expected, ExtendedListStyleFor(false, root.get())) << c.anchorUnderline;
        EXPECT_EQ(c.webView != 0, ReadWebViewFlag(root.get()));
    }
    root.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
}

TEST(RowFilter, HiddenSystemAndProtectedRulesAndTheInFolderText) {
    const DWORD file = FILE_ATTRIBUTE_ARCHIVE;
    const DWORD hidden = FILE_ATTRIBUTE_HIDDEN, system = FILE_ATTRIBUTE_SYSTEM;
    struct Case {
        DWORD attributes;
        bool showHidden, showSystem, showProtected;
        bool shown;
    } const cases[] = {
        {file | hidden | system, true, true, true, true},
        // Hidden off: system-only items stay.
        {file | system, false, true, true, true},
        {system, true, false, true, false},
        // Protected off: only items that are both hidden and system go.
        {hidden | system, true, true, false, false},
        {hidden, true, true, false, true},
        {system, true, true, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.shown, ItemGetsRow(c.attributes, 0, c.showHidden, c.showSystem, c.showProtected))
            << "attributes " << c.attributes;

    const wchar_t* const inFolder[][2] = {{L"\\A:\\Data\\Photo.jpg", L"A:\\Data"}, {L"\\A:\\x.txt", L"A:"},
                                          {L"\\A:", L"A:"}, {L"B:", L"B:"}, {L"", L""}, {L"name", L""}};
    for (const auto& pair : inFolder) EXPECT_EQ(pair[1], InFolderText(pair[0])) << pair[0];
}

TEST(ViewStateRecord, EachPartIsTakenOnlyWhenItWasReadWhole) {
    const std::vector<BYTE> block = {1, 2, 3, 4, 5, 6};
    struct Case {
        const char* what;
        uint32_t magic;
        uint32_t blockSize;
        size_t keep;    // bytes of the record left
        int partsRead;
    } const cases[] = {
        {"whole", kViewStateMagic, 6, 50, 3},
        {"no icon block", kViewStateMagic, 0, 44, 3},
        {"wrong magic", 0x88000008, 6, 50, 0},
        {"empty", kViewStateMagic, 6, 0, 0},
        {"head cut short", kViewStateMagic, 6, 12, 0},
        {"column order cut short", kViewStateMagic, 6, 36, 1},
        {"block size cut short", kViewStateMagic, 6, 42, 2},
        {"block cut short", kViewStateMagic, 6, 49, 2},
        {"huge block size", kViewStateMagic, 0xFFFFFFF0u, 50, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<BYTE> bytes;
        Put32(&bytes, c.magic);
        for (int i = 0; i < 4; ++i) Put32(&bytes, 90);
        Put32(&bytes, 8205);
        for (int i = 0; i < 4; ++i) Put32(&bytes, 3 - i);
        Put32(&bytes, c.blockSize);
        bytes.insert(bytes.end(), block.begin(), block.end());
        bytes.resize(c.keep);

        ViewStateHead head;
        head.sortCommand = 1;
        std::vector<BYTE> readBlock = {9};
        EXPECT_EQ(c.partsRead, PartsRead(StreamOver(bytes).Get(), &head, &readBlock));
        // A refused head is left as it was; a refused block is emptied.
        EXPECT_EQ(c.partsRead ? 90 : 120, head.widths[3]);
        EXPECT_EQ(c.partsRead ? 8205u : 1u, head.sortCommand);
        if (c.partsRead >= 2) {
            EXPECT_EQ(c.partsRead == 3 && c.blockSize ? block : std::vector<BYTE>(), readBlock);
        }
    }
}
