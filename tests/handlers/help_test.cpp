// Where the help file is looked for, against a private stand-in for
// HKEY_CLASSES_ROOT, and what the user sees when it is not there.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/resource_module.h"
#include "handlers/help.h"
#include "resources/string_ids.h"
#include "tests/support/prompt_recorder.h"

namespace {

const wchar_t kScratchKey[] = L"Software\\KTXTest\\ClassesHive";
const wchar_t kServerKey[] = L"CLSID\\{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}\\InProcServer32";

class HelpFile : public testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &hive_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, hive_), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        RegCloseKey(hive_);
        RegDeleteTreeW(HKEY_CURRENT_USER, kScratchKey);
    }
    void SetServerPath(const void* bytes, DWORD size, DWORD type = REG_SZ) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, kServerKey, nullptr, type, bytes, size),
                  ERROR_SUCCESS);
    }
    HKEY hive_ = nullptr;
};

}  // namespace

TEST_F(HelpFile, PathBesideTheRegisteredLibrary) {
    EXPECT_EQ(HelpFilePath(), L"") << "nothing registered";
    const struct {
        std::wstring value;   // written with its terminator
        std::wstring path;
    } cases[] = {
        {L"C:\\Tools\\KTXShellExt.dll", L"C:\\Tools\\Ktx-help.hlp"},
        {L"Z:\\build\\bin\\KTXShellExt.dll", L"Z:\\build\\bin\\Ktx-help.hlp"},
        {L"", L""},
        {L"C:\\" + std::wstring(300, L'x') + L".dll", L""},   // beyond 520 bytes
    };
    for (const auto& c : cases) {
        SetServerPath(c.value.c_str(), static_cast<DWORD>((c.value.size() + 1) * sizeof(wchar_t)));
        EXPECT_EQ(HelpFilePath(), c.path) << c.value.size();
    }
}

TEST_F(HelpFile, MissingFileIsSaidAndNoRegistrationShowsNothing) {
    PromptRecorder prompts;
    OpenHelp();
    EXPECT_EQ(prompts.Count(), 0u) << "nothing registered: no help";

    const std::wstring server = L"Z:\\nowhere\\at\\all\\KTXShellExt.dll";
    SetServerPath(server.c_str(), static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
    OpenHelp();
    ASSERT_EQ(prompts.Count(), 1u);
    EXPECT_EQ(prompts.Last().caption, L"Module");
    EXPECT_EQ(prompts.Last().text,
              Resources().FormatString(IDS_ERR_HELP_MISSING, {L"Z:\\nowhere\\at\\all\\Ktx-help.hlp"}));
}
