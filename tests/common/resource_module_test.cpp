#include <gtest/gtest.h>

#include <set>

#include "common/holders.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"

namespace {

struct StringIdEntry { UINT id; const char* name; };
const StringIdEntry kAllStringIds[] = {
#include "string_id_list.inc"
};

// Two throw-away roots standing in for HKCU and HKLM, each with or without
// a settings key and a "Language" value.
class LanguageRoots : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KtxLanguageTest");
        user_ = MakeRoot(L"Software\\KtxLanguageTest\\User");
        machine_ = MakeRoot(L"Software\\KtxLanguageTest\\Machine");
    }
    void TearDown() override {
        user_.reset();
        machine_.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KtxLanguageTest");
    }
    static UniqueRegKey MakeRoot(const wchar_t* path) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr), ERROR_SUCCESS);
        return UniqueRegKey(key);
    }
    static void SetLanguage(HKEY root, DWORD value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr), ERROR_SUCCESS);
        UniqueRegKey holder(key);
        ASSERT_EQ(RegSetValueExW(key, L"Language", 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value), sizeof value), ERROR_SUCCESS);
    }
    LANGID Choose(LANGID ui) { return ChooseResourceLanguage(user_.get(), machine_.get(), ui); }

    UniqueRegKey user_, machine_;
};

const LANGID kUiEnglishUk = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);
const LANGID kUiGermanSwiss = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS);
const LANGID kUiFrench = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);

}  // namespace

TEST_F(LanguageRoots, NothingStoredFollowsTheUserInterface) {
    EXPECT_EQ(Choose(kUiEnglishUk), kLangEnglishUs) << "never UK English by default";
    EXPECT_EQ(Choose(kUiGermanSwiss), kLangGerman);
    EXPECT_EQ(Choose(kUiFrench), kLangEnglishUs);
}

TEST_F(LanguageRoots, UserValueWinsEvenAgainstTheInterface) {
    SetLanguage(user_.get(), 1031);
    SetLanguage(machine_.get(), 2057);
    EXPECT_EQ(Choose(kUiEnglishUk), kLangGerman);
}

TEST_F(LanguageRoots, UnsupportedUserValueGivesDefaultNotMachineValue) {
    SetLanguage(user_.get(), 1036);
    SetLanguage(machine_.get(), 1031);
    EXPECT_EQ(Choose(kUiFrench), kLangEnglishUs);
}

TEST_F(LanguageRoots, MachineValueUsedWhenUserHasNone) {
    SetLanguage(machine_.get(), 2057);
    EXPECT_EQ(Choose(kUiGermanSwiss), kLangEnglishUk);
    // A settings key without the value counts as missing too.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(user_.get(), kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(Choose(kUiGermanSwiss), kLangEnglishUk);
}

TEST_F(LanguageRoots, WrongValueTypeIsIgnored) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(user_.get(), kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr), ERROR_SUCCESS);
    UniqueRegKey holder(key);
    RegSetValueExW(key, L"Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1031"), 10);
    EXPECT_EQ(Choose(kUiFrench), kLangEnglishUs);
}

TEST(StringTables, EveryIdExistsInAllThreeLanguages) {
    HMODULE self = GetModuleHandleW(nullptr);
    std::set<UINT> seen;
    for (const StringIdEntry& entry : kAllStringIds) {
        EXPECT_TRUE(seen.insert(entry.id).second) << entry.name << " reuses id " << entry.id;
        for (LANGID lang : {kLangEnglishUs, kLangEnglishUk, kLangGerman}) {
            bool found = false;
            LoadStringForLanguage(self, entry.id, lang, &found);
            EXPECT_TRUE(found) << entry.name << " (" << entry.id << ") missing in " << lang;
        }
    }
    EXPECT_GT(seen.size(), 0u);
}

TEST(StringTables, GermanIsGerman) {
    HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_EQ(LoadStringForLanguage(self, IDS_SIZE_ONE_BYTE, kLangGerman), L"1 Byte");
    EXPECT_EQ(LoadStringForLanguage(self, IDS_SIZE_BYTES, kLangGerman), L" Bytes");
    EXPECT_EQ(LoadStringForLanguage(self, IDS_SIZE_ONE_BYTE, kLangEnglishUs), L"1 byte");
}

TEST(StringTables, SelectedLanguageAndMissingStrings) {
    ResourceModule german;
    german.Set(GetModuleHandleW(nullptr), kLangGerman);
    EXPECT_EQ(german.LoadString(IDS_SIZE_BYTES), L" Bytes");
    EXPECT_EQ(german.LoadString(1), L"") << "no such string";
    EXPECT_EQ(german.FormatString(1, {L"x"}), L"");
    ResourceModule french;
    french.Set(GetModuleHandleW(nullptr), MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    EXPECT_EQ(french.LoadString(IDS_SIZE_BYTES), L"") << "only the selected language is used";
    EXPECT_EQ(german.LoadDialogTemplate(1), nullptr);
    EXPECT_EQ(german.LoadMenu(1), nullptr);
}

TEST(FormatMessageText, InsertsByNumberAndType) {
    EXPECT_EQ(FormatMessageText(L"%1 and %2", {L"a", L"b"}), L"a and b");
    EXPECT_EQ(FormatMessageText(L"%2 before %1", {L"a", L"b"}), L"b before a");
    EXPECT_EQ(FormatMessageText(L"%1!d! file(s) found.", {42}), L"42 file(s) found.");
    EXPECT_EQ(FormatMessageText(L"[%1!03d!]", {7}), L"[007]");
    EXPECT_EQ(FormatMessageText(L"%1!d! of %2 (%3!d!%%)", {-3, L"x", 50}), L"-3 of x (50%)");
    EXPECT_EQ(FormatMessageText(L"", {1}), L"");
}
