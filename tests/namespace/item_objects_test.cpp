// Item order, the item enumerator, and Explorer's view settings.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/module_count.h"
#include "item_id/compare_items.h"
#include "namespace/module_item_enum.h"
#include "item_id/module_item_id.h"
#include "view/view_settings.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;

struct ItemFields {
    const wchar_t* path;
    DWORD attributes;
    DWORD size;
    double modified;
};

IdListHolder Item(const ItemFields& fields) {
    return IdListHolder(
        MakeItemId(fields.path, L"", fields.size, fields.attributes, 0, 0, fields.modified));
}

std::wstring ShellTypeName(const wchar_t* name) {
    SHFILEINFOW info = {};
    SHGetFileInfoW(name, 0, &info, sizeof(info), SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES);
    return info.szTypeName;
}

// Names of the items handed out by one Next call.
std::vector<std::wstring> Next(IEnumIDList* e, ULONG count, HRESULT expected) {
    std::vector<LPITEMIDLIST> lists(count + 1, nullptr);
    ULONG fetched = 99;
    EXPECT_EQ(e->Next(count, lists.data(), &fetched), expected);
    std::vector<std::wstring> names;
    for (ULONG i = 0; i < fetched; ++i) {
        names.push_back(ItemName(lists[i]));
        ShellFree(lists[i]);
    }
    EXPECT_EQ(lists[fetched], nullptr);
    return names;
}
using Names = std::vector<std::wstring>;

}  // namespace

// Name, size, date and free-space order are seen in the view's own tests.
TEST(CompareItems, FolderRuleSignedSizesPathsLocationsAndTypes) {
    const ItemFields folderZ = {L"\\A:\\zeta", kFolder}, fileA = {L"\\A:\\alpha.txt"};
    const ItemFields bigFolder = {L"\\A:\\a", kFolder, 900}, smallFolder = {L"\\A:\\b", kFolder, 5};
    const ItemFields inData = {L"\\A:\\data\\z.txt"}, inAudio = {L"\\A:\\Audio\\a.txt"};
    const struct {
        ItemFields a, b;
        UINT key;
        bool foldersFirst;
        int expected;
    } cases[] = {
        {folderZ, fileA, kSortNameAscending, true, -1},
        {folderZ, fileA, kSortNameAscending, false, 1},
        // Descending order turns the folders-first rule round too.
        {folderZ, fileA, kSortNameDescending, true, 1},
        {{L"\\A:\\b"}, {L"\\A:\\C"}, kSortPathDescending, true, 1},
        {{L"\\A:\\X"}, {L"\\A:\\x"}, kSortPathAscending, true, 0},
        {{L"\\A:\\b"}, {L"\\A:\\C"}, 4711, true, 0},
        // Sizes compare as signed 32-bit numbers.
        {{L"\\A:\\n", 0, 0x80000000u}, {L"\\A:\\z", 0, 10}, kSortTotalSizeAscending, false, -1},
        // Two folders go by size in Total Size.
        {bigFolder, smallFolder, kSortTotalSizeAscending, false, 1},
        {bigFolder, smallFolder, kSortTotalSizeDescending, false, -1},
        {inData, inAudio, kSortLocationAscending, false, 1},
        {inData, inAudio, kSortLocationDescending, false, -1},
        {inData, {L"\\A:\\DATA\\a.txt"}, kSortLocationAscending, false, 0},
        {{L"\\A:\\a.txt"}, {L"\\A:\\zz.TXT"}, kSortTypeDescending, false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CompareItems(Item(c.a).get(), Item(c.b).get(), c.key, c.foldersFirst), c.expected)
            << c.a.path << " vs " << c.b.path << " by " << c.key;
    }

    // The type column follows the shell's own names.
    int byName = lstrcmpiW(ShellTypeName(L"a.txt").c_str(), ShellTypeName(L"b.bmp").c_str());
    int expected = byName < 0 ? -1 : (byName > 0 ? 1 : 0);
    IdListHolder text = Item({L"\\A:\\a.txt"}), bitmap = Item({L"\\A:\\b.bmp"});
    EXPECT_EQ(CompareItems(text.get(), bitmap.get(), kSortTypeAscending, false), expected);
}

TEST(ItemEnum, NextSkipResetAndClones) {
    std::vector<IdListHolder> items;
    for (const wchar_t* path : {L"\\A:\\one", L"\\A:\\two", L"\\A:\\three"})
        items.push_back(Item({path}));
    ComPtr<IEnumIDList> enumerator;
    ASSERT_EQ(ModuleItemEnum::Create(std::move(items), &enumerator), S_OK);
    EXPECT_EQ(Next(enumerator.Get(), 1, S_OK), Names{L"one"});
    EXPECT_EQ(Next(enumerator.Get(), 3, S_FALSE), (Names{L"two", L"three"}));
    EXPECT_TRUE(Next(enumerator.Get(), 1, S_FALSE).empty());
    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Skip(7), S_FALSE);
    EXPECT_TRUE(Next(enumerator.Get(), 1, S_FALSE).empty());

    // One item may be fetched without a count; more may not.
    LPITEMIDLIST lists[2] = {};
    EXPECT_EQ(enumerator->Reset(), S_OK);
    EXPECT_EQ(enumerator->Next(1, lists, nullptr), S_OK);
    ShellFree(lists[0]);
    EXPECT_EQ(enumerator->Next(2, lists, nullptr), E_POINTER);
    EXPECT_EQ(enumerator->Next(1, nullptr, nullptr), E_POINTER);

    // A clone starts where its original stands and keeps the snapshot alive.
    ComPtr<IEnumIDList> clone, second;
    ASSERT_EQ(enumerator->Clone(&clone), S_OK);
    LONG alive = ModuleObjectCount();
    enumerator.Reset();
    EXPECT_EQ(ModuleObjectCount(), alive);
    EXPECT_EQ(Next(clone.Get(), 5, S_FALSE), (Names{L"two", L"three"}));
    ASSERT_EQ(clone->Clone(&second), S_OK);
    EXPECT_EQ(second->Reset(), S_OK);
    EXPECT_EQ(second->Skip(2), S_OK);
    EXPECT_EQ(Next(second.Get(), 1, S_OK), Names{L"three"});
    clone.Reset();
    second.Reset();
    EXPECT_EQ(ModuleObjectCount(), alive - 2);
}

TEST(ViewSettings, AdvancedValuesThenShellState) {
    const wchar_t kRoot[] = L"Software\\KtxTests\\ViewSettings";
    const wchar_t kExplorer[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
    const wchar_t kAdvanced[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    HKEY root = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &root, nullptr),
              ERROR_SUCCESS);
    auto shown = [root] {
        return std::vector<int>{ShowHiddenItems(root), ShowSystemItems(root),
                                ShowSuperHiddenItems(root)};
    };
    auto setAdvanced = [root, kAdvanced](const wchar_t* name, DWORD value) {
        RegSetKeyValueW(root, kAdvanced, name, REG_DWORD, &value, sizeof(value));
    };
    auto setShellState = [root, kExplorer](DWORD secondWord, DWORD type) {
        DWORD state[9] = {36, secondWord};
        RegSetKeyValueW(root, kExplorer, L"ShellState", type, state, sizeof(state));
    };

    // Show everything when nothing is said.
    EXPECT_EQ(shown(), (std::vector<int>{1, 1, 1}));
    setShellState(1, REG_BINARY);
    EXPECT_EQ(ShowHiddenItems(root), 1);
    setShellState(0xFFFFFFFE, REG_BINARY);
    EXPECT_EQ(ShowHiddenItems(root), 0);
    setShellState(0, REG_DWORD);  // the wrong type says nothing
    EXPECT_EQ(ShowHiddenItems(root), 1);

    // Once there is an "Advanced" key, the shell state is not read.
    setShellState(0, REG_BINARY);
    setAdvanced(L"Other", 0);
    EXPECT_EQ(shown(), (std::vector<int>{1, 1, 1}));
    setAdvanced(L"Hidden", 2);
    EXPECT_EQ(shown(), (std::vector<int>{0, 1, 1}));
    setAdvanced(L"Hidden", 0);
    setAdvanced(L"ShowSuperHidden", 0);
    EXPECT_EQ(shown(), (std::vector<int>{0, 0, 0}));
    setAdvanced(L"Hidden", 1);
    setAdvanced(L"ShowSuperHidden", 1);
    EXPECT_EQ(shown(), (std::vector<int>{1, 1, 1}));

    RegCloseKey(root);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
}
