#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "view/view_state.h"

using Microsoft::WRL::ComPtr;

namespace {

ComPtr<IStream> StreamOver(const std::vector<BYTE>& bytes) {
    ComPtr<IStream> stream;
    *stream.ReleaseAndGetAddressOf() = (SHCreateMemStream(bytes.empty() ? nullptr : bytes.data(), static_cast<UINT>(bytes.size())));
    return stream;
}

std::vector<BYTE> StreamBytes(IStream* stream) {
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    std::vector<BYTE> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    if (!bytes.empty()) stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    return bytes;
}

void Put32(std::vector<BYTE>* out, uint32_t v) {
    const BYTE* b = reinterpret_cast<const BYTE*>(&v);
    out->insert(out->end(), b, b + 4);
}

void PutName(std::vector<BYTE>* out, const wchar_t* name) {
    size_t n = wcslen(name) + 1;
    Put32(out, static_cast<uint32_t>(n));
    const BYTE* b = reinterpret_cast<const BYTE*>(name);
    out->insert(out->end(), b, b + n * 2);
}

// Rows whose item data points at one of these.
struct FakeItem {
    std::wstring name;
    std::wstring path;
};

RowItemText FakeRows() {
    RowItemText rows;
    rows.displayName = [](LPARAM data, std::wstring* name) {
        if (!data) return false;
        *name = reinterpret_cast<FakeItem*>(data)->name;
        return true;
    };
    rows.fullPath = [](LPARAM data, std::wstring* path) {
        if (!data) return false;
        *path = reinterpret_cast<FakeItem*>(data)->path;
        return true;
    };
    return rows;
}

// A bare icon-mode list in a parent window, with rows for the given items.
class IconList : public testing::Test {
protected:
    void SetUp() override {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400, nullptr, nullptr,
                                  nullptr, nullptr);
        ASSERT_TRUE(parent_);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_ICON, 0, 0, 580, 380,
                                parent_, nullptr, nullptr, nullptr);
        ASSERT_TRUE(list_);
    }
    void TearDown() override { DestroyWindow(parent_); }

    void AddRows(std::vector<FakeItem>* items) {
        for (size_t i = 0; i < items->size(); ++i) {
            LVITEMW item = {};
            item.mask = LVIF_TEXT | LVIF_PARAM;
            item.iItem = static_cast<int>(i);
            item.pszText = const_cast<wchar_t*>((*items)[i].name.c_str());
            item.lParam = reinterpret_cast<LPARAM>(&(*items)[i]);
            ASSERT_EQ(static_cast<int>(i), ListView_InsertItem(list_, &item));
        }
    }
    void Place(int row, int x, int y) { ListView_SetItemPosition32(list_, row, x, y); }
    POINT Position(int row) {
        POINT pt = {-1, -1};
        ListView_GetItemPosition(list_, row, &pt);
        return pt;
    }
    void Select(int row, UINT state) { ListView_SetItemState(list_, row, state, LVIS_SELECTED | LVIS_FOCUSED); }
    UINT State(int row) { return ListView_GetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED); }

    HWND parent_ = nullptr;
    HWND list_ = nullptr;
};

}  // namespace

TEST(ViewStateRecord, WrittenRecordReadsBackPartByPart) {
    ViewStateHead head;
    head.widths[0] = 200;
    head.widths[1] = 0;   // written as given; the view replaces 0 before writing
    head.widths[2] = 75;
    head.widths[3] = 120;
    head.sortCommand = 8205;
    int32_t order[4] = {2, 0, 1, 3};
    std::vector<BYTE> block = {1, 2, 3, 4, 5, 6};
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    ASSERT_EQ(S_OK, WriteViewState(stream.Get(), head, order, block));

    std::vector<BYTE> bytes = StreamBytes(stream.Get());
    ASSERT_EQ(44u + block.size(), bytes.size());
    uint32_t magic;
    memcpy(&magic, bytes.data(), 4);
    EXPECT_EQ(0x88000007u, magic);

    ComPtr<IStream> in = StreamOver(bytes);
    ViewStateHead read;
    ASSERT_TRUE(ReadViewStateHead(in.Get(), &read));
    EXPECT_EQ(200, read.widths[0]);
    EXPECT_EQ(0, read.widths[1]);
    EXPECT_EQ(75, read.widths[2]);
    EXPECT_EQ(8205u, read.sortCommand);
    int32_t readOrder[4] = {};
    ASSERT_TRUE(ReadColumnOrder(in.Get(), readOrder));
    EXPECT_EQ(2, readOrder[0]);
    EXPECT_EQ(3, readOrder[3]);
    std::vector<BYTE> readBlock;
    ASSERT_TRUE(ReadIconPositionBlock(in.Get(), &readBlock));
    EXPECT_EQ(block, readBlock);
}

TEST(ViewStateRecord, WithoutIconBlockOnlyItsZeroSizeIsWritten) {
    ViewStateHead head;
    head.sortCommand = 8197;
    int32_t order[4] = {0, 1, 2, 3};
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    ASSERT_EQ(S_OK, WriteViewState(stream.Get(), head, order, {}));
    std::vector<BYTE> bytes = StreamBytes(stream.Get());
    ASSERT_EQ(44u, bytes.size());
    ComPtr<IStream> in = StreamOver(bytes);
    ViewStateHead read;
    int32_t readOrder[4];
    std::vector<BYTE> block = {9};
    ASSERT_TRUE(ReadViewStateHead(in.Get(), &read));
    ASSERT_TRUE(ReadColumnOrder(in.Get(), readOrder));
    EXPECT_TRUE(ReadIconPositionBlock(in.Get(), &block));
    EXPECT_TRUE(block.empty());
}

TEST(ViewStateRecord, DamagedPartsAreRefusedOneByOne) {
    // Wrong magic: the head is not taken, whatever follows.
    std::vector<BYTE> wrong;
    Put32(&wrong, 0x88000008);
    for (int i = 0; i < 5; ++i) Put32(&wrong, 300);
    ViewStateHead head;
    head.sortCommand = 1;
    EXPECT_FALSE(ReadViewStateHead(StreamOver(wrong).Get(), &head));
    EXPECT_EQ(120, head.widths[0]);
    EXPECT_EQ(1u, head.sortCommand);

    // Right magic, head cut short.
    std::vector<BYTE> shortHead;
    Put32(&shortHead, 0x88000007);
    Put32(&shortHead, 300);
    Put32(&shortHead, 300);
    EXPECT_FALSE(ReadViewStateHead(StreamOver(shortHead).Get(), &head));
    EXPECT_EQ(120, head.widths[0]);

    // Nothing at all.
    EXPECT_FALSE(ReadViewStateHead(StreamOver({}).Get(), &head));
    EXPECT_FALSE(ReadViewStateHead(nullptr, &head));

    // A full head, then a column order of 12 bytes.
    std::vector<BYTE> shortOrder;
    Put32(&shortOrder, 0x88000007);
    for (int i = 0; i < 5; ++i) Put32(&shortOrder, 90);
    for (int i = 0; i < 3; ++i) Put32(&shortOrder, i);
    ComPtr<IStream> in = StreamOver(shortOrder);
    ASSERT_TRUE(ReadViewStateHead(in.Get(), &head));
    EXPECT_EQ(90, head.widths[3]);
    int32_t order[4];
    EXPECT_FALSE(ReadColumnOrder(in.Get(), order));

    // A block that claims more bytes than follow is discarded whole.
    std::vector<BYTE> shortBlock;
    Put32(&shortBlock, 100);
    Put32(&shortBlock, 1);
    std::vector<BYTE> block = {7};
    EXPECT_FALSE(ReadIconPositionBlock(StreamOver(shortBlock).Get(), &block));
    EXPECT_TRUE(block.empty());
    // A huge claimed size neither allocates nor reads.
    std::vector<BYTE> hugeBlock;
    Put32(&hugeBlock, 0xFFFFFFF0u);
    EXPECT_FALSE(ReadIconPositionBlock(StreamOver(hugeBlock).Get(), &block));
    // The size itself missing.
    EXPECT_FALSE(ReadIconPositionBlock(StreamOver({1, 0}).Get(), &block));
}

TEST_F(IconList, PositionsRoundTripAndOccupiedSpotsStepAside) {
    std::vector<FakeItem> items = {{L"alpha.txt", L"\\A:\\alpha.txt"},
                                   {L"Beta", L"\\A:\\Beta"},
                                   {L"gamma.bin", L"\\A:\\gamma.bin"}};
    AddRows(&items);
    Place(0, 10, 20);
    Place(1, 200, 20);
    Place(2, 10, 150);
    std::vector<BYTE> block = BuildIconPositionBlock(list_, FakeRows());

    // The header counts every row; each record ends with its name and terminator.
    uint32_t count;
    memcpy(&count, block.data(), 4);
    EXPECT_EQ(3u, count);
    EXPECT_EQ(4u + 3 * 12 + 2 * (10 + 5 + 10), block.size());

    // Shuffle, and put gamma within 3 pixels of alpha's saved spot.
    Place(0, 300, 300);
    Place(1, 400, 300);
    Place(2, 13, 17);
    EXPECT_EQ(3, RestoreIconPositions(list_, block.data(), block.size(), FakeRows()));
    // gamma was nudged out of alpha's way and then placed at its own spot.
    EXPECT_EQ(10, Position(0).x);
    EXPECT_EQ(20, Position(0).y);
    EXPECT_EQ(200, Position(1).x);
    EXPECT_EQ(10, Position(2).x);
    EXPECT_EQ(150, Position(2).y);
}

TEST_F(IconList, NudgeAppliesWithinThreePixelsOnly) {
    std::vector<FakeItem> items = {{L"a", L"\\A:\\a"}, {L"near", L"\\A:\\near"}, {L"far", L"\\A:\\far"}};
    AddRows(&items);
    Place(0, 300, 300);
    Place(1, 103, 97);   // 3 away in both: moves
    Place(2, 104, 100);  // 4 away in x: stays
    std::vector<BYTE> block;
    Put32(&block, 1);
    Put32(&block, 100);
    Put32(&block, 100);
    PutName(&block, L"A");   // names match without regard to case
    EXPECT_EQ(1, RestoreIconPositions(list_, block.data(), block.size(), FakeRows()));
    EXPECT_EQ(100, Position(0).x);
    EXPECT_EQ(115, Position(1).x);
    EXPECT_EQ(109, Position(1).y);
    EXPECT_EQ(104, Position(2).x);
    EXPECT_EQ(100, Position(2).y);
}

TEST_F(IconList, DamagedIconRecordsAreSkippedOrEndTheWalk) {
    std::vector<FakeItem> items = {{L"one", L"\\A:\\one"}, {L"two", L"\\A:\\two"}, {L"three", L"\\A:\\three"}};
    AddRows(&items);
    Place(0, 0, 0);
    Place(1, 100, 0);
    Place(2, 200, 0);

    std::vector<BYTE> block;
    Put32(&block, 5);                          // claims more records than follow
    Put32(&block, 7); Put32(&block, 7); Put32(&block, 0);        // n = 0: skipped
    Put32(&block, 50); Put32(&block, 60); PutName(&block, L"nobody");   // no such row
    Put32(&block, 70); Put32(&block, 80); PutName(&block, L"two");
    Put32(&block, 90);                          // fixed part cut short: ends
    EXPECT_EQ(1, RestoreIconPositions(list_, block.data(), block.size(), FakeRows()));
    EXPECT_EQ(70, Position(1).x);
    EXPECT_EQ(80, Position(1).y);
    EXPECT_EQ(0, Position(0).x);
    EXPECT_EQ(200, Position(2).x);

    // A name that would reach past the block is not read.
    std::vector<BYTE> cut;
    Put32(&cut, 1);
    Put32(&cut, 5); Put32(&cut, 5); Put32(&cut, 40); PutName(&cut, L"one");
    EXPECT_EQ(0, RestoreIconPositions(list_, cut.data(), cut.size(), FakeRows()));
    EXPECT_EQ(0, RestoreIconPositions(list_, nullptr, 0, FakeRows()));
    EXPECT_EQ(0, RestoreIconPositions(list_, cut.data(), 3, FakeRows()));
}

TEST_F(IconList, UnreadableRowsGiveEmptyRecords) {
    std::vector<FakeItem> items = {{L"x", L"\\A:\\x"}};
    AddRows(&items);
    LVITEMW orphan = {};
    orphan.mask = LVIF_TEXT | LVIF_PARAM;
    orphan.iItem = 1;
    orphan.pszText = const_cast<wchar_t*>(L"orphan");
    orphan.lParam = 0;
    ListView_InsertItem(list_, &orphan);
    std::vector<BYTE> block = BuildIconPositionBlock(list_, FakeRows());
    // Second record: x, y kept, n = 0 and no characters.
    ASSERT_EQ(4u + 12 + 4 + 12, block.size());
    uint32_t n;
    memcpy(&n, block.data() + block.size() - 4, 4);
    EXPECT_EQ(0u, n);
}

TEST_F(IconList, SelectionAndFocusComeBackByNameAndPath) {
    std::vector<FakeItem> items = {{L"a.txt", L"\\A:\\a.txt"}, {L"b.txt", L"\\A:\\b.txt"},
                                   {L"c.txt", L"\\A:\\c.txt"}, {L"C.TXT", L"\\B:\\C.TXT"}};
    AddRows(&items);
    Select(0, LVIS_SELECTED);
    Select(2, LVIS_SELECTED | LVIS_FOCUSED);
    std::vector<BYTE> block = BuildSelectionBlock(list_, FakeRows());
    std::wstring focused = FocusedItemPath(list_, FakeRows());
    EXPECT_EQ(L"\\A:\\c.txt", focused);
    uint32_t count;
    memcpy(&count, block.data(), 4);
    EXPECT_EQ(2u, count);

    for (int row = 0; row < 4; ++row) Select(row, 0);
    RestoreSelection(list_, block.data(), block.size(), L"\\a:\\C.txt", FakeRows());
    EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED), State(0));
    EXPECT_EQ(0u, State(1));
    EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED), State(2));
    // The first row of a name is selected, a second of the same name is not,
    // and the focus goes by the item's path.
    EXPECT_EQ(0u, State(3));

    // A short block selects what lies inside it and nothing more.
    for (int row = 0; row < 4; ++row) Select(row, 0);
    RestoreSelection(list_, block.data(), block.size() - 2, L"", FakeRows());
    EXPECT_EQ(static_cast<UINT>(LVIS_SELECTED), State(0));
    EXPECT_EQ(0u, State(2));
}
