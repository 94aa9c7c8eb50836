#include "module_access/call_wrappers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/result_codes.h"
#include "module_access/listing.h"
#include "item_id/module_item_id.h"
#include "testing/fake_module_access.h"
#include "tests/support/prompt_recorder.h"

namespace {

const HRESULT kLinkDown = static_cast<HRESULT>(0x8004A004L);

class CallWrappers : public ::testing::Test {
protected:
    void SetUp() override {
        fake_ = new FakeModuleAccess();
        fake_->AddDrive(L"A:");
        fake_->AddFolder(L"\\A:\\Data");
        fake_->AddFile(L"\\A:\\Data\\Photo.jpg", 10);
        fake_->AddFolder(L"\\A:\\Data\\Album");
        owner_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                 nullptr);
    }
    void TearDown() override {
        DestroyWindow(owner_);
        fake_->Release();
    }

    IdListHolder Item(const wchar_t* path) {
        IdListHolder item;
        EXPECT_EQ(S_OK, GetItemRecord(path, fake_, item.out()));
        fake_->ClearCalls();
        return item;
    }

    FakeModuleAccess* fake_ = nullptr;
    HWND owner_ = nullptr;
    PromptRecorder prompts_;
};

TEST_F(CallWrappers, SuccessesPassTheDriveAsLetterAndColonAndShowNothing) {
    EXPECT_EQ(S_OK, SetDriveLabel(fake_, owner_, L"\\A:", L"Holiday"));
    EXPECT_EQ(S_OK, SetItemAttributes(fake_, owner_, L"\\A:\\Data\\Photo.jpg", 0x01));
    EXPECT_EQ(S_OK, CreateStandardFoldersOn(fake_, owner_, L"A:"));
    EXPECT_EQ(S_OK, FormatDrive(fake_, owner_, L"\\A:"));
    EXPECT_EQ((std::vector<std::wstring>{L"SetLabel(A:,Holiday)",
                                         L"SetAttributes(\\A:\\Data\\Photo.jpg,1)",
                                         L"CreateStandardFolders(A:)", L"Format(A:)"}),
              fake_->Calls());
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(CallWrappers, CancellationIsReturnedWithoutAMessage) {
    IdListHolder photo = Item(L"\\A:\\Data\\Photo.jpg");
    const std::vector<std::pair<const wchar_t*, std::function<HRESULT()>>> wrappers = {
        {L"SetLabel", [&] { return SetDriveLabel(fake_, owner_, L"\\A:", L"x"); }},
        {L"SetAttributes", [&] { return SetItemAttributes(fake_, owner_, L"\\A:\\Data", 0); }},
        {L"CreateStandardFolders", [&] { return CreateStandardFoldersOn(fake_, owner_, L"\\A:"); }},
        {L"Format", [&] { return FormatDrive(fake_, owner_, L"\\A:"); }},
        {L"CreateFolder",
         [&] {
             HRESULT hr = S_OK;
             EXPECT_EQ(L"", CreateNewFolder(fake_, owner_, L"\\A:", &hr));
             return hr;
         }},
        {L"RenameFile", [&] { return RenameItem(fake_, owner_, photo.get(), L"b.jpg"); }},
    };
    for (const auto& wrapper : wrappers) {
        fake_->FailOn(wrapper.first, L"", E_OPERATION_CANCELLED, nullptr, 1);
        EXPECT_EQ(E_OPERATION_CANCELLED, wrapper.second()) << wrapper.first;
        EXPECT_EQ(1u, fake_->CountCalls(wrapper.first)) << wrapper.first;
        fake_->ClearCalls();
    }
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(CallWrappers, NewFolderTakesTheFirstFreeNumber) {
    EXPECT_EQ(L"\\A:\\Data\\New folder", CreateNewFolder(fake_, owner_, L"\\A:\\Data"));
    EXPECT_EQ(L"\\A:\\Data\\New folder (2)", CreateNewFolder(fake_, owner_, L"\\A:\\Data"));
    fake_->ClearCalls();
    HRESULT hr = E_FAIL;
    EXPECT_EQ(L"\\A:\\Data\\New folder (3)", CreateNewFolder(fake_, owner_, L"\\A:\\Data", &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ((std::vector<std::wstring>{L"ListFolder(\\A:\\Data\\New folder,0)",
                                         L"ListFolder(\\A:\\Data\\New folder (2),0)",
                                         L"ListFolder(\\A:\\Data\\New folder (3),0)",
                                         L"CreateFolder(\\A:\\Data\\New folder (3))"}),
              fake_->Calls());
    EXPECT_TRUE(fake_->Exists(L"\\A:\\Data\\New folder (3)"));
    EXPECT_EQ(0u, prompts_.Count());
}

// The failures of the calls themselves are checked against the real server.
TEST_F(CallWrappers, NewFolderLookupFailureIsAWarningAndCreatesNothing) {
    fake_->FailOn(L"ListFolder", L"", kLinkDown, L"Lookup lost.");
    HRESULT hr = S_OK;
    EXPECT_EQ(L"", CreateNewFolder(fake_, owner_, L"\\A:", &hr));
    EXPECT_EQ(kLinkDown, hr);
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(L"Error Creating Object", prompts_.Last().caption);
    EXPECT_EQ(L"Lookup lost.", prompts_.Last().text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), prompts_.Last().flags);
    EXPECT_EQ(owner_, prompts_.Last().owner);
    EXPECT_EQ(0u, fake_->CountCalls(L"CreateFolder"));
}

TEST_F(CallWrappers, RenameRefusesBadNamesLoudlyAndDrivesSilentlyBeforeAnyCall) {
    IdListHolder photo = Item(L"\\A:\\Data\\Photo.jpg");
    for (const wchar_t* name : {L"a\"b", L"a*b", L"a/b", L"a:b", L"a<b", L"a>b", L"a?b", L"a\\b",
                                L"a|b"}) {
        PromptRecorder prompts;
        EXPECT_EQ(E_FAIL, RenameItem(fake_, owner_, photo.get(), name)) << name;
        ASSERT_EQ(1u, prompts.Count()) << name;
        EXPECT_EQ(L"Error Renaming File", prompts.Last().caption);
        EXPECT_EQ(L"A filename cannot contain any of the following characters:\n\t\\ / : * ? \" < > |",
                  prompts.Last().text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), prompts.Last().flags);
    }
    EXPECT_TRUE(fake_->Calls().empty());
    EXPECT_FALSE(HasInvalidNameCharacter(L"Photo (1).jpg"));

    IdListHolder drive = Item(L"\\A:");
    EXPECT_EQ(E_FAIL, RenameItem(fake_, owner_, drive.get(), L"B"));
    IdListHolder bare(MakeItemId(L"A:", L"", 0, 0, 0, 0, 0));
    EXPECT_EQ(E_FAIL, RenameItem(fake_, owner_, bare.get(), L"B"));
    EXPECT_EQ(E_POINTER, RenameItem(nullptr, owner_, drive.get(), L"B"));
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_TRUE(fake_->Calls().empty());
}

TEST_F(CallWrappers, RenamePicksTheFolderOrFileOperation) {
    IdListHolder photo = Item(L"\\A:\\Data\\Photo.jpg");
    IdListHolder album = Item(L"\\A:\\Data\\Album");
    std::wstring newPath;
    EXPECT_EQ(S_OK, RenameItem(fake_, owner_, photo.get(), L"Beach.jpg", &newPath));
    EXPECT_EQ(L"\\A:\\Data\\Beach.jpg", newPath);
    EXPECT_EQ(S_OK, RenameItem(fake_, owner_, album.get(), L"Pictures"));
    EXPECT_EQ((std::vector<std::wstring>{
                  L"ListFolder(\\A:\\Data\\Beach.jpg,0)",
                  L"RenameFile(\\A:\\Data\\Photo.jpg,\\A:\\Data\\Beach.jpg)",
                  L"ListFolder(\\A:\\Data\\Pictures,0)",
                  L"RenameFolder(\\A:\\Data\\Album,\\A:\\Data\\Pictures)"}),
              fake_->Calls());
    EXPECT_EQ(0u, prompts_.Count());
}

}  // namespace
