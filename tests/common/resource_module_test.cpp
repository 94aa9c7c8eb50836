#include <gtest/gtest.h>

#include "common/holders.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"

namespace {

const DWORD kNoKey = 0, kKeyWithoutValue = 1, kTextValue = 2;

// Writes a "Language" value (or one of the cases above) below `root`.
void StoreLanguage(HKEY root, DWORD value) {
    HKEY key = nullptr;
    if (value == kNoKey) return;
    ASSERT_EQ(RegCreateKeyExW(root, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    UniqueRegKey holder(key);
    if (value == kTextValue)
        RegSetValueExW(key, L"Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1031"), 10);
    else if (value != kKeyWithoutValue)
        RegSetValueExW(key, L"Language", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

}  // namespace

// Two throw-away keys stand in for HKCU and HKLM.
TEST(ResourceLanguage, UserValueThenMachineValueThenInterface) {
    const LANGID uiEnglishUk = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_UK);
    const LANGID uiGermanSwiss = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS);
    const LANGID uiFrench = MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH);
    const struct {
        const char* what;
        DWORD user, machine;
        LANGID ui, expected;
    } cases[] = {
        {"never UK English by default", kNoKey, kNoKey, uiEnglishUk, kLangEnglishUs},
        {"German interface", kNoKey, kNoKey, uiGermanSwiss, kLangGerman},
        {"other interface", kNoKey, kNoKey, uiFrench, kLangEnglishUs},
        {"user value wins", 1031, 2057, uiEnglishUk, kLangGerman},
        {"unsupported user value: default, not machine", 1036, 1031, uiFrench, kLangEnglishUs},
        {"machine value when the user has none", kNoKey, 2057, uiGermanSwiss, kLangEnglishUk},
        {"a key without the value is none", kKeyWithoutValue, 2057, uiGermanSwiss, kLangEnglishUk},
        {"a value of the wrong type is ignored", kTextValue, kNoKey, uiFrench, kLangEnglishUs},
    };
    const wchar_t kTestRoot[] = L"Software\\KtxLanguageTest";
    for (const auto& c : cases) {
        RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
        HKEY user = nullptr, machine = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KtxLanguageTest\\User", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &user, nullptr);
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\KtxLanguageTest\\Machine", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &machine, nullptr);
        UniqueRegKey userHolder(user), machineHolder(machine);
        StoreLanguage(user, c.user);
        StoreLanguage(machine, c.machine);
        EXPECT_EQ(ChooseResourceLanguage(user, machine, c.ui), c.expected) << c.what;
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
}

TEST(ResourceModule, OnlyTheSelectedLanguageAndNothingForMissingIds) {
    ResourceModule german;
    german.Set(GetModuleHandleW(nullptr), kLangGerman);
    EXPECT_EQ(german.LoadString(IDS_SIZE_BYTES), L" Bytes");
    EXPECT_EQ(german.LoadString(1), L"") << "no such string";
    EXPECT_EQ(german.FormatString(1, {L"x"}), L"");
    EXPECT_EQ(german.LoadDialogTemplate(1), nullptr);
    EXPECT_EQ(german.LoadMenu(1), nullptr);
    ResourceModule french;
    french.Set(GetModuleHandleW(nullptr), MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH));
    EXPECT_EQ(french.LoadString(IDS_SIZE_BYTES), L"") << "only the selected language is used";
}

TEST(FormatMessageText, InsertsByNumberAndType) {
    EXPECT_EQ(FormatMessageText(L"%2 before %1", {L"a", L"b"}), L"b before a");
    EXPECT_EQ(FormatMessageText(L"%1!d! file(s) found.", {42}), L"42 file(s) found.");
    EXPECT_EQ(FormatMessageText(L"[%1!03d!]", {7}), L"[007]");
    EXPECT_EQ(FormatMessageText(L"%1!d! of %2 (%3!d!%%)", {-3, L"x", 50}), L"-3 of x (50%)");
    EXPECT_EQ(FormatMessageText(L"", {1}), L"");
}
