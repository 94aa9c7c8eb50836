// The client against the substitute module-access server (out of process)
// on a fresh copy of the sample module: listings, lookups and every call
// wrapper with its exact message.
#include <windows.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "common/result_codes.h"
#include "module_access/call_wrappers.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "namespace/module_item_id.h"
#include "tests/support/extension_library.h"
#include "tests/support/prompt_recorder.h"
#include "tests/support/substitute_server.h"

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

    std::vector<std::wstring> Paths(const ItemArray& items) {
        std::vector<std::wstring> paths;
        for (UINT i = 0; i < items.count(); ++i) paths.push_back(ItemPath(items[i]));
        return paths;
    }
    std::vector<std::wstring> Listed(const wchar_t* folder) {
        ItemArray items;
        EXPECT_EQ(S_OK, ListItemsEx(folder, L"*", &items, access_.Get(), false, false));
        return Paths(items);
    }
    bool Exists(const wchar_t* path) {
        IdListHolder item;
        EXPECT_EQ(S_OK, GetItemRecord(path, access_.Get(), item.out()));
        return static_cast<bool>(item);
    }
    // Sizes of the files below a PC folder; *entries counts files and folders.
    ULONGLONG PcTreeSize(const std::wstring& folder, UINT* entries = nullptr) {
        ULONGLONG total = 0;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return 0;
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            if (entries) ++*entries;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                total += PcTreeSize(folder + L"\\" + name, entries);
            else
                total += data.nFileSizeLow;
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return total;
    }

    SubstituteModule module_;
    bool entered_ = false;
    ComPtr<ModuleAccess> access_;
    HWND owner_ = nullptr;
    PromptRecorder prompts_;
};

TEST_F(ModuleServerClient, RootListsTheDrivesWithTheirCapacity) {
    std::unique_ptr<IdListHolder[]> items;
    UINT count = 0;
    ASSERT_EQ(S_OK, ListItems(L"", &items, &count, access_.Get(), false));
    ASSERT_EQ(2u, count);
    EXPECT_STREQ(L"\\A:", ItemPath(items[0].get()));
    EXPECT_STREQ(L"\\B:", ItemPath(items[1].get()));
    EXPECT_TRUE(IsDriveItem(items[0].get()));
    EXPECT_EQ(4194304u, ItemSize(items[0].get()));
    for (UINT i = 0; i < count; ++i) EXPECT_TRUE(IsValidItemId(items[i].get()));
}

TEST_F(ModuleServerClient, FolderListingCarriesTheRecords) {
    std::unique_ptr<IdListHolder[]> items;
    UINT count = 0;
    ASSERT_EQ(S_OK, ListItems(L"\\A:\\Data", &items, &count, access_.Get(), false));
    std::vector<std::wstring> paths;
    LPCITEMIDLIST photo = nullptr;
    for (UINT i = 0; i < count; ++i) {
        paths.push_back(ItemPath(items[i].get()));
        if (paths.back() == L"\\A:\\Data\\Photo.jpg") photo = items[i].get();
    }
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\Archive", L"\\A:\\Data\\Empty Folder",
                                         L"\\A:\\Data\\Notes.txt", L"\\A:\\Data\\Photo.jpg",
                                         L"\\A:\\Data\\README", L"\\A:\\Data\\Report 2006.final.doc",
                                         L"\\A:\\Data\\\u00DCbersicht Gr\u00F6\u00DFen.txt"}),
              paths);
    ASSERT_NE(nullptr, photo);
    EXPECT_STREQ(L"PHOTO.JPG", ItemShortName(photo));
    EXPECT_EQ(61440u, ItemSize(photo));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), ItemAttributes(photo));
    SYSTEMTIME st = {};
    ASSERT_TRUE(VariantTimeToSystemTime(ItemModified(photo), &st));
    EXPECT_EQ(2006, st.wYear);
    EXPECT_EQ(37, st.wMinute);

    ASSERT_EQ(S_OK, ListItems(L"\\A:\\Data", &items, &count, access_.Get(), true));
    EXPECT_EQ(2u, count);  // folders only
    ASSERT_EQ(S_OK, ListItems(L"\\A:\\Data\\Empty Folder", &items, &count, access_.Get(), false));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(nullptr, items.get());
}

TEST_F(ModuleServerClient, RecursiveListingIsDepthFirst) {
    ItemArray items;
    ASSERT_EQ(S_OK, ListItemsEx(L"\\A:\\Data\\Archive", L"*", &items, access_.Get(), false, true));
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\Archive\\Deep",
                                         L"\\A:\\Data\\Archive\\Deep\\level3.bin",
                                         L"\\A:\\Data\\Archive\\old notes.txt"}),
              Paths(items));

    ItemArray all;
    ASSERT_EQ(S_OK, ListItemsEx(L"", L"*", &all, access_.Get(), false, true));
    UINT onPc = 0;
    PcTreeSize(module_.PcPath(L"\\A:"), &onPc);
    PcTreeSize(module_.PcPath(L"\\B:"), &onPc);
    EXPECT_EQ(2u + onPc, all.count());  // both drives and every item below them
    EXPECT_GT(all.count(), 20u);
    EXPECT_EQ(32u, all.capacity());
}

TEST_F(ModuleServerClient, AFailureDeepDownLeavesNothing) {
    ItemArray items;
    // Calls: \A:\Data\*, then Archive\*, then Archive\Deep\*.
    module_.FailNthCall(L"ListFolder", 3, E_NO_CONNECTION);
    EXPECT_EQ(E_NO_CONNECTION, ListItemsEx(L"\\A:\\Data", L"*", &items, access_.Get(), false, true));
    EXPECT_EQ(nullptr, items.items());
    EXPECT_EQ(0u, items.count());
    EXPECT_EQ(0u, items.capacity());
}

TEST_F(ModuleServerClient, SingleItemLookup) {
    IdListHolder item;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Photo.jpg", access_.Get(), item.out()));
    ASSERT_TRUE(item);
    EXPECT_STREQ(L"\\A:\\Data\\Photo.jpg", ItemPath(item.get()));
    EXPECT_EQ(61440u, ItemSize(item.get()));

    ASSERT_EQ(S_OK, GetItemRecord(L"\\B:", access_.Get(), item.out()));
    ASSERT_TRUE(item);
    EXPECT_STREQ(L"\\B:", ItemPath(item.get()));
    EXPECT_TRUE(IsDriveItem(item.get()));

    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\missing.txt", access_.Get(), item.out()));
    EXPECT_FALSE(item);
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Nowhere\\missing.txt", access_.Get(), item.out()));
    EXPECT_FALSE(item);
}

TEST_F(ModuleServerClient, TotalSizeOfASelection) {
    IdListHolder data, readMe;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data", access_.Get(), data.out()));
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Read Me First.txt", access_.Get(), readMe.out()));
    LPCITEMIDLIST selection[] = {data.get(), readMe.get()};
    ULONGLONG total = 0;
    ASSERT_EQ(S_OK, TotalFileSize(L"\\A:", selection, 2, &total, true, access_.Get()));
    EXPECT_EQ(PcTreeSize(module_.PcPath(L"\\A:\\Data")) + ItemSize(readMe.get()), total);
    EXPECT_GT(total, 61440u);
}

TEST_F(ModuleServerClient, ServerFailuresReachTheCallerAndTheUser) {
    module_.Disconnect();
    std::unique_ptr<IdListHolder[]> items;
    UINT count = 0;
    EXPECT_EQ(E_NO_CONNECTION, ListItems(L"\\A:", &items, &count, access_.Get(), false));
    module_.Reconnect();

    module_.FailNthCall(L"ListFolder", 1, E_PORT_IN_USE, 1, L"COM1 is busy.");
    const HRESULT hr = ListItems(L"\\A:", &items, &count, access_.Get(), false);
    EXPECT_EQ(E_PORT_IN_USE, hr);
    ReportModuleError(hr, L"\\A:\\Data\\Photo.jpg");
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(L"Error Copying File", prompts_.Last().caption);
    EXPECT_EQ(L"Photo.jpg cannot be copied: COM1 is busy.", prompts_.Last().text);
}

TEST_F(ModuleServerClient, LabelAttributesStandardFoldersAndFormat) {
    EXPECT_EQ(S_OK, SetDriveLabel(access_.Get(), owner_, L"\\A:", L"HOLIDAY"));
    UniqueBstr label;
    UniqueBstr drive(L"A:");
    ASSERT_EQ(S_OK, access_->GetLabel(drive.get(), label.out()));
    EXPECT_STREQ(L"HOLIDAY", label.c_str());

    EXPECT_EQ(S_OK, SetItemAttributes(access_.Get(), owner_, L"\\A:\\Data\\Notes.txt",
                                      FILE_ATTRIBUTE_READONLY));
    IdListHolder notes;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Notes.txt", access_.Get(), notes.out()));
    EXPECT_TRUE(ItemAttributes(notes.get()) & FILE_ATTRIBUTE_READONLY);

    const size_t before = Listed(L"\\B:").size();
    EXPECT_EQ(S_OK, CreateStandardFoldersOn(access_.Get(), owner_, L"\\B:"));
    EXPECT_GT(Listed(L"\\B:").size(), before);

    EXPECT_EQ(S_OK, FormatDrive(access_.Get(), owner_, L"\\B:"));
    EXPECT_TRUE(Listed(L"\\B:").empty());
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(ModuleServerClient, WrapperFailuresShowTheirMessagesWithTheServersText) {
    module_.FailNthCall(L"SetLabel", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, SetDriveLabel(access_.Get(), owner_, L"\\A:", L"X"));
    module_.FailNthCall(L"SetAttributes", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, SetItemAttributes(access_.Get(), owner_, L"\\A:\\Data\\Notes.txt", 1));
    module_.FailNthCall(L"CreateStandardFolders", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, CreateStandardFoldersOn(access_.Get(), owner_, L"A:"));
    module_.FailNthCall(L"Format", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, FormatDrive(access_.Get(), owner_, L"\\B:"));
    module_.FailNthCall(L"CreateFolder", 1, E_NO_CONNECTION, 1, L"No link.");
    HRESULT hr = S_OK;
    EXPECT_EQ(L"", CreateNewFolder(access_.Get(), owner_, L"\\A:\\Data", &hr));
    EXPECT_EQ(E_NO_CONNECTION, hr);
    IdListHolder notes;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Notes.txt", access_.Get(), notes.out()));
    module_.FailNthCall(L"RenameFile", 1, E_NO_CONNECTION, 1, L"No link.");
    EXPECT_EQ(E_NO_CONNECTION, RenameItem(access_.Get(), owner_, notes.get(), L"Memo.txt"));

    struct Expected {
        const wchar_t* caption;
        const wchar_t* text;
        UINT icon;
    };
    const Expected expected[] = {
        {L"General", L"The data carrier label (X) could not be determined.\r\n\r\nNo link.", MB_ICONERROR},
        {L"Properties of Notes.txt", L"The attributes for Notes.txt could not be determined. No link.",
         MB_ICONERROR},
        {L"Error Creating Standard Folders", L"The standard folders cannot be created: No link.",
         MB_ICONERROR},
        {L"Format module file system", L"Flash memory on module could not be formatted. No link.",
         MB_ICONERROR},
        {L"Error Creating Object", L"No link.", MB_ICONWARNING},
        {L"Error Renaming File", L"Notes.txt cannot be renamed: No link.", MB_ICONERROR},
    };
    const std::vector<PromptRequest> shown = prompts_.Requests();
    ASSERT_EQ(ARRAYSIZE(expected), shown.size());
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(expected[i].caption, shown[i].caption) << i;
        EXPECT_EQ(expected[i].text, shown[i].text) << i;
        EXPECT_EQ(expected[i].icon, shown[i].flags) << i;
        EXPECT_EQ(owner_, shown[i].owner) << i;
    }
    EXPECT_TRUE(Exists(L"\\A:\\Data\\Notes.txt"));
}

TEST_F(ModuleServerClient, CancelledCallsShowNothing) {
    module_.FailNthCall(L"Format", 1, E_OPERATION_CANCELLED);
    EXPECT_EQ(E_OPERATION_CANCELLED, FormatDrive(access_.Get(), owner_, L"\\B:"));
    module_.FailNthCall(L"CreateFolder", 1, E_OPERATION_CANCELLED);
    HRESULT hr = S_OK;
    EXPECT_EQ(L"", CreateNewFolder(access_.Get(), owner_, L"\\A:", &hr));
    EXPECT_EQ(E_OPERATION_CANCELLED, hr);
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(ModuleServerClient, NewFoldersAndRenames) {
    EXPECT_EQ(L"\\A:\\Data\\New folder", CreateNewFolder(access_.Get(), owner_, L"\\A:\\Data"));
    EXPECT_EQ(L"\\A:\\Data\\New folder (2)", CreateNewFolder(access_.Get(), owner_, L"\\A:\\Data"));
    EXPECT_EQ(L"\\A:\\Data\\New folder (3)", CreateNewFolder(access_.Get(), owner_, L"\\A:\\Data"));
    EXPECT_TRUE(Exists(L"\\A:\\Data\\New folder (3)"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(module_.PcPath(L"\\A:\\Data\\New folder (2)").c_str()));

    IdListHolder folder, file, drive;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\New folder", access_.Get(), folder.out()));
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Notes.txt", access_.Get(), file.out()));
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:", access_.Get(), drive.out()));

    std::wstring renamed;
    EXPECT_EQ(S_OK, RenameItem(access_.Get(), owner_, folder.get(), L"Trips", &renamed));
    EXPECT_EQ(L"\\A:\\Data\\Trips", renamed);
    EXPECT_TRUE(Exists(L"\\A:\\Data\\Trips"));
    EXPECT_EQ(S_OK, RenameItem(access_.Get(), owner_, file.get(), L"Memo.txt"));
    EXPECT_TRUE(Exists(L"\\A:\\Data\\Memo.txt"));
    EXPECT_FALSE(Exists(L"\\A:\\Data\\Notes.txt"));
    EXPECT_EQ(0u, prompts_.Count());

    EXPECT_EQ(E_FAIL, RenameItem(access_.Get(), owner_, drive.get(), L"C"));
    EXPECT_EQ(0u, prompts_.Count());

    IdListHolder memo;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Memo.txt", access_.Get(), memo.out()));
    const DWORD renames = module_.CallCount(L"RenameFile");
    EXPECT_EQ(E_FAIL, RenameItem(access_.Get(), owner_, memo.get(), L"Photo.jpg"));
    EXPECT_EQ(E_FAIL, RenameItem(access_.Get(), owner_, memo.get(), L"a:b"));
    EXPECT_EQ(renames, module_.CallCount(L"RenameFile"));
    ASSERT_EQ(2u, prompts_.Count());
    EXPECT_EQ(L"Memo.txt cannot be renamed: A file with the name you specified already exists. "
              L"Specify a different filename.",
              prompts_.Requests()[0].text);
    EXPECT_EQ(L"Error Renaming File", prompts_.Requests()[1].caption);
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
    EXPECT_EQ(61440u, ItemSize(LastItem(list.get())));

    // The shell reaches the item through the list.
    ComPtr<IShellFolder> desktop;
    ASSERT_EQ(S_OK, SHGetDesktopFolder(&desktop));
    STRRET name = {};
    ASSERT_EQ(S_OK, desktop->GetDisplayNameOf(list.get(), SHGDN_INFOLDER, &name));

    ASSERT_EQ(S_OK, ItemIdListForPath(L"\\A:\\Data\\missing.txt", access_.Get(), list.out()));
    EXPECT_EQ(rootItems + 2, CountItems(list.get()));
    ASSERT_EQ(S_OK, ItemIdListForPath(L"", access_.Get(), list.out()));
    EXPECT_EQ(rootItems, CountItems(list.get()));

    module_.FailNthCall(L"ListFolder", 2, E_NO_CONNECTION);
    EXPECT_EQ(E_NO_CONNECTION, ItemIdListForPath(L"\\A:\\Data", access_.Get(), list.out()));
    EXPECT_FALSE(list);
}

}  // namespace
