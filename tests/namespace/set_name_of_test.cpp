// SetNameOf at its edges, on the folder object in this process against the
// substitute server: paths and names the module cannot hold, and a rename
// whose follow-up lookup fails.
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

#include "common/module_count.h"
#include "common/paths.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_errors.h"
#include "namespace/module_folder.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"

using Microsoft::WRL::ComPtr;

namespace {

class SetNameOfTest : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        ASSERT_EQ(S_OK, EnterComThread());
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(S_OK, module_.Create(&access_));
        data_ = Folder(L"\\A:\\Data");
        ASSERT_TRUE(data_);
    }
    void TearDown() override {
        data_.Reset();
        access_.Reset();
        LeaveComThread();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    // The folder object bound to a module folder, as Explorer binds it.
    ComPtr<IShellFolder> Folder(const wchar_t* path) {
        IdListHolder drive, folder;
        EXPECT_EQ(S_OK, GetDriveItem(L"\\A:", access_.Get(), drive.out()));
        EXPECT_EQ(S_OK, GetItemRecord(path, access_.Get(), folder.out()));
        IdListHolder absolute(JoinIdLists(drive.get(), folder.get()));
        ComPtr<IShellFolder> shellFolder;
        ComPtr<IPersistFolder> persist;
        if (!absolute || FAILED(CreateModuleFolderInstance(nullptr, IID_PPV_ARGS(&shellFolder))) ||
            FAILED(shellFolder.As(&persist)) || FAILED(persist->Initialize(absolute.get())))
            return nullptr;
        return shellFolder;
    }

    IdListHolder Item(const wchar_t* path) {
        IdListHolder item;
        EXPECT_EQ(S_OK, GetItemRecord(path, access_.Get(), item.out()));
        return item;
    }

    bool OnPc(const wchar_t* modulePath) const {
        return GetFileAttributesW(module_.PcPath(modulePath).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    LONG objectsBefore_ = 0;
    SubstituteModule module_;
    ComPtr<ModuleAccess> access_;
    ComPtr<IShellFolder> data_;
    PromptRecorder prompts_;
};

}  // namespace

// The rename happened; only the lookup of its new record failed. Explorer
// must hear success and get an identifier with the new name, or the user
// renames again into a clash.
TEST_F(SetNameOfTest, ARenameWhoseLookupFailsSucceedsWithTheNewName) {
    IdListHolder notes = Item(L"\\A:\\Data\\Notes.txt");
    ASSERT_TRUE(notes);
    module_.FailNthCall(L"ListFolder", 2, E_NO_COMMUNICATION);   // the first checks for a clash
    LPITEMIDLIST renamed = nullptr;
    EXPECT_EQ(S_OK, data_->SetNameOf(nullptr, notes.get(), L"Memo.txt", SHGDN_NORMAL, &renamed));
    IdListHolder holder(renamed);
    ASSERT_TRUE(holder && IsValidItemId(holder.get()));
    EXPECT_STREQ(L"\\A:\\Data\\Memo.txt", ItemPath(holder.get()));
    EXPECT_EQ(ItemSize(notes.get()), ItemSize(holder.get()));
    EXPECT_EQ(ItemAttributes(notes.get()), ItemAttributes(holder.get()));
    EXPECT_EQ(ItemModified(notes.get()), ItemModified(holder.get()));
    EXPECT_EQ(1u, module_.CallCount(L"RenameFile"));
    EXPECT_TRUE(OnPc(L"\\A:\\Data\\Memo.txt"));
    EXPECT_FALSE(OnPc(L"\\A:\\Data\\Notes.txt"));
    EXPECT_EQ(0u, prompts_.Count());
}

// A well-formed identifier may carry any path; the module cannot hold one
// this deep or a name this long, and the server must not even be asked.
TEST_F(SetNameOfTest, PathsAndNamesTheModuleCannotHoldAreRefusedAtOnce) {
    std::wstring deepPath = L"\\A:\\Data";
    for (int level = 0; level < 16000; ++level) deepPath += L"\\d";
    IdListHolder deep(MakeItemId(deepPath.c_str(), L"D", 0, FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0));
    ASSERT_TRUE(deep && IsValidItemId(deep.get()));
    IdListHolder notes = Item(L"\\A:\\Data\\Notes.txt");
    std::wstring nearLimit = L"\\A:\\Data";   // a path of exactly 260 characters
    while (nearLimit.size() + 11 < 260) nearLimit += L"\\f";
    nearLimit += L"\\" + std::wstring(260 - nearLimit.size() - 1, L'f');
    ASSERT_EQ(260u, nearLimit.size());
    IdListHolder atLimit(MakeItemId(nearLimit.c_str(), L"F", 0, 0, 0, 0, 0));

    struct Case {
        LPCITEMIDLIST item;
        std::wstring newName;
        const wchar_t* oldName;
    };
    const Case cases[] = {
        {deep.get(), L"e", L"d"},
        {notes.get(), std::wstring(256, L'n'), L"Notes.txt"},
        {atLimit.get(), FileNamePart(nearLimit) + L"g", nullptr},
    };
    const std::wstring tooLong = SystemErrorText(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE));
    const DWORD callsBefore = module_.CallCount(L"ListFolder");
    for (const Case& c : cases) {
        const DWORD started = GetTickCount();
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE),
                  data_->SetNameOf(nullptr, c.item, c.newName.c_str(), SHGDN_NORMAL, nullptr));
        EXPECT_LT(GetTickCount() - started, 2000u);
    }
    ASSERT_EQ(ARRAYSIZE(cases), prompts_.Count());
    for (size_t i = 0; i < ARRAYSIZE(cases); ++i) {
        const PromptRequest box = prompts_.Requests()[i];
        EXPECT_EQ(Resources().LoadString(IDS_ERR_RENAME_CAPTION), box.caption);
        const std::wstring oldName = cases[i].oldName ? cases[i].oldName : FileNamePart(nearLimit);
        EXPECT_EQ(Resources().FormatString(IDS_ERR_RENAME, {oldName, tooLong}), box.text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.flags);
    }
    EXPECT_EQ(callsBefore, module_.CallCount(L"ListFolder"));
    EXPECT_EQ(0u, module_.CallCount(L"RenameFile") + module_.CallCount(L"RenameFolder"));
    // A long name that fits is still renamed.
    EXPECT_EQ(S_OK, data_->SetNameOf(nullptr, notes.get(), std::wstring(100, L'n').c_str(),
                                     SHGDN_NORMAL, nullptr));
}
