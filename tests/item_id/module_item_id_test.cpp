#include "item_id/module_item_id.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

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

template <class T>
T At(LPCITEMIDLIST item, size_t offset) {
    T value;
    memcpy(&value, reinterpret_cast<const BYTE*>(item) + offset, sizeof(value));
    return value;
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
    const size_t pathLength = wcslen(L"\\A:\\Data\\Photo.jpg");
    const size_t cb = 42 + 2 * (pathLength + 9);
    EXPECT_EQ(At<USHORT>(item.get(), 0), cb);
    EXPECT_EQ(At<USHORT>(item.get(), 2), 100);
    EXPECT_EQ(At<DWORD>(item.get(), 4), 1234u);
    EXPECT_EQ(At<DWORD>(item.get(), 8), 0x21u);
    EXPECT_EQ(At<double>(item.get(), 12), 1.5);
    EXPECT_EQ(At<double>(item.get(), 20), 2.25);
    EXPECT_EQ(At<double>(item.get(), 28), 3.75);
    EXPECT_EQ(At<USHORT>(item.get(), 36), pathLength + 1);
    const wchar_t* texts = reinterpret_cast<const wchar_t*>(reinterpret_cast<BYTE*>(item.get()) + 38);
    EXPECT_STREQ(texts, L"\\A:\\Data\\Photo.jpg");
    EXPECT_STREQ(texts + pathLength + 1, L"PHOTO.JPG");
    EXPECT_EQ(At<USHORT>(item.get(), cb), 0);  // a single item is a complete list

    // The getters read the same fields (the shell tests compare them with the server's data).
    EXPECT_TRUE(IsValidItemId(item.get()));
    EXPECT_STREQ(ItemShortName(item.get()), L"PHOTO.JPG");
    EXPECT_EQ(ItemAccessed(item.get()), 2.25);

    IdListHolder noShortName = Make(L"\\A:\\Data", L"");
    EXPECT_EQ(IdListSize(noShortName.get()) - 2, 42 + 2 * wcslen(L"\\A:\\Data"));
    EXPECT_TRUE(IsValidItemId(noShortName.get()));
    EXPECT_STREQ(ItemShortName(noShortName.get()), L"");

    // Texts that do not fit the 16-bit byte count are refused.
    std::wstring longPath(32746, L'x');
    IdListHolder fits(MakeItemId(longPath.c_str(), L"", 0, 0, 0, 0, 0));
    ASSERT_TRUE(fits);
    EXPECT_EQ(IdListSize(fits.get()) - 2, 0xFFFEu);
    EXPECT_TRUE(IsValidItemId(fits.get()));
    longPath += L'x';
    EXPECT_EQ(MakeItemId(longPath.c_str(), L"", 0, 0, 0, 0, 0), nullptr);
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
    const Case cases[] = {
        {"signature 99", 2, 99},
        {"byte count 0", 0, 0},
        {"byte count 41", 0, 41},
        {"path length zero", 36, 0},
        {"path runs to the end", 36, static_cast<USHORT>((cb - 38) / 2)},
        {"path longer than the item", 36, 0xFFFF},
        {"path terminator missing", 38 + 2 * 9, L'!'},
        {"item terminator missing", cb - 2u, L'!'},
        {"NUL inside the path", 38 + 2 * 3, 0},
        {"NUL inside the short name", 38 + 2 * 10 + 2, 0},
        {"path one short of its terminator", 36, 8},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> bytes = base;
        PutUshort(bytes, c.offset, c.value);
        EXPECT_FALSE(IsValidItemId(AsItem(bytes))) << c.what;
    }

    // The smallest item (empty path and short name) is 42 bytes; 43 is odd.
    std::vector<BYTE> smallest(46, 0);
    PutUshort(smallest, 0, 42);
    PutUshort(smallest, 2, 100);
    PutUshort(smallest, 36, 1);
    EXPECT_TRUE(IsValidItemId(AsItem(smallest)));
    PutUshort(smallest, 0, 43);
    EXPECT_FALSE(IsValidItemId(AsItem(smallest)));
}

TEST(ModuleItemIdKinds, DrivesAreUpperCaseLetterAndColon) {
    const struct {
        const wchar_t* path;
        bool drive;
    } cases[] = {{L"\\A:", true},      {L"Z:", true},     {L"\\a:", false}, {L"\\A:\\Data", false},
                 {L"\\AB", false},     {L"\\\\A:", false}, {L"", false}};
    for (const auto& c : cases) EXPECT_EQ(IsDriveItem(Make(c.path).get()), c.drive) << c.path;

    EXPECT_TRUE(IsContainerItem(Make(L"\\A:", L"", 0, 0).get()));
    EXPECT_TRUE(IsContainerItem(Make(L"\\A:\\Data", L"", 0, FILE_ATTRIBUTE_DIRECTORY).get()));
    EXPECT_FALSE(IsContainerItem(Make(L"\\A:\\x.txt").get()));
    EXPECT_STREQ(ItemName(Make(L"\\A:").get()), L"A:");
    EXPECT_STREQ(ItemName(Make(L"A:x").get()), L"x");
}

TEST(ModuleItemIdLists, CopyCountIndexAndSubLists) {
    IdListHolder a = Make(L"\\A:"), b = Make(L"\\A:\\Data"), c = Make(L"\\A:\\Data\\x.txt");
    IdListHolder list = Join({a.get(), b.get(), c.get()});
    ASSERT_TRUE(list);
    EXPECT_EQ(CountItems(list.get()), 3u);
    EXPECT_EQ(CountItems(nullptr), 0u);
    EXPECT_EQ(IdListSize(list.get()),
              IdListSize(a.get()) + IdListSize(b.get()) + IdListSize(c.get()) - 4);
    EXPECT_EQ(ItemAt(list.get(), -3), list.get());
    EXPECT_STREQ(ItemPath(ItemAt(list.get(), 1)), L"\\A:\\Data");
    EXPECT_STREQ(ItemPath(LastItem(list.get())), L"\\A:\\Data\\x.txt");
    EXPECT_EQ(ItemAt(list.get(), 3), nullptr);
    EXPECT_EQ(ItemAt(nullptr, 0), nullptr);

    LPITEMIDLIST copy = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(CopyIdList(nullptr, &copy), S_OK);
    EXPECT_EQ(copy, nullptr);
    ASSERT_EQ(CopyIdList(list.get(), &copy), S_OK);
    IdListHolder owned(copy);
    ASSERT_EQ(IdListSize(copy), IdListSize(list.get()));
    EXPECT_EQ(memcmp(list.get(), copy, IdListSize(copy)), 0);

    EXPECT_EQ(SubList(list.get(), 2, 1), nullptr);
    EXPECT_EQ(SubList(list.get(), 3, 4), nullptr);  // starts at the terminator
    EXPECT_EQ(SubList(nullptr, 0, 0), nullptr);
    IdListHolder middle(SubList(list.get(), 1, 1));
    ASSERT_TRUE(middle);
    EXPECT_EQ(CountItems(middle.get()), 1u);
    EXPECT_STREQ(ItemPath(middle.get()), L"\\A:\\Data");
    IdListHolder tail(SubList(list.get(), 1, 99));  // clipped to the end
    EXPECT_EQ(CountItems(tail.get()), 2u);
    EXPECT_STREQ(ItemPath(ItemAt(tail.get(), 1)), L"\\A:\\Data\\x.txt");
}

TEST(ModuleItemIdLists, JoinKeepsOrderAndTreatsNullAsEmpty) {
    IdListHolder a = Make(L"\\A:"), b = Make(L"\\B:");
    IdListHolder empty(JoinIdLists(nullptr, nullptr));
    ASSERT_TRUE(empty);
    EXPECT_EQ(IdListSize(empty.get()), 2u);
    IdListHolder onlyB(JoinIdLists(empty.get(), b.get()));
    ASSERT_EQ(IdListSize(onlyB.get()), IdListSize(b.get()));
    EXPECT_EQ(memcmp(b.get(), onlyB.get(), IdListSize(b.get())), 0);
    IdListHolder ab(JoinIdLists(a.get(), b.get()));
    EXPECT_STREQ(ItemPath(ItemAt(ab.get(), 1)), L"\\B:");
    EXPECT_EQ(CountItems(IdListHolder(JoinIdLists(a.get(), nullptr)).get()), 1u);

    // A one-byte entry's count overlaps the next byte; joining two such lists
    // must not let the second list's first byte become part of that count.
    std::vector<BYTE> bytes = Bytes(a.get());
    bytes.insert(bytes.end() - 2, 1);  // ... [01] [00 00]
    const LPCITEMIDLIST shortEnd = AsItem(bytes);
    EXPECT_EQ(CountItems(shortEnd), 1u);
    EXPECT_EQ(IdListSize(shortEnd), IdListSize(a.get()));
    IdListHolder joined(JoinIdLists(shortEnd, shortEnd));
    ASSERT_TRUE(joined);
    EXPECT_EQ(CountItems(joined.get()), 2u);
    EXPECT_EQ(IdListSize(joined.get()), 2 * IdListSize(a.get()) - 2);
}

TEST(ModuleItemIdLists, HolderCopiesOnlyWhenAskedEvenFromItself) {
    IdListHolder a = Make(L"\\A:\\x");
    IdListHolder copy;
    ASSERT_EQ(copy.Assign(a.get()), S_OK);
    EXPECT_NE(copy.get(), a.get());
    ASSERT_EQ(copy.Assign(copy.get()), S_OK);
    ASSERT_TRUE(copy);
    EXPECT_STREQ(ItemPath(copy.get()), L"\\A:\\x");
    LPITEMIDLIST held = a.get();
    IdListHolder moved(std::move(a));
    EXPECT_EQ(moved.get(), held);
    EXPECT_FALSE(a);
}

TEST(ModuleItemIdDescription, TypeNameLocationAndIcon) {
    EXPECT_EQ(ItemTypeName(Make(L"\\A:", L"", 0, FILE_ATTRIBUTE_DIRECTORY).get()), L"Module Disk");
    // Only the hidden and folder bits reach the shell.
    EXPECT_EQ(ItemTypeName(Make(L"\\A:\\Data", L"", 0, 0x10).get()),
              ItemTypeName(Make(L"\\A:\\Data", L"", 0, 0x10 | 0x01 | 0x04 | 0x20).get()));
    EXPECT_EQ(ItemLocation(Make(L"\\A:\\Data\\Photo.jpg").get()), L"Module\\A:\\Data");
    EXPECT_EQ(ItemLocation(Make(L"\\A:").get()), L"Module");
    EXPECT_EQ(ItemParentPath(L"A:Photo.jpg"), L"A:");
    EXPECT_EQ(ItemParentPath(L""), L"");
    // Drives show the PC's disk icon, files the icon of their type.
    IdListHolder drive = Make(L"\\A:", L"\\A:", 0, 0);
    EXPECT_EQ(ItemIconIndex(drive.get(), true), IconIndexForName(L"C:\\", 0, true));
    EXPECT_EQ(ItemIconIndex(Make(L"\\A:\\notes.txt").get(), true),
              IconIndexForName(L"notes.txt", FILE_ATTRIBUTE_ARCHIVE, true));
}

}  // namespace
