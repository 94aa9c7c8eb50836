#include "module_access/listing.h"

#include <gtest/gtest.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "module_access/listing_layout.h"
#include "testing/fake_module_access.h"

namespace {

const HRESULT kLinkDown = static_cast<HRESULT>(0x8004A004L);

class Listing : public ::testing::Test {
protected:
    void SetUp() override {
        fake_ = new FakeModuleAccess();
        fake_->AddDrive(L"A:");
        fake_->AddDrive(L"B:");
        fake_->AddFolder(L"\\A:\\Data", L"DATA");
        fake_->AddFile(L"\\A:\\Data\\Photo.jpg", 1000, 0x21, L"PHOTO.JPG");
        fake_->AddFolder(L"\\A:\\Data\\Sub");
        fake_->AddFile(L"\\A:\\Data\\Sub\\deep.txt", 20);
        fake_->AddFolder(L"\\A:\\Data\\Sub\\Deeper");
        fake_->AddFile(L"\\A:\\Data\\Sub\\Deeper\\deepest.txt", 300);
        fake_->AddFile(L"\\A:\\readme.txt", 4);
        fake_->AddFile(L"\\B:\\big.bin", 0xFFFFFFF0u);
    }
    void TearDown() override { fake_->Release(); }

    std::vector<std::wstring> Paths(const ItemArray& items) {
        std::vector<std::wstring> paths;
        for (UINT i = 0; i < items.count(); ++i) paths.push_back(ItemPath(items[i]));
        return paths;
    }

    FakeModuleAccess* fake_ = nullptr;
};

TEST_F(Listing, FolderEntriesCarryTheirRecords) {
    std::vector<IdListHolder> items;
    ASSERT_EQ(S_OK, ListItems(L"\\A:\\Data", &items, fake_, false));
    EXPECT_EQ(L"ListFolder(\\A:\\Data\\*,0)", fake_->Calls().back());
    ASSERT_EQ(2u, items.size());
    LPCITEMIDLIST photo = items[0].get();
    EXPECT_STREQ(L"\\A:\\Data\\Photo.jpg", ItemPath(photo));
    EXPECT_STREQ(L"PHOTO.JPG", ItemShortName(photo));
    EXPECT_EQ(1000u, ItemSize(photo));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY), ItemAttributes(photo));
    EXPECT_EQ(45000.25, ItemCreated(photo));
    EXPECT_EQ(45001.5, ItemAccessed(photo));
    EXPECT_EQ(45002.75, ItemModified(photo));

    // A trailing "\" is not doubled, and folders-only reaches the server.
    ASSERT_EQ(S_OK, ListItems(L"\\A:\\Data\\", &items, fake_, true));
    EXPECT_EQ(L"ListFolder(\\A:\\Data\\*,1)", fake_->Calls().back());
    ASSERT_EQ(1u, items.size());
    EXPECT_STREQ(L"\\A:\\Data\\Sub", ItemPath(items[0].get()));
}

TEST_F(Listing, EmptyAndMalformedAnswers) {
    UniqueVariant empty;  // VT_EMPTY
    UniqueVariant nullArray;
    V_VT(nullArray.get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(nullArray.get()) = nullptr;
    for (VARIANT* answer : {empty.get(), nullArray.get()}) {
        fake_->SetRawListing(L"\\A:\\Data\\*", *answer);
        std::vector<IdListHolder> items(1);
        ASSERT_EQ(S_OK, ListItems(L"\\A:\\Data", &items, fake_, false));
        EXPECT_TRUE(items.empty());
    }

    // Malformed arrays fail without reading outside them.
    ItemArray items;
    // One dimension only.
    SAFEARRAYBOUND one = {listing_layout::kFieldCount, 0};
    UniqueVariant flat;
    V_VT(flat.get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(flat.get()) = SafeArrayCreate(VT_VARIANT, 1, &one);
    fake_->SetRawListing(L"\\A:\\*", *flat.get());
    EXPECT_EQ(E_FAIL, ListItemsEx(L"\\A:", L"*", &items, fake_, false, false));

    // A field short per entry.
    SAFEARRAYBOUND six[2] = {{3, 0}, {listing_layout::kFieldCount - 1, 0}};
    UniqueVariant narrow;
    V_VT(narrow.get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(narrow.get()) = SafeArrayCreate(VT_VARIANT, 2, six);
    fake_->SetRawListing(L"\\A:\\*", *narrow.get());
    EXPECT_EQ(E_FAIL, ListItemsEx(L"\\A:", L"*", &items, fake_, false, false));
    EXPECT_EQ(0u, items.count());

    // An untagged name field reads as an empty name, and a nameless entry is
    // no item of the folder: it is left out.
    SAFEARRAYBOUND bounds[2] = {{1, 5}, {listing_layout::kFieldCount, 1}};  // lower bounds do not matter
    UniqueVariant odd;
    V_VT(odd.get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(odd.get()) = SafeArrayCreate(VT_VARIANT, 2, bounds);
    VARIANT* data = nullptr;
    SafeArrayAccessData(V_ARRAY(odd.get()), reinterpret_cast<void**>(&data));
    VARIANT& name = data[listing_layout::Position(1, 0, listing_layout::kName)];
    VARIANT& size = data[listing_layout::Position(1, 0, listing_layout::kSize)];
    V_VT(&name) = VT_I4;
    V_I4(&name) = 0x1234;  // a "name" that is a number
    V_VT(&size) = VT_UI4;
    V_UI4(&size) = 77;
    SafeArrayUnaccessData(V_ARRAY(odd.get()));
    fake_->SetRawListing(L"\\A:\\*", *odd.get());
    ASSERT_EQ(S_OK, ListItemsEx(L"\\A:", L"*", &items, fake_, false, false));
    EXPECT_EQ(0u, items.count());
}

// Names that would make a path point at the folder itself, its parent or
// deeper are left out of listings and refused by lookups; the rest stay.
TEST_F(Listing, NamesThatAreNoItemOfTheFolderAreLeftOut) {
    const std::vector<std::wstring> names = {L"", L".", L"..", L"a\\b", L"..\\Other", L"kept.txt", L"...", L".hidden"};
    auto rowAt = [&](ULONG i) {
        listing_layout::Row row;
        row.name = names[i].c_str();
        row.nameLength = static_cast<UINT>(names[i].size());
        row.attributes = i < 5 ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        return row;
    };
    UniqueVariant answer;
    ASSERT_EQ(S_OK, listing_layout::WriteListing(static_cast<ULONG>(names.size()), rowAt, answer.out()));
    fake_->SetRawListing(L"\\A:\\Data\\*", *answer.get());
    ItemArray items;
    ASSERT_EQ(S_OK, ListItemsEx(L"\\A:\\Data", L"*", &items, fake_, false, true));
    std::vector<std::wstring> paths;
    for (UINT i = 0; i < items.count(); ++i) paths.push_back(ItemPath(items[i]));
    EXPECT_EQ(paths, (std::vector<std::wstring>{L"\\A:\\Data\\kept.txt", L"\\A:\\Data\\...", L"\\A:\\Data\\.hidden"}));

    for (const wchar_t* bad : {L"..", L""}) {
        listing_layout::Row row;
        row.name = bad;
        row.nameLength = static_cast<UINT>(wcslen(bad));
        UniqueVariant one;
        ASSERT_EQ(S_OK, listing_layout::WriteListing(1, [&](ULONG) { return row; }, one.out()));
        fake_->SetRawListing(L"\\A:\\Data\\x", *one.get());
        IdListHolder item;
        EXPECT_EQ(E_FAIL, GetItemRecord(L"\\A:\\Data\\x", fake_, item.out())) << bad;
        EXPECT_FALSE(item);
    }
}

TEST_F(Listing, ArrayGrowsIn32EntrySteps) {
    fake_->AddFolder(L"\\A:\\Many");
    for (int i = 0; i < 33; ++i)
        fake_->AddFile((L"\\A:\\Many\\f" + std::to_wstring(100 + i)).c_str(), i);
    ItemArray items;
    ASSERT_EQ(S_OK, ListItemsEx(L"\\A:\\Many", L"*", &items, fake_, false, false));
    EXPECT_EQ(33u, items.count());
    EXPECT_EQ(64u, items.capacity());
    EXPECT_STREQ(L"\\A:\\Many\\f132", ItemPath(items[32]));
    EXPECT_EQ(nullptr, items.items()[33]);  // grown part is zeroed

    // A further listing appends; the pattern reaches the server as given.
    ASSERT_EQ(S_OK, ListItemsEx(L"\\A:\\Many", L"f10*", &items, fake_, false, false));
    EXPECT_EQ(L"ListFolder(\\A:\\Many\\f10*,0)", fake_->Calls().back());
    ASSERT_EQ(43u, items.count());
    EXPECT_STREQ(L"\\A:\\Many\\f109", ItemPath(items[42]));
}

TEST(ItemArrayReserve, RoomForManyAtOnceInMultiplesOf32) {
    struct Case {
        UINT held, more, capacity;
    } cases[] = {
        {0, 0, 0},      {0, 1, 32},    {0, 32, 32},   {0, 33, 64}, {0, 1000, 1024},
        {33, 31, 64},   // fits: the array stays where it is
        {33, 32, 96},   // a held array grows by half at least
        {33, 200, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.held << " + " << c.more);
        ItemArray items;
        for (UINT i = 0; i < c.held; ++i)
            ASSERT_EQ(S_OK, items.Append(MakeItemId((L"\\A:\\f" + std::to_wstring(i)).c_str(),
                                                    L"", i, 0, 0, 0, 0)));
        const UINT before = items.capacity();
        LPITEMIDLIST* const storage = items.items();
        ASSERT_EQ(S_OK, items.Reserve(c.more));
        EXPECT_EQ(c.capacity, items.capacity());
        EXPECT_EQ(c.held, items.count());
        if (c.capacity == before) EXPECT_EQ(storage, items.items());
        for (UINT i = c.held; i < items.capacity(); ++i) EXPECT_EQ(nullptr, items.items()[i]);
        if (c.held) EXPECT_STREQ(L"\\A:\\f32", ItemPath(items[32]));
    }
    // Beyond what a 32-bit size can count: refused, the array as it was.
    ItemArray items;
    ASSERT_EQ(S_OK, items.Append(MakeItemId(L"\\A:\\x", L"", 1, 0, 0, 0, 0)));
    EXPECT_EQ(E_OUTOFMEMORY, items.Reserve(0xFFFFFFFFu));
    EXPECT_EQ(1u, items.count());
    EXPECT_EQ(32u, items.capacity());
}

TEST_F(Listing, ALongListingIsReservedOnceAndAppendsKeepTheirOrder) {
    fake_->AddFolder(L"\\A:\\Wide");
    fake_->AddFolder(L"\\A:\\Wide\\Deep");
    for (int i = 0; i < 1000; ++i) {
        fake_->AddFile((L"\\A:\\Wide\\f" + std::to_wstring(1000 + i)).c_str(), i);
        fake_->AddFile((L"\\A:\\Wide\\Deep\\g" + std::to_wstring(1000 + i)).c_str(), i);
    }
    ItemArray items;
    ASSERT_EQ(S_OK, ListItemsEx(L"\\A:\\Wide", L"f*", &items, fake_, false, false));
    EXPECT_EQ(1000u, items.count());
    EXPECT_EQ(1024u, items.capacity());

    // Recursive: the folder's contents come between its own entry and the
    // rest of the outer listing, all in one array.
    ItemArray all;
    ASSERT_EQ(S_OK, ListItemsEx(L"\\A:\\Wide", L"*", &all, fake_, false, true));
    ASSERT_EQ(2001u, all.count());
    // The inner listing reserved room for the outer entries still to come too.
    EXPECT_EQ(2016u, all.capacity());
    std::vector<std::wstring> paths = Paths(all);
    EXPECT_EQ(L"\\A:\\Wide\\Deep", paths[0]);
    EXPECT_EQ(L"\\A:\\Wide\\Deep\\g1999", paths[1000]);
    EXPECT_EQ(L"\\A:\\Wide\\f1000", paths[1001]);
    EXPECT_EQ(L"\\A:\\Wide\\f1999", paths[2000]);
}

TEST_F(Listing, RecursiveListingIsDepthFirst) {
    ItemArray items;
    ASSERT_EQ(S_OK, ListItemsEx(L"", L"*", &items, fake_, false, true));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"\\A:", L"\\A:\\Data", L"\\A:\\Data\\Photo.jpg", L"\\A:\\Data\\Sub",
                  L"\\A:\\Data\\Sub\\deep.txt", L"\\A:\\Data\\Sub\\Deeper",
                  L"\\A:\\Data\\Sub\\Deeper\\deepest.txt", L"\\A:\\readme.txt", L"\\B:",
                  L"\\B:\\big.bin"}),
              Paths(items));
    EXPECT_EQ(L"ListFolder(\\*,0)", fake_->Calls()[0]);
    EXPECT_EQ(L"ListFolder(\\A:\\Data\\Sub\\Deeper\\*,0)", fake_->Calls()[4]);

    ItemArray folders;
    ASSERT_EQ(S_OK, ListItemsEx(L"\\A:", L"*", &folders, fake_, true, true));
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data", L"\\A:\\Data\\Sub",
                                         L"\\A:\\Data\\Sub\\Deeper"}),
              Paths(folders));
}

TEST_F(Listing, FailureAtAnyDepthFreesEverything) {
    ItemArray items;
    ASSERT_EQ(S_OK, ListItemsEx(L"\\B:", L"*", &items, fake_, false, false));
    ASSERT_EQ(1u, items.count());

    fake_->FailOn(L"ListFolder", L"\\A:\\Data\\Sub\\*", kLinkDown);
    EXPECT_EQ(kLinkDown, ListItemsEx(L"\\A:", L"*", &items, fake_, false, true));
    EXPECT_EQ(nullptr, items.items());
    EXPECT_EQ(0u, items.count());
    EXPECT_EQ(0u, items.capacity());

    std::vector<IdListHolder> list(5);
    fake_->FailOn(L"ListFolder", L"\\A:\\*", kLinkDown);
    EXPECT_EQ(kLinkDown, ListItems(L"\\A:", &list, fake_, false));
    EXPECT_TRUE(list.empty());
}

TEST_F(Listing, NullArgumentsAreRefused) {
    std::vector<IdListHolder> items;
    EXPECT_EQ(E_POINTER, ListItems(L"", nullptr, fake_, false));
    EXPECT_EQ(E_POINTER, ListItems(L"", &items, nullptr, false));
    EXPECT_EQ(E_INVALIDARG, ListItemsEx(L"", L"*", nullptr, fake_, false, false));
    EXPECT_EQ(E_INVALIDARG, GetItemRecord(L"\\A:", fake_, nullptr));
    EXPECT_TRUE(fake_->Calls().empty());
}

TEST_F(Listing, SingleItemLookup) {
    IdListHolder item;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Photo.jpg", fake_, item.out()));
    EXPECT_EQ(L"ListFolder(\\A:\\Data\\Photo.jpg,0)", fake_->Calls().back());
    ASSERT_TRUE(item);
    EXPECT_EQ(1000u, ItemSize(item.get()));
    // The server's spelling of the name wins.
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\DATA", fake_, item.out()));
    ASSERT_TRUE(item);
    EXPECT_STREQ(L"\\A:\\Data", ItemPath(item.get()));
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\missing.txt", fake_, item.out()));
    EXPECT_FALSE(item);

    UniqueVariant empty;  // how the server says "no such item"
    fake_->SetRawListing(L"\\A:\\Data\\Photo.jpg", *empty.get());
    EXPECT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Photo.jpg", fake_, item.out()));
    EXPECT_FALSE(item);
    UniqueVariant number;
    V_VT(number.get()) = VT_I4;
    V_I4(number.get()) = 1;
    fake_->SetRawListing(L"\\A:\\odd", *number.get());
    EXPECT_EQ(E_FAIL, GetItemRecord(L"\\A:\\odd", fake_, item.out()));
    EXPECT_FALSE(item);
    fake_->FailOn(L"ListFolder", L"\\A:\\readme.txt", kLinkDown);
    EXPECT_EQ(kLinkDown, GetItemRecord(L"\\A:\\readme.txt", fake_, item.out()));
}

TEST_F(Listing, DriveItemForItsProperties) {
    fake_->AddDrive(L"C:", 0xF0000000u, 12345);
    IdListHolder drive;
    ASSERT_EQ(S_OK, GetDriveItem(L"C:", fake_, drive.out()));
    EXPECT_EQ(L"GetDiskSpace(\\C:)", fake_->Calls().back());
    ASSERT_TRUE(IsValidItemId(drive.get()));
    EXPECT_TRUE(IsDriveItem(drive.get()));
    EXPECT_STREQ(L"\\C:", ItemPath(drive.get()));
    EXPECT_EQ(0xF0000000u, ItemSize(drive.get()));
    EXPECT_EQ(12345.0, ItemModified(drive.get()));

    EXPECT_EQ(E_INVALIDARG, GetDriveItem(L"\\A:\\Data", fake_, drive.out()));
    fake_->FailOn(L"GetDiskSpace", L"", kLinkDown);
    EXPECT_EQ(kLinkDown, GetDriveItem(L"\\A:", fake_, drive.out()));
    EXPECT_FALSE(drive);
}

TEST_F(Listing, TotalSizeDescendsAndPumps) {
    IdListHolder data, readme, drive;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data", fake_, data.out()));
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\readme.txt", fake_, readme.out()));
    ASSERT_EQ(S_OK, GetItemRecord(L"\\B:", fake_, drive.out()));
    LPCITEMIDLIST selection[] = {data.get(), readme.get(), drive.get()};

    ULONGLONG total = 5;
    ASSERT_EQ(S_OK, TotalFileSize(L"\\A:", selection, 3, &total, false, fake_));
    EXPECT_EQ(5u + 1000 + 20 + 300 + 4 + 0xFFFFFFF0ull, total);
    EXPECT_EQ(E_POINTER, TotalFileSize(L"\\A:", selection, 1, nullptr, false, fake_));

    // A folder that cannot be listed adds nothing and reports nothing.
    fake_->FailOn(L"ListFolder", L"\\A:\\Data\\Sub\\*", kLinkDown);
    total = 0;
    ASSERT_EQ(S_OK, TotalFileSize(L"\\A:", selection, 2, &total, false, fake_));
    EXPECT_EQ(1000u + 4, total);

    // Asked to pump, it empties the thread's queue on the way.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // makes sure the thread has a queue
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0));
    ASSERT_EQ(S_OK, TotalFileSize(L"\\A:", selection + 1, 1, &total, true, fake_));
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_APP, WM_APP, PM_REMOVE));
}

// A server that answers a folder with two nameless folders, each the folder
// itself again: every level twice as wide. The walk gives up at its depth
// limit instead of running on for ever.
TEST_F(Listing, TotalSizeGivesUpOnAFolderThatHoldsItself) {
    fake_->AddFolder(L"\\A:\\Loop");
    FakeModuleAccess::Entry self;
    self.path = L"\\A:\\Loop\\";
    self.attributes = FILE_ATTRIBUTE_DIRECTORY;
    UniqueVariant twice;
    ASSERT_EQ(S_OK, FakeModuleAccess::BuildListing({&self, &self}, twice.out()));
    fake_->SetRawListing(L"\\A:\\Loop\\*", *twice.get());
    IdListHolder loop;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Loop", fake_, loop.out()));
    LPCITEMIDLIST selection[] = {loop.get()};
    fake_->ClearCalls();
    ULONGLONG total = 0;
    EXPECT_EQ(S_OK, TotalFileSize(L"\\A:", selection, 1, &total, false, fake_));
    EXPECT_EQ(0u, total);
    EXPECT_LE(fake_->CountCalls(L"ListFolder"), static_cast<size_t>(kMaxListingDepth + 1));
}

}  // namespace
