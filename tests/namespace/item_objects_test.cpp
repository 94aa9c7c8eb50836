// The small objects handed out for items: sort order, enumerator, icon
// extractor, info tip; and Explorer's view settings.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/module_count.h"
#include "namespace/compare_items.h"
#include "namespace/module_icon_extractor.h"
#include "namespace/module_info_tip.h"
#include "namespace/module_item_enum.h"
#include "namespace/module_item_id.h"
#include "namespace/view_settings.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;

IdListHolder Item(const wchar_t* path, DWORD attributes = 0, DWORD size = 0,
                  double modified = 0) {
    return IdListHolder(MakeItemId(path, L"", size, attributes, 0, 0, modified));
}

std::wstring ShellTypeName(const wchar_t* name, DWORD attributes) {
    SHFILEINFOW info = {};
    SHGetFileInfoW(name, attributes, &info, sizeof(info), SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES);
    return info.szTypeName;
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// Not every shell interface has a compiler-known IID; ask by name.
template <class T>
void** Out(ComPtr<T>& p) {
    return reinterpret_cast<void**>(p.ReleaseAndGetAddressOf());
}

}  // namespace

TEST(CompareItems, FoldersFirstThenByColumn) {
    IdListHolder folderZ = Item(L"\\A:\\zeta", kFolder), fileA = Item(L"\\A:\\alpha.txt");
    IdListHolder lowerB = Item(L"\\A:\\b"), upperC = Item(L"\\A:\\C");
    EXPECT_EQ(CompareItems(folderZ.get(), fileA.get(), kSortNameAscending, true), -1);
    EXPECT_EQ(CompareItems(fileA.get(), folderZ.get(), kSortNameAscending, true), 1);
    EXPECT_EQ(CompareItems(folderZ.get(), fileA.get(), kSortNameAscending, false), 1);
    // Descending order turns the folders-first rule round too.
    EXPECT_EQ(CompareItems(folderZ.get(), fileA.get(), kSortNameDescending, true), 1);
    EXPECT_EQ(CompareItems(lowerB.get(), upperC.get(), kSortNameAscending, true), -1);
    EXPECT_EQ(CompareItems(lowerB.get(), upperC.get(), kSortPathDescending, true), 1);
    EXPECT_EQ(CompareItems(Item(L"\\A:\\X").get(), Item(L"\\A:\\x").get(), kSortPathAscending, true), 0);
    EXPECT_EQ(CompareItems(lowerB.get(), upperC.get(), 4711, true), 0);
}

TEST(CompareItems, SizesDatesLocationsAndTypes) {
    IdListHolder small = Item(L"\\A:\\z", 0, 10), large = Item(L"\\A:\\a", 0, 2000);
    // Sizes compare as signed 32-bit numbers.
    IdListHolder negative = Item(L"\\A:\\n", 0, 0x80000000u);
    EXPECT_EQ(CompareItems(small.get(), large.get(), kSortSizeAscending, false), -1);
    EXPECT_EQ(CompareItems(small.get(), large.get(), kSortSizeDescending, false), 1);
    EXPECT_EQ(CompareItems(negative.get(), small.get(), kSortTotalSizeAscending, false), -1);
    // Two folders go by name in the Size column, by size in Total Size.
    IdListHolder bigFolder = Item(L"\\A:\\a", kFolder, 900), smallFolder = Item(L"\\A:\\b", kFolder, 5);
    EXPECT_EQ(CompareItems(bigFolder.get(), smallFolder.get(), kSortSizeAscending, false), -1);
    EXPECT_EQ(CompareItems(bigFolder.get(), smallFolder.get(), kSortTotalSizeAscending, false), 1);

    IdListHolder old = Item(L"\\A:\\b", 0, 0, 40000.5), recent = Item(L"\\A:\\a", 0, 0, 45000.25);
    EXPECT_EQ(CompareItems(old.get(), recent.get(), kSortModifiedAscending, false), -1);
    EXPECT_EQ(CompareItems(old.get(), recent.get(), kSortModifiedDescending, false), 1);
    IdListHolder fullDrive = Item(L"\\A:", 0, 1000, 10.0), emptyDrive = Item(L"\\B:", 0, 1000, 990.0);
    EXPECT_EQ(CompareItems(fullDrive.get(), emptyDrive.get(), kSortFreeSpaceAscending, false), -1);
    EXPECT_EQ(CompareItems(fullDrive.get(), emptyDrive.get(), kSortFreeSpaceDescending, false), 1);

    IdListHolder inData = Item(L"\\A:\\data\\z.txt"), inAudio = Item(L"\\A:\\Audio\\a.txt");
    EXPECT_EQ(CompareItems(inData.get(), inAudio.get(), kSortLocationAscending, false), 1);
    EXPECT_EQ(CompareItems(inData.get(), inAudio.get(), kSortLocationDescending, false), -1);
    EXPECT_EQ(CompareItems(inData.get(), Item(L"\\A:\\DATA\\a.txt").get(), kSortLocationAscending, false), 0);

    // The type column follows the shell's own names.
    IdListHolder text = Item(L"\\A:\\a.txt"), bitmap = Item(L"\\A:\\b.bmp");
    int expected = Sign(lstrcmpiW(ShellTypeName(L"a.txt", 0).c_str(), ShellTypeName(L"b.bmp", 0).c_str()));
    EXPECT_EQ(CompareItems(text.get(), bitmap.get(), kSortTypeAscending, false), expected);
    EXPECT_EQ(CompareItems(text.get(), Item(L"\\A:\\zz.TXT").get(), kSortTypeAscending, false), 0);
}

TEST(CompareItems, KeysComeInPairs) {
    const UINT pairs[][2] = {{8197, 8203}, {8198, 8204}, {8199, 8205}, {8200, 8206},
                             {8303, 8342}, {8350, 8351}, {8410, 8411}, {8412, 8413}};
    for (const auto& pair : pairs) {
        EXPECT_FALSE(IsDescendingSortKey(pair[0])) << pair[0];
        EXPECT_TRUE(IsDescendingSortKey(pair[1])) << pair[1];
        EXPECT_EQ(ReverseSortKey(pair[0]), pair[1]);
        EXPECT_EQ(ReverseSortKey(pair[1]), pair[0]);
    }
    EXPECT_EQ(ReverseSortKey(1234), 1234u);
}

class ItemEnum : public testing::Test {
protected:
    void SetUp() override {
        std::vector<IdListHolder> items;
        for (const wchar_t* path : {L"\\A:\\one", L"\\A:\\two", L"\\A:\\three"})
            items.push_back(Item(path));
        ASSERT_EQ(ModuleItemEnum::Create(std::move(items), &enumerator_), S_OK);
    }
    // Names of the items handed out by one Next call.
    std::vector<std::wstring> Next(IEnumIDList* e, ULONG count, HRESULT* hr) {
        std::vector<LPITEMIDLIST> lists(count + 1, nullptr);
        ULONG fetched = 99;
        *hr = e->Next(count, lists.data(), &fetched);
        std::vector<std::wstring> names;
        for (ULONG i = 0; i < fetched; ++i) {
            names.push_back(ItemName(lists[i]));
            ShellFree(lists[i]);
        }
        EXPECT_EQ(lists[fetched], nullptr);
        return names;
    }
    ComPtr<IEnumIDList> enumerator_;
};

TEST_F(ItemEnum, NextSkipReset) {
    HRESULT hr;
    EXPECT_EQ(Next(enumerator_.Get(), 1, &hr), std::vector<std::wstring>{L"one"});
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(Next(enumerator_.Get(), 3, &hr), (std::vector<std::wstring>{L"two", L"three"}));
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_TRUE(Next(enumerator_.Get(), 1, &hr).empty());
    EXPECT_EQ(hr, S_FALSE);

    EXPECT_EQ(enumerator_->Reset(), S_OK);
    EXPECT_EQ(enumerator_->Skip(2), S_OK);
    EXPECT_EQ(Next(enumerator_.Get(), 1, &hr), std::vector<std::wstring>{L"three"});
    EXPECT_EQ(enumerator_->Reset(), S_OK);
    EXPECT_EQ(enumerator_->Skip(3), S_FALSE);
    EXPECT_TRUE(Next(enumerator_.Get(), 2, &hr).empty());
    EXPECT_EQ(enumerator_->Reset(), S_OK);
    EXPECT_EQ(enumerator_->Skip(7), S_FALSE);
    EXPECT_TRUE(Next(enumerator_.Get(), 1, &hr).empty());

    // One item may be fetched without a count; more may not.
    LPITEMIDLIST lists[2] = {};
    EXPECT_EQ(enumerator_->Reset(), S_OK);
    EXPECT_EQ(enumerator_->Next(1, lists, nullptr), S_OK);
    ShellFree(lists[0]);
    EXPECT_EQ(enumerator_->Next(2, lists, nullptr), E_POINTER);
    EXPECT_EQ(enumerator_->Next(1, nullptr, nullptr), E_POINTER);
}

TEST_F(ItemEnum, CloneSharesTheSnapshotAndKeepsItAlive) {
    HRESULT hr;
    EXPECT_EQ(enumerator_->Skip(1), S_OK);
    ComPtr<IEnumIDList> clone;
    ASSERT_EQ(enumerator_->Clone(&clone), S_OK);
    LONG alive = ModuleObjectCount();
    enumerator_.Reset();
    EXPECT_EQ(ModuleObjectCount(), alive);  // the clone keeps the original
    EXPECT_EQ(Next(clone.Get(), 5, &hr), (std::vector<std::wstring>{L"two", L"three"}));
    ComPtr<IEnumIDList> second;
    ASSERT_EQ(clone->Clone(&second), S_OK);
    EXPECT_EQ(second->Reset(), S_OK);
    EXPECT_EQ(Next(second.Get(), 1, &hr), std::vector<std::wstring>{L"one"});
    clone.Reset();
    second.Reset();
    EXPECT_EQ(ModuleObjectCount(), alive - 2);
    EXPECT_EQ(enumerator_.Get(), nullptr);
}

TEST(IconExtractor, FilesAskForExtractDrivesDoNot) {
    EXPECT_EQ(ModuleIconExtractor::Create(Item(L"\\A:").get(), IID_IExtractIconW, nullptr), E_POINTER);
    SHITEMID empty = {};
    ComPtr<IExtractIconW> none;
    EXPECT_EQ(ModuleIconExtractor::Create(reinterpret_cast<LPCITEMIDLIST>(&empty),
                                          IID_IExtractIconW, Out(none)),
              E_INVALIDARG);

    ComPtr<IExtractIconW> file, drive;
    ASSERT_EQ(ModuleIconExtractor::Create(Item(L"\\A:\\Data\\Photo.jpg").get(), IID_IExtractIconW, Out(file)), S_OK);
    ASSERT_EQ(ModuleIconExtractor::Create(Item(L"\\A:").get(), IID_IExtractIconW, Out(drive)), S_OK);
    wchar_t iconFile[MAX_PATH] = L"untouched";
    int index = -5;
    UINT flags = 77;
    EXPECT_EQ(file->GetIconLocation(0, iconFile, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(flags, static_cast<UINT>(GIL_NOTFILENAME));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(file->GetIconLocation(GIL_OPENICON, iconFile, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(index, 1);
    EXPECT_STREQ(iconFile, L"untouched");
    EXPECT_EQ(drive->GetIconLocation(0, iconFile, MAX_PATH, &index, &flags), S_OK);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(file->GetIconLocation(0, iconFile, MAX_PATH, nullptr, &flags), E_INVALIDARG);
    EXPECT_EQ(file->GetIconLocation(0, iconFile, MAX_PATH, &index, nullptr), E_INVALIDARG);

    for (IExtractIconW* extractor : {file.Get(), drive.Get()}) {
        HICON large = nullptr, small = nullptr;
        EXPECT_EQ(extractor->Extract(L"", 0, &large, &small, MAKELONG(32, 16)), S_OK);
        EXPECT_NE(large, nullptr);
        EXPECT_NE(small, nullptr);
        DestroyIcon(large);
        DestroyIcon(small);
        EXPECT_EQ(extractor->Extract(L"", 0, &large, nullptr, 0), E_INVALIDARG);
        EXPECT_EQ(large, nullptr);
    }
    // A list whose item is not ours extracts nothing.
    BYTE foreign[24] = {20, 0, 0x1F};
    ComPtr<IExtractIconW> stranger;
    ASSERT_EQ(ModuleIconExtractor::Create(reinterpret_cast<LPCITEMIDLIST>(foreign),
                                          IID_IExtractIconW, Out(stranger)),
              S_OK);
    HICON large = nullptr, small = nullptr;
    EXPECT_EQ(stranger->Extract(L"", 0, &large, &small, 0), E_FAIL);
}

TEST(InfoTip, TheItemsName) {
    ComPtr<IQueryInfo> tip;
    ASSERT_EQ(ModuleInfoTip::Create(Item(L"\\A:\\Data\\Photo.jpg").get(), IID_IQueryInfo, Out(tip)), S_OK);
    LPWSTR text = nullptr;
    ASSERT_EQ(tip->GetInfoTip(0, &text), S_OK);
    EXPECT_STREQ(text, L"Photo.jpg");
    ShellFree(text);
    EXPECT_EQ(tip->GetInfoTip(0, nullptr), E_POINTER);
    DWORD flags = 5;
    EXPECT_EQ(tip->GetInfoFlags(&flags), S_OK);
    EXPECT_EQ(flags, 0u);
    EXPECT_EQ(tip->GetInfoFlags(nullptr), E_POINTER);
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(tip.As(&unknown), S_OK);
    ComPtr<IExtractIconW> other;
    EXPECT_EQ(tip->QueryInterface(IID_IExtractIconW, Out(other)), E_NOINTERFACE);
}

class ViewSettings : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &root_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(root_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    }
    void SetDword(const wchar_t* key, const wchar_t* name, DWORD value) {
        RegSetKeyValueW(root_, key, name, REG_DWORD, &value, sizeof(value));
    }
    void SetShellState(DWORD secondWord, DWORD type = REG_BINARY) {
        DWORD state[9] = {36, secondWord};
        RegSetKeyValueW(root_, kExplorer, L"ShellState", type, state, sizeof(state));
    }
    static constexpr const wchar_t* kRoot = L"Software\\KtxTests\\ViewSettings";
    static constexpr const wchar_t* kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
    static constexpr const wchar_t* kAdvanced =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    HKEY root_ = nullptr;
};

TEST_F(ViewSettings, ShowEverythingWhenNothingIsSaid) {
    EXPECT_EQ(ShowHiddenItems(root_), 1);
    EXPECT_EQ(ShowSystemItems(root_), 1);
    EXPECT_EQ(ShowSuperHiddenItems(root_), 1);
    SetDword(kAdvanced, L"Other", 0);
    EXPECT_EQ(ShowHiddenItems(root_), 1);
    EXPECT_EQ(ShowSystemItems(root_), 1);
    EXPECT_EQ(ShowSuperHiddenItems(root_), 1);
}

TEST_F(ViewSettings, AdvancedValues) {
    SetDword(kAdvanced, L"Hidden", 2);
    EXPECT_EQ(ShowHiddenItems(root_), 0);
    EXPECT_EQ(ShowSystemItems(root_), 1);
    SetDword(kAdvanced, L"Hidden", 0);
    EXPECT_EQ(ShowHiddenItems(root_), 0);
    EXPECT_EQ(ShowSystemItems(root_), 0);
    SetDword(kAdvanced, L"Hidden", 1);
    EXPECT_EQ(ShowHiddenItems(root_), 1);
    EXPECT_EQ(ShowSystemItems(root_), 1);
    SetDword(kAdvanced, L"ShowSuperHidden", 0);
    EXPECT_EQ(ShowSuperHiddenItems(root_), 0);
    SetDword(kAdvanced, L"ShowSuperHidden", 1);
    EXPECT_EQ(ShowSuperHiddenItems(root_), 1);
    // The shell state is read only when there is no "Advanced" key.
    SetShellState(0);
    EXPECT_EQ(ShowHiddenItems(root_), 1);
}

TEST_F(ViewSettings, ShellStateWithoutAdvancedKey) {
    SetShellState(1);
    EXPECT_EQ(ShowHiddenItems(root_), 1);
    SetShellState(0xFFFFFFFE);
    EXPECT_EQ(ShowHiddenItems(root_), 0);
    SetShellState(0, REG_DWORD);  // the wrong type says nothing
    EXPECT_EQ(ShowHiddenItems(root_), 1);
}
