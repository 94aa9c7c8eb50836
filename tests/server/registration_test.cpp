// Registration as regsvr32 runs it, read back from the prefix's registry:
// every key, value, type and text the library writes, what unregistration
// leaves (nothing of ours, everything of others), and a second round.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/extension_library.h"

namespace {

using Lines = std::vector<std::wstring>;

const wchar_t kFolderClass[] = L"CLSID\\{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}";
const wchar_t kMenuClass[] = L"CLSID\\{1663176E-DE26-4BBC-AC0A-35CE1842E30F}";
const wchar_t kSheetClass[] = L"CLSID\\{7E9BFFAF-7639-4CF9-AF5D-AF8FB7BC83E6}";
const wchar_t kSearchClass[] = L"CLSID\\{6A94EF46-DD50-45FC-BD17-43B9BC1A3D8A}";
const wchar_t kNamespaceEntry[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\Namespace\\"
    L"{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}";
const wchar_t kApproved[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const wchar_t kDriveHandlers[] = L"Software\\Classes\\Drive\\shellex\\PropertySheetHandlers";
const wchar_t kStaticFind[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FindExtensions\\Static";
const wchar_t kForeignClass[] = L"{0BADF00D-1111-2222-3333-444455556666}";

// One line per key ("sub\\key") and value ("sub\\key\\name = SZ text",
// "@" for the default value) below an open key.
void DumpKey(HKEY key, const std::wstring& path, Lines* lines) {
    const std::wstring prefix = path.empty() ? std::wstring() : path + L"\\";
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        BYTE data[2048];
        DWORD nameLength = ARRAYSIZE(name), type = 0, bytes = sizeof(data);
        LONG read = RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &bytes);
        if (read == ERROR_NO_MORE_ITEMS) break;
        std::wstring line = prefix + (nameLength ? std::wstring(name, nameLength) : L"@") + L" = ";
        if (read != ERROR_SUCCESS) {
            line += L"<unreadable>";
        } else if (type == REG_SZ) {
            std::wstring text(reinterpret_cast<const wchar_t*>(data), bytes / sizeof(wchar_t));
            if (text.empty() || text.back() != L'\0') line += L"<unterminated> ";
            else text.pop_back();
            line += L"SZ " + text;
        } else if (type == REG_DWORD && bytes == 4) {
            wchar_t number[16];
            swprintf(number, ARRAYSIZE(number), L"0x%08lX", *reinterpret_cast<const DWORD*>(data));
            line += std::wstring(L"DWORD ") + number;
        } else {
            line += L"type " + std::to_wstring(type);
        }
        lines->push_back(line);
    }
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = ARRAYSIZE(name);
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        lines->push_back(prefix + name);
        HKEY sub = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        DumpKey(sub, prefix + name, lines);
        RegCloseKey(sub);
    }
}

// The whole tree below root\path, sorted; "<absent>" when the key is missing.
std::wstring Tree(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"<absent>";
    Lines lines;
    DumpKey(key, L"", &lines);
    RegCloseKey(key);
    std::sort(lines.begin(), lines.end());
    std::wstring joined;
    for (const std::wstring& line : lines) joined += line + L"\n";
    return joined;
}

std::wstring Joined(Lines lines) {
    std::sort(lines.begin(), lines.end());
    std::wstring joined;
    for (const std::wstring& line : lines) joined += line + L"\n";
    return joined;
}

// A value's type and text as the dump writes it, or "<absent>".
std::wstring Value(HKEY root, const std::wstring& path, const wchar_t* name) {
    wchar_t text[512];
    DWORD type = 0, bytes = sizeof(text);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, text, &bytes) !=
        ERROR_SUCCESS)
        return L"<absent>";
    return type == REG_SZ ? L"SZ " + std::wstring(text) : L"type " + std::to_wstring(type);
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text) {
    RegSetKeyValueW(root, path.c_str(), name, REG_SZ, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Entries of another program beside ours, which unregistration must leave.
void WriteForeignEntries() {
    SetString(HKEY_LOCAL_MACHINE, std::wstring(kDriveHandlers) + L"\\" + kForeignClass, nullptr, L"other");
    SetString(HKEY_LOCAL_MACHINE, kApproved, kForeignClass, L"Other Handler");
    SetString(HKEY_LOCAL_MACHINE,
              std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\Namespace\\") +
                  kForeignClass,
              nullptr, L"Other");
    SetString(HKEY_LOCAL_MACHINE, std::wstring(kStaticFind) + L"\\OtherSearch", nullptr, kForeignClass);
}

void RemoveForeignEntries() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kDriveHandlers) + L"\\" + kForeignClass).c_str());
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kApproved, kForeignClass);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                   (std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\"
                                 L"Namespace\\") +
                    kForeignClass)
                       .c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kStaticFind) + L"\\OtherSearch").c_str());
}

class Registration : public testing::Test {
protected:
    void SetUp() override {
        dll_ = ExtensionLibraryPath();
        folder_ = dll_.substr(0, dll_.rfind(L'\\'));
        ASSERT_EQ(RunRegsvr32(true), 0u) << "unregistering an unregistered library";
    }
    void TearDown() override {
        RemoveForeignEntries();
        // The other test programs expect the library registered.
        RunRegsvr32(false);
    }

    // Everything the scripts and the search command write, written out.
    void ExpectRegistered() {
        EXPECT_EQ(Tree(HKEY_CLASSES_ROOT, kFolderClass),
                  Joined({L"@ = SZ Module",
                          L"DefaultIcon",
                          L"DefaultIcon\\@ = SZ " + dll_ + L",0",
                          L"InProcServer32",
                          L"InProcServer32\\@ = SZ " + dll_,
                          L"InProcServer32\\ThreadingModel = SZ Apartment",
                          L"shellex",
                          L"shellex\\ContextMenuHandlers",
                          L"shellex\\ContextMenuHandlers\\{1663176E-DE26-4BBC-AC0A-35CE1842E30F}",
                          L"shellex\\PropertySheetHandlers",
                          L"shellex\\PropertySheetHandlers\\{7E9BFFAF-7639-4CF9-AF5D-AF8FB7BC83E6}",
                          L"ShellFolder",
                          L"ShellFolder\\Attributes = DWORD 0xA0000040"}));
        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, kNamespaceEntry), Joined({L"@ = SZ Module"}));
        EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kApproved, L"{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}"),
                  L"SZ Module");

        EXPECT_EQ(Tree(HKEY_CLASSES_ROOT, kMenuClass),
                  Joined({L"@ = SZ Module ContextMenuHandler", L"InProcServer32",
                          L"InProcServer32\\@ = SZ " + dll_,
                          L"InProcServer32\\ThreadingModel = SZ Apartment"}));
        EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kApproved, L"{1663176E-DE26-4BBC-AC0A-35CE1842E30F}"),
                  L"SZ Module ContextMenuHandler");

        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Drive\\shellex\\PropertySheetHandlers\\"
                                           L"{7E9BFFAF-7639-4CF9-AF5D-AF8FB7BC83E6}"),
                  L"");
        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kSheetClass),
                  Joined({L"@ = SZ Module PropertySheetHandler", L"InProcServer32",
                          L"InProcServer32\\@ = SZ " + dll_,
                          L"InProcServer32\\ThreadingModel = SZ Apartment"}));
        EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kApproved, L"{7E9BFFAF-7639-4CF9-AF5D-AF8FB7BC83E6}"),
                  L"SZ Module PropertySheetHandler");

        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\Classes\\") + kSearchClass),
                  Joined({L"@ = SZ Velkor Module Flash Search Handler", L"InProcServer32",
                          L"InProcServer32\\@ = SZ " + dll_,
                          L"InProcServer32\\ThreadingModel = SZ Apartment"}));
        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.ssc"),
                  Joined({L"@ = SZ Velkor.SearchConfig"}));
        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Velkor.SearchConfig"),
                  Joined({L"@ = SZ Velkor Search Configuration", L"shell", L"shell\\open",
                          L"shell\\open\\command",
                          L"shell\\open\\command\\@ = SZ \"" + folder_ +
                              L"\\KTXSearchApp.exe\" \"%1\""}));
        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, std::wstring(kStaticFind) + L"\\VelkorMFlashSearchHandler"),
                  Joined({L"@ = SZ {6A94EF46-DD50-45FC-BD17-43B9BC1A3D8A}", L"0",
                          L"0\\@ = SZ Search &MMC", L"0\\DefaultIcon",
                          L"0\\DefaultIcon\\@ = SZ " + dll_ + L",5"}));
        // The search handler is not an approved extension.
        EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kApproved, L"{6A94EF46-DD50-45FC-BD17-43B9BC1A3D8A}"),
                  L"<absent>");
        // The user's menu text, written at every load.
        EXPECT_EQ(Tree(HKEY_CURRENT_USER, std::wstring(kStaticFind) + L"\\VelkorMFlashSearchHandler"),
                  Joined({L"0", L"0\\@ = SZ Find on module file system..."}));
    }

    void ExpectNothingOfOursButTheUsersMenuText() {
        for (const wchar_t* key : {kFolderClass, kMenuClass, kSheetClass, kSearchClass, L".ssc",
                                   L"Velkor.SearchConfig"})
            EXPECT_EQ(Tree(HKEY_CLASSES_ROOT, key), L"<absent>") << key;
        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, kNamespaceEntry), L"<absent>");
        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, std::wstring(kDriveHandlers) +
                                               L"\\{7E9BFFAF-7639-4CF9-AF5D-AF8FB7BC83E6}"),
                  L"<absent>");
        EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, std::wstring(kStaticFind) + L"\\VelkorMFlashSearchHandler"),
                  L"<absent>");
        for (const wchar_t* name : {L"{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}",
                                    L"{1663176E-DE26-4BBC-AC0A-35CE1842E30F}",
                                    L"{7E9BFFAF-7639-4CF9-AF5D-AF8FB7BC83E6}"})
            EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kApproved, name), L"<absent>") << name;
    }

    std::wstring dll_;
    std::wstring folder_;
};

}  // namespace

TEST_F(Registration, WritesExactlyItsEntriesAndRemovesOnlyThem) {
    const bool driveBefore = KeyExists(HKEY_CLASSES_ROOT, L"Drive");
    ExpectNothingOfOursButTheUsersMenuText();
    WriteForeignEntries();

    ASSERT_EQ(RunRegsvr32(false), 0u);
    ExpectRegistered();
    // What others add below the keys we own whole goes with them; an approval
    // of our search handler is not ours to take, as no script of ours writes it.
    SetString(HKEY_CLASSES_ROOT, L".ssc\\OpenWithProgids", L"Other.Class", L"");
    SetString(HKEY_CLASSES_ROOT, std::wstring(kFolderClass) + L"\\Added\\Deeper", nullptr, L"x");
    SetString(HKEY_LOCAL_MACHINE, std::wstring(kStaticFind) + L"\\VelkorMFlashSearchHandler\\1", nullptr, L"y");
    SetString(HKEY_LOCAL_MACHINE, kApproved, L"{6A94EF46-DD50-45FC-BD17-43B9BC1A3D8A}", L"Approved by others");

    ASSERT_EQ(RunRegsvr32(true), 0u);
    ExpectNothingOfOursButTheUsersMenuText();
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kApproved, L"{6A94EF46-DD50-45FC-BD17-43B9BC1A3D8A}"),
              L"SZ Approved by others");
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kApproved, L"{6A94EF46-DD50-45FC-BD17-43B9BC1A3D8A}");
    // Others' entries in the keys we share stay, and so do the shared keys.
    EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, std::wstring(kDriveHandlers) + L"\\" + kForeignClass),
              Joined({L"@ = SZ other"}));
    EXPECT_EQ(Value(HKEY_LOCAL_MACHINE, kApproved, kForeignClass), L"SZ Other Handler");
    EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\"
                                                    L"Explorer\\MyComputer\\Namespace\\") +
                                           kForeignClass),
              Joined({L"@ = SZ Other"}));
    EXPECT_EQ(Tree(HKEY_LOCAL_MACHINE, std::wstring(kStaticFind) + L"\\OtherSearch"),
              Joined({std::wstring(L"@ = SZ ") + kForeignClass}));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Drive") || !driveBefore);
    // The user's menu text is the load's, not the scripts'; it stays.
    EXPECT_EQ(Value(HKEY_CURRENT_USER, std::wstring(kStaticFind) + L"\\VelkorMFlashSearchHandler\\0",
                    nullptr),
              L"SZ Find on module file system...");
}

TEST_F(Registration, ReplacesWhatAnEarlierRegistrationLeftAndSurvivesARepeat) {
    // Stale entries under keys the scripts own whole are replaced, not merged.
    SetString(HKEY_CLASSES_ROOT, std::wstring(kFolderClass) + L"\\Stale", nullptr, L"old");
    SetString(HKEY_CLASSES_ROOT, std::wstring(kFolderClass) + L"\\InProcServer32", nullptr,
              L"C:\\Elsewhere\\KTXShellExt.dll");
    SetString(HKEY_CLASSES_ROOT, L"Velkor.SearchConfig\\DefaultIcon", nullptr, L"old.dll,3");
    ASSERT_EQ(RunRegsvr32(false), 0u);
    ASSERT_EQ(RunRegsvr32(false), 0u);
    ExpectRegistered();

    ASSERT_EQ(RunRegsvr32(true), 0u);
    ASSERT_EQ(RunRegsvr32(true), 0u);
    ExpectNothingOfOursButTheUsersMenuText();
}
