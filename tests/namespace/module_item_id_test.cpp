#include "namespace/module_item_id.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "tests/support/fake_module_access.h"

namespace {

IdListHolder Make(const wchar_t* path, const wchar_t* shortName = L"SHORT.TXT", DWORD size = 7,
                  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
    return IdListHolder(MakeItemId(path, shortName, size, attributes, 1.5, 2.25, 3.75));
}

// An item's bytes, to be mutated and checked.
std::vector<BYTE> Bytes(LPCITEMIDLIST item) {
    const BYTE* p = reinterpret_cast<const BYTE*>(item);
    return std::vector<BYTE>(p, p + IdListSize(item));
}

LPCITEMIDLIST AsItem(const std::vector<BYTE>& bytes) {
    return reinterpret_cast<LPCITEMIDLIST>(bytes.data());
}

void PutUshort(std::vector<BYTE>& bytes, size_t offset, USHORT value) {
    memcpy(bytes.data() + offset, &value, sizeof(value));
}

IdListHolder Join(std::initializer_list<LPCITEMIDLIST> items) {
    IdListHolder list;
    for (LPCITEMIDLIST item : items) list.reset(JoinIdLists(list.get(), item));
    return list;
}

TEST(ModuleItemIdLayout, FieldsSitAtTheirOffsetsAndAnEndMarkerFollows) {
    IdListHolder item = Make(L"\\A:\\Data\\Photo.jpg", L"PHOTO.JPG", 1234, 0x21);
    ASSERT_TRUE(item);
    const BYTE* raw = reinterpret_cast<const BYTE*>(item.get());
    const size_t pathLength = wcslen(L"\\A:\\Data\\Photo.jpg");
    const size_t cb = 42 + 2 * (pathLength + 9);
    USHORT u16;
    memcpy(&u16, raw, 2);
    EXPECT_EQ(cb, u16);
    memcpy(&u16, raw + 2, 2);
    EXPECT_EQ(100, u16);
    DWORD u32;
    memcpy(&u32, raw + 4, 4);
    EXPECT_EQ(1234u, u32);
    memcpy(&u32, raw + 8, 4);
    EXPECT_EQ(0x21u, u32);
    double d;
    memcpy(&d, raw + 12, 8);
    EXPECT_EQ(1.5, d);
    memcpy(&d, raw + 20, 8);
    EXPECT_EQ(2.25, d);
    memcpy(&d, raw + 28, 8);
    EXPECT_EQ(3.75, d);
    memcpy(&u16, raw + 36, 2);
    EXPECT_EQ(pathLength + 1, u16);
    EXPECT_EQ(0, memcmp(raw + 38, L"\\A:\\Data\\Photo.jpg", 2 * (pathLength + 1)));
    EXPECT_STREQ(L"PHOTO.JPG", reinterpret_cast<const wchar_t*>(raw + 38 + 2 * (pathLength + 1)));
    memcpy(&u16, raw + cb, 2);
    EXPECT_EQ(0, u16);  // a single item is a complete list

    EXPECT_TRUE(IsValidItemId(item.get()));
    EXPECT_STREQ(L"\\A:\\Data\\Photo.jpg", ItemPath(item.get()));
    EXPECT_STREQ(L"Photo.jpg", ItemName(item.get()));
    EXPECT_STREQ(L"PHOTO.JPG", ItemShortName(item.get()));
    EXPECT_EQ(1234u, ItemSize(item.get()));
    EXPECT_EQ(0x21u, ItemAttributes(item.get()));
    EXPECT_EQ(1.5, ItemCreated(item.get()));
    EXPECT_EQ(2.25, ItemAccessed(item.get()));
    EXPECT_EQ(3.75, ItemModified(item.get()));
    EXPECT_EQ(1u, CountItems(item.get()));
}

TEST(ModuleItemIdLayout, TextsTooLongForTheCountAreRefused) {
    std::wstring longPath(32746, L'x');
    IdListHolder fits(MakeItemId(longPath.c_str(), L"", 0, 0, 0, 0, 0));
    ASSERT_TRUE(fits);
    EXPECT_EQ(0xFFFEu, IdListSize(fits.get()) - 2);
    EXPECT_TRUE(IsValidItemId(fits.get()));
    longPath += L'x';
    EXPECT_EQ(nullptr, MakeItemId(longPath.c_str(), L"", 0, 0, 0, 0, 0));
}

TEST(ModuleItemIdValidity, RefusesMalformedHeadersAndTexts) {
    IdListHolder good = Make(L"\\A:\\x.txt", L"X.TXT");
    const std::vector<BYTE> base = Bytes(good.get());
    const USHORT cb = static_cast<USHORT>(base.size() - 2);
    EXPECT_TRUE(IsValidItemId(AsItem(base)));
    EXPECT_FALSE(IsValidItemId(nullptr));

    struct Case {
        const char* what;
        size_t offset;
        USHORT value;
    };
    const USHORT pathChars = 8;  // "\A:\x.txt" has 9 characters
    const Case cases[] = {
        {"signature 99", 2, 99},
        {"path length zero", 36, 0},
        {"path runs to the end", 36, static_cast<USHORT>((cb - 38) / 2)},
        {"path longer than the item", 36, 0xFFFF},
        {"path terminator missing", 38 + 2 * 9, L'!'},
        {"item terminator missing", cb - 2u, L'!'},
        {"NUL inside the path", 38 + 2 * 3, 0},
        {"NUL inside the short name", 38 + 2 * 10 + 2, 0},
        {"path one short of its terminator", 36, pathChars},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> bytes = base;
        PutUshort(bytes, c.offset, c.value);
        EXPECT_FALSE(IsValidItemId(AsItem(bytes))) << c.what;
    }
}

TEST(ModuleItemIdValidity, ByteCountsMustBeEvenAndAtLeast42) {
    // A 42-byte item: empty path is impossible (path "" still has n = 1), so
    // build the smallest valid one by hand: path "", short name "".
    std::vector<BYTE> bytes(44, 0);
    PutUshort(bytes, 0, 42);
    PutUshort(bytes, 2, 100);
    PutUshort(bytes, 36, 1);
    EXPECT_TRUE(IsValidItemId(AsItem(bytes)));

    for (USHORT cb : {0, 1, 2, 38, 40, 41}) {
        PutUshort(bytes, 0, cb);
        EXPECT_FALSE(IsValidItemId(AsItem(bytes))) << cb;
    }
    std::vector<BYTE> odd(46, 0);
    PutUshort(odd, 0, 43);
    PutUshort(odd, 2, 100);
    PutUshort(odd, 36, 1);
    EXPECT_FALSE(IsValidItemId(AsItem(odd)));
}

TEST(ModuleItemIdValidity, EmptyShortNameIsAccepted) {
    IdListHolder item = Make(L"\\A:\\Data", L"");
    ASSERT_TRUE(item);
    EXPECT_EQ(42 + 2 * wcslen(L"\\A:\\Data"), IdListSize(item.get()) - 2);
    EXPECT_TRUE(IsValidItemId(item.get()));
    EXPECT_STREQ(L"", ItemShortName(item.get()));
}

TEST(ModuleItemIdKinds, DrivesAreUpperCaseLetterAndColon) {
    EXPECT_TRUE(IsDriveItem(Make(L"\\A:").get()));
    EXPECT_TRUE(IsDriveItem(Make(L"Z:").get()));
    EXPECT_FALSE(IsDriveItem(Make(L"\\a:").get()));
    EXPECT_FALSE(IsDriveItem(Make(L"\\A:\\Data").get()));
    EXPECT_FALSE(IsDriveItem(Make(L"\\AB").get()));
    EXPECT_FALSE(IsDriveItem(Make(L"\\\\A:").get()));
    EXPECT_FALSE(IsDriveItem(Make(L"").get()));

    EXPECT_TRUE(IsContainerItem(Make(L"\\A:", L"", 0, 0).get()));
    EXPECT_TRUE(IsContainerItem(Make(L"\\A:\\Data", L"", 0, FILE_ATTRIBUTE_DIRECTORY).get()));
    EXPECT_FALSE(IsContainerItem(Make(L"\\A:\\x.txt").get()));

    EXPECT_STREQ(L"A:", ItemName(Make(L"\\A:").get()));
    EXPECT_STREQ(L"x", ItemName(Make(L"A:x").get()));
}

TEST(ModuleItemIdLists, CopyCountAndIndex) {
    IdListHolder a = Make(L"\\A:"), b = Make(L"\\A:\\Data"), c = Make(L"\\A:\\Data\\x.txt");
    IdListHolder list = Join({a.get(), b.get(), c.get()});
    ASSERT_TRUE(list);
    EXPECT_EQ(3u, CountItems(list.get()));
    EXPECT_EQ(0u, CountItems(nullptr));
    EXPECT_EQ(IdListSize(a.get()) + IdListSize(b.get()) + IdListSize(c.get()) - 4,
              IdListSize(list.get()));

    EXPECT_EQ(list.get(), ItemAt(list.get(), -3));
    EXPECT_EQ(list.get(), ItemAt(list.get(), 0));
    EXPECT_STREQ(L"\\A:\\Data", ItemPath(ItemAt(list.get(), 1)));
    EXPECT_STREQ(L"\\A:\\Data\\x.txt", ItemPath(ItemAt(list.get(), 2)));
    EXPECT_STREQ(L"\\A:\\Data\\x.txt", ItemPath(LastItem(list.get())));
    EXPECT_EQ(nullptr, ItemAt(list.get(), 3));
    EXPECT_EQ(nullptr, ItemAt(nullptr, 0));

    LPITEMIDLIST copy = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(S_OK, CopyIdList(nullptr, &copy));
    EXPECT_EQ(nullptr, copy);
    ASSERT_EQ(S_OK, CopyIdList(list.get(), &copy));
    IdListHolder owned(copy);
    EXPECT_NE(list.get(), copy);
    ASSERT_EQ(IdListSize(list.get()), IdListSize(copy));
    EXPECT_EQ(0, memcmp(list.get(), copy, IdListSize(copy)));
}

TEST(ModuleItemIdLists, SubListBounds) {
    IdListHolder a = Make(L"\\A:"), b = Make(L"\\A:\\Data"), c = Make(L"\\A:\\Data\\x.txt");
    IdListHolder list = Join({a.get(), b.get(), c.get()});

    EXPECT_EQ(nullptr, SubList(list.get(), 2, 1));
    EXPECT_EQ(nullptr, SubList(list.get(), 3, 4));  // starts at the terminator
    EXPECT_EQ(nullptr, SubList(list.get(), 5, 6));
    EXPECT_EQ(nullptr, SubList(nullptr, 0, 0));

    IdListHolder first(SubList(list.get(), 0, 0));
    ASSERT_TRUE(first);
    EXPECT_EQ(1u, CountItems(first.get()));
    EXPECT_STREQ(L"\\A:", ItemPath(first.get()));

    IdListHolder middle(SubList(list.get(), 1, 1));
    ASSERT_TRUE(middle);
    EXPECT_EQ(1u, CountItems(middle.get()));
    EXPECT_STREQ(L"\\A:\\Data", ItemPath(middle.get()));

    IdListHolder tail(SubList(list.get(), 1, 99));  // clipped to the end
    ASSERT_TRUE(tail);
    EXPECT_EQ(2u, CountItems(tail.get()));
    EXPECT_STREQ(L"\\A:\\Data\\x.txt", ItemPath(ItemAt(tail.get(), 1)));
}

TEST(ModuleItemIdLists, JoinKeepsOrderAndTreatsNullAsEmpty) {
    IdListHolder a = Make(L"\\A:"), b = Make(L"\\B:");
    IdListHolder empty(JoinIdLists(nullptr, nullptr));
    ASSERT_TRUE(empty);
    EXPECT_EQ(0u, CountItems(empty.get()));
    EXPECT_EQ(2u, IdListSize(empty.get()));

    IdListHolder onlyB(JoinIdLists(empty.get(), b.get()));
    ASSERT_EQ(IdListSize(b.get()), IdListSize(onlyB.get()));
    EXPECT_EQ(0, memcmp(b.get(), onlyB.get(), IdListSize(b.get())));

    IdListHolder ab(JoinIdLists(a.get(), b.get()));
    EXPECT_EQ(2u, CountItems(ab.get()));
    EXPECT_STREQ(L"\\A:", ItemPath(ItemAt(ab.get(), 0)));
    EXPECT_STREQ(L"\\B:", ItemPath(ItemAt(ab.get(), 1)));
    IdListHolder aOnly(JoinIdLists(a.get(), nullptr));
    EXPECT_EQ(1u, CountItems(aOnly.get()));
}

TEST(ModuleItemIdLists, HolderCopiesOnAssignmentAndMoves) {
    IdListHolder a = Make(L"\\A:\\x");
    IdListHolder copy;
    copy = static_cast<LPCITEMIDLIST>(a.get());
    ASSERT_TRUE(copy);
    EXPECT_NE(a.get(), copy.get());
    EXPECT_STREQ(L"\\A:\\x", ItemPath(copy.get()));

    IdListHolder second(copy);
    EXPECT_NE(copy.get(), second.get());
    second = second;  // self-assignment keeps the list
    ASSERT_TRUE(second);
    second = static_cast<LPCITEMIDLIST>(second.get());  // assigning its own raw list
    ASSERT_TRUE(second);
    EXPECT_STREQ(L"\\A:\\x", ItemPath(second.get()));

    LPITEMIDLIST raw = second.get();
    IdListHolder moved(std::move(second));
    EXPECT_EQ(raw, moved.get());
    EXPECT_FALSE(second);
    copy = static_cast<LPCITEMIDLIST>(nullptr);
    EXPECT_FALSE(copy);
}

TEST(ModuleItemIdDescription, DriveTypeNameAndLocation) {
    EXPECT_EQ(Resources().LoadString(IDS_MODULE_DISK), ItemTypeName(Make(L"\\A:").get()));
    // Only the hidden and folder bits reach the shell.
    EXPECT_EQ(ItemTypeName(Make(L"\\A:\\Data", L"", 0, 0x10).get()),
              ItemTypeName(Make(L"\\A:\\Data", L"", 0, 0x10 | 0x01 | 0x04 | 0x20).get()));

    EXPECT_EQ(L"Module\\A:\\Data", ItemLocation(Make(L"\\A:\\Data\\Photo.jpg").get()));
    EXPECT_EQ(L"Module\\A:", ItemLocation(Make(L"\\A:\\Data").get()));
    EXPECT_EQ(L"Module", ItemLocation(Make(L"\\A:").get()));
    EXPECT_EQ(L"A:", ItemParentPath(L"A:Photo.jpg"));
    EXPECT_EQ(L"", ItemParentPath(L""));
}

TEST(ModuleItemIdDescription, DrivesShowThePcDiskIcon) {
    IdListHolder drive = Make(L"\\A:", L"\\A:", 0, 0);
    EXPECT_EQ(IconIndexForName(L"C:\\", 0, false), ItemLargeIconIndex(drive.get()));
    EXPECT_EQ(IconIndexForName(L"C:\\", 0, true), ItemSmallIconIndex(drive.get()));
    IdListHolder file = Make(L"\\A:\\notes.txt");
    EXPECT_EQ(IconIndexForName(L"notes.txt", FILE_ATTRIBUTE_ARCHIVE, true),
              ItemSmallIconIndex(file.get()));
    EXPECT_NE(nullptr, SystemImageList(true));
    EXPECT_NE(nullptr, SystemImageList(false));
    HICON icon = ItemSmallIcon(file.get());
    EXPECT_NE(nullptr, icon);
    if (icon) DestroyIcon(icon);
}

TEST(ModuleItemIdText, RoundTripsAndRefusesWrongFieldCounts) {
    SYSTEMTIME local = {2024, 3, 0, 15, 10, 20, 30, 400};
    double time = 0;
    SystemTimeToVariantTime(&local, &time);
    IdListHolder item(MakeItemId(L"\\A:\\Data\\Photo.jpg", L"PHOTO.JPG", 0xFFFFFFFF, 0x21, time, 0,
                                 time));
    const std::wstring text = ItemToText(item.get());
    EXPECT_EQ(0u, text.find(L"\\A:\\Data\\Photo.jpg|PHOTO.JPG|-1|33|2024/3/15/10/20/30/"));
    EXPECT_NE(std::wstring::npos, text.find(L"|0/0/0/0/0/0/0|"));

    IdListHolder back(ItemFromText(text));
    ASSERT_TRUE(back);
    EXPECT_TRUE(IsValidItemId(back.get()));
    EXPECT_STREQ(L"\\A:\\Data\\Photo.jpg", ItemPath(back.get()));
    EXPECT_STREQ(L"PHOTO.JPG", ItemShortName(back.get()));
    EXPECT_EQ(0xFFFFFFFFu, ItemSize(back.get()));
    EXPECT_EQ(0x21u, ItemAttributes(back.get()));
    EXPECT_NEAR(time, ItemCreated(back.get()), 1e-6);
    EXPECT_EQ(0.0, ItemAccessed(back.get()));

    EXPECT_FALSE(ItemFromText(L"\\A:|A:|0|16|0/0/0/0/0/0/0|0/0/0/0/0/0/0"));
    EXPECT_FALSE(ItemFromText(text + L"|extra"));
    EXPECT_FALSE(ItemFromText(L"\\A:|A:|0|16|0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0"));
    EXPECT_FALSE(ItemFromText(L""));
    IdListHolder lenient(ItemFromText(L"\\A:|A:| 12abc|x|0/0/0/0/0/0/0|0/0/0/0/0/0/0|0/0/0/0/0/0/0"));
    ASSERT_TRUE(lenient);
    EXPECT_EQ(12u, ItemSize(lenient.get()));
    EXPECT_EQ(0u, ItemAttributes(lenient.get()));
}

TEST(ModuleItemIdAbsolute, RootIsMyComputerPlusModuleOrMissing) {
    LPITEMIDLIST root = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(E_POINTER, FindModuleRoot(nullptr));
    HRESULT hr = FindModuleRoot(&root);
    IdListHolder owned(root);
    if (FAILED(hr)) {
        EXPECT_EQ(E_FAIL, hr);  // the folder is not registered in this prefix
        EXPECT_EQ(nullptr, root);
    } else {
        EXPECT_GE(CountItems(root), 2u);
    }

    FakeModuleAccess* fake = new FakeModuleAccess();
    LPITEMIDLIST list = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(E_POINTER, ItemIdListForPath(L"\\A:", nullptr, &list));
    EXPECT_EQ(nullptr, list);
    EXPECT_EQ(E_POINTER, ItemIdListForPath(L"\\A:", fake, nullptr));
    fake->Release();
}

}  // namespace
