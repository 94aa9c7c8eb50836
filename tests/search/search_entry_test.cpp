// The ways into a search window from outside: the search handler's menu
// answers, its registration, and KTXSearchApp.exe started on a saved search.
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "common/module_count.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "search/search_criteria.h"
#include "search/search_handler.h"
#include "search/search_window.h"
#include "tests/support/extension_library.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring Text(UINT id) { return Resources().LoadString(id); }

std::wstring StringValue(HKEY root, const std::wstring& path, const wchar_t* name = nullptr) {
    wchar_t buffer[1024];
    DWORD bytes = sizeof(buffer);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return L"<missing>";
    return buffer;
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::wstring BinFolder() {
    std::wstring dll = ExtensionLibraryPath();
    return dll.substr(0, dll.rfind(L'\\'));
}

HWND WaitForWindow(const std::wstring& title, DWORD milliseconds) {
    for (DWORD waited = 0; waited < milliseconds; waited += 20) {
        if (HWND window = FindWindowW(L"#32770", title.c_str())) return window;
        Sleep(20);
    }
    return nullptr;
}

}  // namespace

TEST(SearchHandler, AddsNothingAndNamesItsVerbSearch) {
    ComPtr<IContextMenu> menu;
    ASSERT_EQ(CreateSearchHandlerInstance(nullptr, IID_PPV_ARGS(&menu)), S_OK);
    EXPECT_EQ(menu->QueryContextMenu(nullptr, 0, 1, 100, CMF_NORMAL), 1);

    struct Case {
        UINT type;
        UINT size;
        HRESULT result;
        const char* text;   // null: nothing written
    };
    const Case cases[] = {
        {GCS_VERBA, 32, S_OK, "search"},       {GCS_HELPTEXTA, 32, S_OK, "search"},
        {GCS_VERBA, 4, S_OK, "sea"},           {GCS_VERBW, 32, S_OK, "search"},
        {GCS_HELPTEXTW, 32, S_OK, "search"},   {GCS_VERBW, 3, S_OK, "se"},
        {GCS_VALIDATEA, 32, S_OK, nullptr},    {GCS_VALIDATEW, 32, S_OK, nullptr},
        {0x7F, 32, E_INVALIDARG, nullptr},
    };
    for (const Case& c : cases) {
        char buffer[64];
        memset(buffer, 0, sizeof(buffer));
        EXPECT_EQ(menu->GetCommandString(0, c.type, nullptr, buffer, c.size), c.result) << c.type;
        if (!c.text) continue;
        if (c.type & GCS_UNICODE) {
            std::wstring expected(c.text, c.text + strlen(c.text));
            EXPECT_EQ(std::wstring(reinterpret_cast<wchar_t*>(buffer)), expected) << c.type;
        } else {
            EXPECT_STREQ(buffer, c.text) << c.type;
        }
    }
    EXPECT_EQ(menu->GetCommandString(0, GCS_VERBW, nullptr, nullptr, 32), E_POINTER);
}

TEST(SearchHandler, InvokeOpensAWindowThatHoldsTheLibrary) {
    SubstituteModule module;
    ASSERT_TRUE(module.ok());
    LONG before = ModuleObjectCount();
    {
        ComPtr<IContextMenu> menu;
        ASSERT_EQ(CreateSearchHandlerInstance(nullptr, IID_PPV_ARGS(&menu)), S_OK);
        CMINVOKECOMMANDINFO info = {sizeof(info)};
        EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
    }
    EXPECT_EQ(OpenSearchWindowCount(), 1);
    EXPECT_GT(ModuleObjectCount(), before) << "the open window holds the library";
    HWND window = WaitForWindow(Text(IDS_SEARCH_TITLE) + L" " + Text(IDS_SEARCH_DESC_ALL_FILES), 5000);
    ASSERT_NE(window, nullptr);
    SendMessageW(window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 500 && OpenSearchWindowCount() > 0; ++i) Sleep(10);
    EXPECT_EQ(OpenSearchWindowCount(), 0);
    // The window's thread holds the library until its last instruction.
    for (int i = 0; i < 500 && ModuleObjectCount() != before; ++i) Sleep(10);
    EXPECT_EQ(ModuleObjectCount(), before);
}

TEST(SearchRegistration, HandlerClassFindEntryAndSavedSearchType) {
    ASSERT_EQ(RunRegsvr32(false), 0u);
    const std::wstring dll = ExtensionLibraryPath();
    const std::wstring handlerKey = L"CLSID\\{6A94EF46-DD50-45FC-BD17-43B9BC1A3D8A}";
    const std::wstring findKey =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FindExtensions\\Static\\"
        L"VelkorMFlashSearchHandler";
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, handlerKey), L"Velkor Module Flash Search Handler");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, handlerKey + L"\\InProcServer32"), dll);
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, handlerKey + L"\\InProcServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, L".ssc"), L"Velkor.SearchConfig");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, L"Velkor.SearchConfig"), L"Velkor Search Configuration");
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, L"Velkor.SearchConfig\\shell\\open\\command"),
              L"\"" + BinFolder() + L"\\KTXSearchApp.exe\" \"%1\"");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, findKey), L"{6A94EF46-DD50-45FC-BD17-43B9BC1A3D8A}");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, findKey + L"\\0"), L"Search &MMC");
    EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, findKey + L"\\0\\DefaultIcon"), dll + L",5");
    // Loading writes the user's menu text.
    EXPECT_EQ(StringValue(HKEY_CURRENT_USER, findKey + L"\\0"), Text(IDS_FIND_ON_MODULE));

    // The class is creatable through the library's own class object.
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        LoadedExtension library;
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(library.GetClassObject({0x6A94EF46, 0xDD50, 0x45FC, {0xBD, 0x17, 0x43, 0xB9, 0xBC, 0x1A, 0x3D, 0x8A}},
                                         IID_PPV_ARGS(&factory)),
                  S_OK);
        ComPtr<IContextMenu> menu;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&menu)), S_OK);
        EXPECT_NE(library.Proc<void*>("StartSearch"), nullptr);
        menu.Reset();
        factory.Reset();
        EXPECT_EQ(library.CanUnloadNow(), S_OK);
        CoUninitialize();
    }

    ASSERT_EQ(RunRegsvr32(true), 0u);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, handlerKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L".ssc"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Velkor.SearchConfig"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, findKey));
}

// The open command's program: started with a saved search whose path has
// spaces and quotes round it, it shows the window with the file's criteria
// and ends when the window is closed.
TEST(SearchApplication, OpensTheSavedSearchAndEndsWithTheWindow) {
    SubstituteModule module;
    ASSERT_TRUE(module.ok());
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"saved search for the app.ssc";
    SearchCriteria criteria;
    criteria.name = L"from the app";
    ASSERT_HRESULT_SUCCEEDED(criteria.Save(path.c_str(), nullptr));

    for (const std::wstring& argument : {L"\"" + path + L"\"", std::wstring()}) {
        std::wstring command = L"\"" + BinFolder() + L"\\KTXSearchApp.exe\" " + argument;
        STARTUPINFOW startup = {sizeof(startup)};
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        const std::wstring title =
            argument.empty() ? Text(IDS_SEARCH_TITLE) + L" " + Text(IDS_SEARCH_DESC_ALL_FILES)
                             : Text(IDS_SEARCH_TITLE) + L" " + Text(IDS_SEARCH_DESC_FILES) + L" " +
                                   Text(IDS_SEARCH_DESC_WITH_NAMES) + L" from the app";
        HWND window = WaitForWindow(title, 20000);
        EXPECT_NE(window, nullptr) << "no window titled " << std::string(title.begin(), title.end());
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        if (window) PostMessageW(window, WM_CLOSE, 0, 0);
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u);
        if (!window) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    DeleteFileW(path.c_str());
}
