// The client against the substitute module-access server (out of process)
// on a fresh copy of the sample module: listings, lookups and every call
// wrapper with its exact message, the server's own texts carried across.
#include <windows.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/holders.h"
#include "common/result_codes.h"
#include "module_access/call_wrappers.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "item_id/module_item_id.h"
#include "module_access/absolute_lists.h"
#include "tests/support/extension_library.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"

using Microsoft::WRL::ComPtr;

namespace {

class ModuleServerClient : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(S_OK, EnterComThread());
        entered_ = true;
        ASSERT_EQ(S_OK, CreateModuleAccess(&access_));
        owner_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                 nullptr);
    }
    void TearDown() override {
        if (owner_) DestroyWindow(owner_);
        access_.Reset();
        if (entered_) LeaveComThread();
    }

    bool Exists(const wchar_t* path) {
        IdListHolder item;
        EXPECT_EQ(S_OK, GetItemRecord(path, access_.Get(), item.out()));
        return static_cast<bool>(item);
    }

    SubstituteModule module_;
    bool entered_ = false;
    ComPtr<ModuleAccess> access_;
    HWND owner_ = nullptr;
    PromptRecorder prompts_;
};

TEST_F(ModuleServerClient, ListsLooksUpAndTotalsTheSample) {
    std::vector<IdListHolder> items;
    ASSERT_EQ(S_OK, ListItems(L"", &items, access_.Get(), false));
    ASSERT_EQ(2u, items.size());
    EXPECT_TRUE(IsDriveItem(items[0].get()));
    EXPECT_EQ(4194304u, ItemSize(items[0].get()));
    ULONGLONG total = 0;
    LPCITEMIDLIST driveA[] = {items[0].get()};
    ASSERT_EQ(S_OK, TotalFileSize(L"", driveA, 1, &total, true, access_.Get()));
    EXPECT_EQ(236072u, total);  // every file on A:

    ASSERT_EQ(S_OK, ListItems(L"\\A:\\Data", &items, access_.Get(), false));
    ASSERT_EQ(7u, items.size());
    LPCITEMIDLIST photo = items[3].get();
    EXPECT_STREQ(L"\\A:\\Data\\Photo.jpg", ItemPath(photo));
    EXPECT_STREQ(L"PHOTO.JPG", ItemShortName(photo));
    EXPECT_EQ(61440u, ItemSize(photo));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), ItemAttributes(photo));
    SYSTEMTIME st = {};
    ASSERT_TRUE(VariantTimeToSystemTime(ItemModified(photo), &st));
    EXPECT_EQ(2006, st.wYear);
    EXPECT_STREQ(L"\\A:\\Data\\\u00DCbersicht Gr\u00F6\u00DFen.txt", ItemPath(items[6].get()));
    ASSERT_EQ(S_OK, ListItems(L"\\A:\\Data\\Empty Folder", &items, access_.Get(), false));
    EXPECT_TRUE(items.empty());

    EXPECT_TRUE(Exists(L"\\A:"));
    EXPECT_TRUE(Exists(L"\\A:\\Data\\Photo.jpg"));
    EXPECT_FALSE(Exists(L"\\A:\\Data\\missing.txt"));
    EXPECT_FALSE(Exists(L"\\A:\\Nowhere\\missing.txt"));

    // Depth first over everything: 2 drives, 12 items on A: and 10 below
    // them, 7 on B:.
    ItemArray all;
    ASSERT_EQ(S_OK, ListItemsEx(L"", L"*", &all, access_.Get(), false, true));
    std::vector<std::wstring> paths;
    for (UINT i = 0; i < all.count(); ++i) paths.push_back(ItemPath(all[i]));
    ASSERT_EQ(2u + 12u + 10u + 7u, paths.size());
    auto at = [&](const wchar_t* path) { return std::find(paths.begin(), paths.end(), path) - paths.begin(); };
    EXPECT_EQ(at(L"\\A:\\Data\\Archive") + 1, at(L"\\A:\\Data\\Archive\\Deep"));
    EXPECT_EQ(at(L"\\A:\\Data\\Archive\\Deep") + 1, at(L"\\A:\\Data\\Archive\\Deep\\level3.bin"));
    EXPECT_LT(at(L"\\A:\\System\\config.sys"), at(L"\\B:"));
}

TEST_F(ModuleServerClient, FailuresShowTheirMessagesWithTheServersText) {
    ItemArray items;
    module_.FailNthCall(L"ListFolder", 1, E_PORT_IN_USE, 1, L"COM1 is busy.");
    HRESULT hr = ListItemsEx(L"\\A:", L"*", &items, access_.Get(), false, false);
    EXPECT_EQ(E_PORT_IN_USE, hr);
    ReportModuleError(hr, L"\\A:\\Data\\Photo.jpg");
    module_.FailNthCall(L"SetLabel", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, SetDriveLabel(access_.Get(), owner_, L"\\A:", L"X"));
    module_.FailNthCall(L"SetAttributes", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, SetItemAttributes(access_.Get(), owner_, L"\\A:\\Data\\Notes.txt", 1));
    module_.FailNthCall(L"CreateStandardFolders", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, CreateStandardFoldersOn(access_.Get(), owner_, L"A:"));
    module_.FailNthCall(L"Format", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, FormatDrive(access_.Get(), owner_, L"\\B:"));
    module_.FailNthCall(L"CreateFolder", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(L"", CreateNewFolder(access_.Get(), owner_, L"\\A:\\Data", &hr));
    EXPECT_EQ(E_NO_CONNECTION, hr);
    IdListHolder notes;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Notes.txt", access_.Get(), notes.out()));
    module_.FailNthCall(L"RenameFile", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, RenameItem(access_.Get(), owner_, notes.get(), L"Memo.txt"));
    // A taken name is refused before the server is asked.
    EXPECT_EQ(E_FAIL, RenameItem(access_.Get(), owner_, notes.get(), L"Photo.jpg"));
    EXPECT_EQ(1u, module_.CallCount(L"RenameFile"));

    struct Expected {
        const wchar_t* caption;
        const wchar_t* text;
    };
    const Expected expected[] = {
        {L"Error Copying File", L"Photo.jpg cannot be copied: COM1 is busy."},
        {L"General", L"The data carrier label (X) could not be determined.\r\n\r\nNo link."},
        {L"Properties of Notes.txt", L"The attributes for Notes.txt could not be determined. No link."},
        {L"Error Creating Standard Folders", L"The standard folders cannot be created: No link."},
        {L"Format module file system", L"Flash memory on module could not be formatted. No link."},
        {L"Error Creating Object", L"No link."},
        {L"Error Renaming File", L"Notes.txt cannot be renamed: No link."},
        {L"Error Renaming File", L"Notes.txt cannot be renamed: A file with the name you specified already "
                                 L"exists. Specify a different filename."},
    };
    const std::vector<PromptRequest> shown = prompts_.Requests();
    ASSERT_EQ(ARRAYSIZE(expected), shown.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(expected[i].caption, shown[i].caption) << i;
        EXPECT_EQ(expected[i].text, shown[i].text) << i;
        // Only the new folder's failure is a warning.
        EXPECT_EQ(static_cast<UINT>(i == 5 ? MB_ICONWARNING : MB_ICONERROR), shown[i].flags) << i;
        if (i > 0) {
            EXPECT_EQ(owner_, shown[i].owner) << i;  // the listing's report finds its own owner
        }
    }
    EXPECT_TRUE(Exists(L"\\A:\\Data\\Notes.txt"));
}

// Absolute lists need the Module folder under My Computer: the library is
// registered in the prefix for these.
class AbsoluteLists : public ModuleServerClient {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(0u, RunRegsvr32(false)) << "regsvr32 failed"; }
};

TEST_F(AbsoluteLists, OneIdentifierPerExistingLevelAfterTheRoot) {
    IdListHolder root;
    ASSERT_EQ(S_OK, FindModuleRoot(root.out()));
    const UINT rootItems = CountItems(root.get());
    ASSERT_GE(rootItems, 2u);

    IdListHolder list;
    ASSERT_EQ(S_OK, ItemIdListForPath(L"\\A:\\Data\\Photo.jpg", access_.Get(), list.out()));
    ASSERT_EQ(rootItems + 3, CountItems(list.get()));
    EXPECT_EQ(0, memcmp(root.get(), list.get(), IdListSize(root.get()) - 2));
    EXPECT_STREQ(L"\\A:", ItemPath(ItemAt(list.get(), rootItems)));
    EXPECT_STREQ(L"\\A:\\Data", ItemPath(ItemAt(list.get(), rootItems + 1)));
    EXPECT_STREQ(L"\\A:\\Data\\Photo.jpg", ItemPath(LastItem(list.get())));

    // The shell reaches the item through the list.
    ComPtr<IShellFolder> desktop;
    ASSERT_EQ(S_OK, SHGetDesktopFolder(&desktop));
    STRRET name = {};
    ASSERT_EQ(S_OK, desktop->GetDisplayNameOf(list.get(), SHGDN_INFOLDER, &name));

    ASSERT_EQ(S_OK, ItemIdListForPath(L"\\A:\\Data\\missing.txt", access_.Get(), list.out()));
    EXPECT_EQ(rootItems + 2, CountItems(list.get()));
    module_.FailNthCall(L"ListFolder", 2, E_NO_CONNECTION);
    EXPECT_EQ(E_NO_CONNECTION, ItemIdListForPath(L"\\A:\\Data", access_.Get(), list.out()));
    EXPECT_FALSE(list);
}

}  // namespace
