// Reading the keys and values a registry script removes, from script text and
// from the library's own scripts.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/registry_script.h"

namespace {

std::vector<std::wstring> Keys(const ScriptRemovals& removals) {
    std::vector<std::wstring> keys;
    for (const ScriptKey& key : removals.forceRemoveKeys)
        keys.push_back(std::wstring(key.root == HKEY_CLASSES_ROOT    ? L"HKCR\\"
                                    : key.root == HKEY_LOCAL_MACHINE ? L"HKLM\\"
                                                                      : L"?\\") +
                       key.path);
    return keys;
}

std::vector<std::wstring> Values(const ScriptRemovals& removals) {
    std::vector<std::wstring> values;
    for (const ScriptValue& value : removals.values) values.push_back(value.key + L" : " + value.name);
    return values;
}

TEST(RegistryScript, FindsForceRemoveKeysAtEveryDepthAndEveryValue) {
    const wchar_t script[] =
        L"HKCR\r\n{\r\n\tNoRemove CLSID\r\n\t{\r\n"
        L"\t\tForceRemove {11111111-2222-3333-4444-555555555555} = s 'It''s {a} = test'\r\n\t\t{\r\n"
        L"\t\t\tInProcServer32 = s 'C:\\x.dll'\r\n\t\t\t{\r\n\t\t\t\tval ThreadingModel = s 'Apartment'\r\n"
        L"\t\t\t}\r\n\t\t\tForceRemove Inner\r\n\t\t}\r\n\t}\r\n"
        L"\tForceRemove .abc = s 'Some.Class'\r\n}\r\n"
        L"HKLM\r\n{\r\n\tNoRemove 'Shell Extensions'\r\n\t{\r\n\t\tNoRemove Approved\r\n\t\t{\r\n"
        L"\t\t\tval {11111111-2222-3333-4444-555555555555} = s 'Name with ''quotes'''\r\n"
        L"\t\t\tval Number = d '2684354624'\r\n\t\t}\r\n\t}\r\n}\r\n";
    ScriptRemovals removals;
    ASSERT_TRUE(ReadScriptRemovals(script, &removals));
    EXPECT_EQ(Keys(removals), (std::vector<std::wstring>{
                                  L"HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}",
                                  L"HKCR\\CLSID\\{11111111-2222-3333-4444-555555555555}\\Inner",
                                  L"HKCR\\.abc"}));
    EXPECT_EQ(Values(removals),
              (std::vector<std::wstring>{
                  L"CLSID\\{11111111-2222-3333-4444-555555555555}\\InProcServer32 : ThreadingModel",
                  L"Shell Extensions\\Approved : {11111111-2222-3333-4444-555555555555}",
                  L"Shell Extensions\\Approved : Number"}));
}

TEST(RegistryScript, TextTheRegistrarWouldRefuseGivesNothing) {
    const wchar_t* broken[] = {
        L"HKCR { ForceRemove Key = s 'unterminated }",
        L"HKCR { ForceRemove Key { }",
        L"HKXX { ForceRemove Key }",
        L"HKCR { val Name = s }",
        L"HKCR { ForceRemove = s 'x' }",
        L"HKCR ForceRemove Key",
    };
    for (const wchar_t* script : broken) {
        ScriptRemovals removals;
        removals.forceRemoveKeys.push_back(ScriptKey{HKEY_CLASSES_ROOT, L"stale"});
        EXPECT_FALSE(ReadScriptRemovals(script, &removals)) << script;
        EXPECT_TRUE(removals.forceRemoveKeys.empty() && removals.values.empty()) << script;
    }
    ScriptRemovals removals;
    EXPECT_TRUE(ReadScriptRemovals(L"  \r\n", &removals));
}

}  // namespace
