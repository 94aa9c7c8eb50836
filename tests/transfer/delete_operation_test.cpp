// The delete flows against an in-process module whose answers the tests
// choose: confirmations, read-only files, failures, cancellation.
#include <windows.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include "common/module_count.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "namespace/module_item_id.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "tests/support/fake_module_access.h"
#include "tests/transfer/delete_test_support.h"
#include "transfer/delete_operation.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kReadOnly = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;

DeleteTarget FileTarget(const wchar_t* path, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
    return {path, attributes};
}
DeleteTarget FolderTarget(const wchar_t* path, DWORD extra = 0) { return {path, kFolder | extra}; }

class DeleteFlow : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        ASSERT_EQ(S_OK, EnterComThread());
        // Takes the first references (this ComPtr's Attach adds one of its own).
        *module_.GetAddressOf() = new FakeModuleAccess;
        module_->AddDrive(L"A:");
        module_->AddFolder(L"\\A:\\Data");
        module_->AddFile(L"\\A:\\Data\\keep.txt", 10);
        *sink_.GetAddressOf() = new RecordingSink;
    }
    void TearDown() override {
        module_.Reset();
        sink_.Reset();
        LeaveComThread();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    // Runs the delete on this thread; returns whether it was cancelled.
    bool Run(std::vector<DeleteTarget> targets, bool silent = false) {
        DeleteOperation operation(L"\\A:\\Data", std::move(targets), silent, nullptr);
        operation.Run(module_.Get(), sink_.Get());
        return operation.cancelled();
    }

    LONG objectsBefore_ = 0;
    ComPtr<FakeModuleAccess> module_;
    ComPtr<RecordingSink> sink_;
    DeletePrompts prompts_;
};

}  // namespace

TEST(DeleteClassification, StopsAtTheFirstPairThatMakesSeveral) {
    auto c = ClassifySelection({FileTarget(L"\\A:\\a")});
    EXPECT_EQ(1, c.files);
    EXPECT_FALSE(c.Several());
    EXPECT_EQ(0u, c.last);

    c = ClassifySelection(
        {FolderTarget(L"\\A:\\f"), FileTarget(L"\\A:\\a"), FileTarget(L"\\A:\\b")});
    EXPECT_TRUE(c.Several());
    EXPECT_EQ(1, c.folders);
    EXPECT_EQ(1, c.files);
    EXPECT_EQ(1u, c.last);

    c = ClassifySelection(
        {FileTarget(L"\\A:\\a"), FileTarget(L"\\A:\\b"), FolderTarget(L"\\A:\\f")});
    EXPECT_EQ(2, c.files);
    EXPECT_EQ(0, c.folders);
    EXPECT_EQ(1u, c.last);

    c = ClassifySelection({});
    EXPECT_TRUE(c.Empty());
}

TEST_F(DeleteFlow, OneReadOnlyFileIsAskedAboutOnceAndDeletedWithoutProgress) {
    module_->AddFile(L"\\A:\\Data\\ro.txt", 5, kReadOnly);
    prompts_.Script({IDOK});
    DialogWindowCounter dialogs;
    EXPECT_FALSE(Run({FileTarget(L"\\A:\\Data\\ro.txt", kReadOnly)}));

    auto asked = prompts_.Asked();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(static_cast<UINT>(IDD_CONFIRM_DELETE), asked[0].dialogId);
    EXPECT_EQ(static_cast<int>(DeleteConfirmMode::ReadOnlyFile), asked[0].mode);
    EXPECT_EQ(L"ro.txt", asked[0].name);
    EXPECT_EQ((std::vector<std::wstring>{L"SetAttributes(\\A:\\Data\\ro.txt,128)",
                                         L"DeleteFile(\\A:\\Data\\ro.txt)"}),
              module_->Calls());
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\ro.txt"}), sink_->messages);
    EXPECT_EQ(0, dialogs.count());
    EXPECT_TRUE(module_->Exists(L"\\A:\\Data\\keep.txt"));
}

TEST_F(DeleteFlow, FolderOfReadOnlyFilesAsksFolderThenOnceWithDeleteAll) {
    module_->AddFolder(L"\\A:\\Data\\Ro");
    for (const wchar_t* name : {L"\\A:\\Data\\Ro\\a.txt", L"\\A:\\Data\\Ro\\b.txt",
                                L"\\A:\\Data\\Ro\\c.txt"})
        module_->AddFile(name, 3, kReadOnly);
    prompts_.Script({IDOK, IDC_DELETE_ALL});
    DialogWindowCounter dialogs;
    EXPECT_FALSE(Run({FolderTarget(L"\\A:\\Data\\Ro")}));

    auto asked = prompts_.Asked();
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(static_cast<UINT>(IDD_CONFIRM_DELETE), asked[0].dialogId);
    EXPECT_EQ(static_cast<int>(DeleteConfirmMode::Folder), asked[0].mode);
    EXPECT_EQ(L"Ro", asked[0].name);
    EXPECT_EQ(static_cast<UINT>(IDD_CONFIRM_READONLY_DELETE), asked[1].dialogId);
    EXPECT_EQ(static_cast<int>(DeleteConfirmMode::ReadOnlyFile), asked[1].mode);
    EXPECT_EQ(L"a.txt", asked[1].name);

    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\Ro\\a.txt", L"D:\\A:\\Data\\Ro\\b.txt",
                                         L"D:\\A:\\Data\\Ro\\c.txt", L"D:\\A:\\Data\\Ro"}),
              sink_->messages);
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\Ro"));
    EXPECT_TRUE(module_->Exists(L"\\A:\\Data\\keep.txt"));
    EXPECT_EQ(1, dialogs.count());   // a folder gets a progress dialog
}

TEST_F(DeleteFlow, ReadOnlyFolderIsAskedOnceAndItsReadOnlyFilesGoWithIt) {
    module_->AddFolder(L"\\A:\\Data\\Ro").attributes |= FILE_ATTRIBUTE_READONLY;
    module_->AddFolder(L"\\A:\\Data\\Ro\\Sub");
    module_->AddFile(L"\\A:\\Data\\Ro\\a.txt", 3, kReadOnly);
    module_->AddFile(L"\\A:\\Data\\Ro\\Sub\\b.txt", 3, kReadOnly);
    prompts_.Script({IDYES});
    EXPECT_FALSE(Run({FolderTarget(L"\\A:\\Data\\Ro", FILE_ATTRIBUTE_READONLY)}));

    auto asked = prompts_.Asked();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(static_cast<int>(DeleteConfirmMode::ReadOnlyFolder), asked[0].mode);
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\Ro"));
    EXPECT_EQ(2u, module_->CountCalls(L"DeleteFolder"));   // Sub, then Ro
    // Depth first: the subfolder's file, the subfolder, then the folder's own file.
    EXPECT_EQ(4u, sink_->messages.size());
    EXPECT_EQ(L"D:\\A:\\Data\\Ro", sink_->messages.back());
}

TEST_F(DeleteFlow, SeveralItemsAskTheMultipleDialogAndDecliningDeletesNothing) {
    module_->AddFile(L"\\A:\\Data\\a.txt", 1);
    module_->AddFile(L"\\A:\\Data\\b.txt", 1);
    prompts_.Script({IDCANCEL});
    DialogWindowCounter dialogs;
    Run({FileTarget(L"\\A:\\Data\\a.txt"), FileTarget(L"\\A:\\Data\\b.txt")});

    auto asked = prompts_.Asked();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(static_cast<UINT>(IDD_CONFIRM_MULTIPLE_DELETE), asked[0].dialogId);
    EXPECT_EQ(static_cast<int>(DeleteConfirmMode::Several), asked[0].mode);
    EXPECT_EQ(0u, module_->CountCalls(L"DeleteFile"));
    EXPECT_TRUE(sink_->messages.empty());
    EXPECT_EQ(0, dialogs.count());

    // Yes to the same question deletes both, with a progress dialog.
    prompts_.Script({IDOK});
    Run({FileTarget(L"\\A:\\Data\\a.txt"), FileTarget(L"\\A:\\Data\\b.txt")});
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\a.txt"));
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\b.txt"));
    EXPECT_EQ(1, dialogs.count());
}

TEST_F(DeleteFlow, SilentDeleteAsksNothingAndShowsNoProgress) {
    module_->AddFolder(L"\\A:\\Data\\Moved");
    module_->AddFile(L"\\A:\\Data\\Moved\\ro.txt", 3, kReadOnly);
    module_->AddFile(L"\\A:\\Data\\x.txt", 3, kReadOnly);
    DialogWindowCounter dialogs;
    EXPECT_FALSE(Run({FolderTarget(L"\\A:\\Data\\Moved"),
                      FileTarget(L"\\A:\\Data\\x.txt", kReadOnly)},
                     true));
    EXPECT_TRUE(prompts_.Asked().empty());
    EXPECT_EQ(0, dialogs.count());
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\Moved"));
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\x.txt"));
    EXPECT_EQ(3u, sink_->messages.size());
}

TEST_F(DeleteFlow, SilentDeleteStillOffersAbortRetryIgnoreAndRetryRepeatsTheCall) {
    module_->AddFile(L"\\A:\\Data\\busy.txt", 3);
    module_->FailOn(L"DeleteFile", L"\\A:\\Data\\busy.txt", E_FAIL, L"The module is busy.", 1);
    prompts_.Script({IDRETRY});
    EXPECT_FALSE(Run({FileTarget(L"\\A:\\Data\\busy.txt")}, true));

    auto asked = prompts_.Asked();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(PromptRequest::Kind::MessageBox, asked[0].kind);
    EXPECT_EQ(Resources().LoadString(IDS_ERR_DELETE_FILE_CAPTION), asked[0].caption);
    EXPECT_EQ(Resources().FormatString(IDS_ERR_DELETE_FILE, {L"busy.txt", L"The module is busy."}),
              asked[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ABORTRETRYIGNORE | MB_ICONHAND), asked[0].flags);
    EXPECT_EQ(2u, module_->CountCalls(L"DeleteFile"));
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\busy.txt"));
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\busy.txt"}), sink_->messages);
}

TEST_F(DeleteFlow, AbortStopsAndIgnoreGoesOnWithTheNextItem) {
    module_->AddFile(L"\\A:\\Data\\a.txt", 1);
    module_->AddFile(L"\\A:\\Data\\b.txt", 1);
    module_->FailOn(L"DeleteFile", L"\\A:\\Data\\a.txt", E_ACCESSDENIED);
    prompts_.Script({IDOK, IDABORT});
    EXPECT_TRUE(Run({FileTarget(L"\\A:\\Data\\a.txt"), FileTarget(L"\\A:\\Data\\b.txt")}));
    EXPECT_TRUE(module_->Exists(L"\\A:\\Data\\b.txt"));
    EXPECT_EQ(1u, module_->CountCalls(L"DeleteFile"));

    module_->ClearCalls();
    prompts_.Script({IDOK, IDIGNORE});
    EXPECT_FALSE(Run({FileTarget(L"\\A:\\Data\\a.txt"), FileTarget(L"\\A:\\Data\\b.txt")}));
    EXPECT_TRUE(module_->Exists(L"\\A:\\Data\\a.txt"));
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\b.txt"));
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\b.txt"}), sink_->messages);
}

TEST_F(DeleteFlow, FolderFailureUsesTheFolderMessageAndAStuckFolderStaysWithItsRest) {
    module_->AddFolder(L"\\A:\\Data\\F");
    module_->AddFile(L"\\A:\\Data\\F\\a.txt", 1);
    module_->FailOn(L"DeleteFolder", L"\\A:\\Data\\F", E_FAIL, L"Locked.");
    prompts_.Script({IDOK, IDIGNORE});
    EXPECT_FALSE(Run({FolderTarget(L"\\A:\\Data\\F")}));
    auto asked = prompts_.Asked();
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(Resources().LoadString(IDS_ERR_DELETE_FOLDER_CAPTION), asked[1].caption);
    EXPECT_EQ(Resources().FormatString(IDS_ERR_DELETE_FOLDER, {L"F", L"Locked."}), asked[1].text);
    EXPECT_TRUE(module_->Exists(L"\\A:\\Data\\F"));
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\F\\a.txt"));
}

TEST_F(DeleteFlow, CancellationFromTheServerIsNeverShownAndStopsTheDelete) {
    module_->AddFile(L"\\A:\\Data\\a.txt", 1);
    module_->AddFile(L"\\A:\\Data\\b.txt", 1);
    module_->FailOn(L"DeleteFile", L"\\A:\\Data\\a.txt", E_OPERATION_CANCELLED);
    prompts_.Script({IDOK});
    EXPECT_TRUE(Run({FileTarget(L"\\A:\\Data\\a.txt"), FileTarget(L"\\A:\\Data\\b.txt")}));
    EXPECT_EQ(1u, prompts_.Asked().size());
    EXPECT_TRUE(module_->Exists(L"\\A:\\Data\\b.txt"));
}

TEST_F(DeleteFlow, ReadOnlyQuestionAnswersNoSkipAndCancelStop) {
    module_->AddFolder(L"\\A:\\Data\\F");
    module_->AddFile(L"\\A:\\Data\\F\\a.txt", 1, kReadOnly);
    module_->AddFile(L"\\A:\\Data\\F\\b.txt", 1, kReadOnly);
    module_->AddFile(L"\\A:\\Data\\F\\c.txt", 1, kReadOnly);
    // Folder yes; a: No (skipped); b: Cancel (skipped, and nothing after it).
    prompts_.Script({IDOK, IDNO, IDCANCEL});
    EXPECT_TRUE(Run({FolderTarget(L"\\A:\\Data\\F")}));
    EXPECT_EQ(3u, prompts_.Asked().size());
    EXPECT_TRUE(module_->Exists(L"\\A:\\Data\\F\\a.txt"));
    EXPECT_TRUE(module_->Exists(L"\\A:\\Data\\F\\b.txt"));
    EXPECT_TRUE(module_->Exists(L"\\A:\\Data\\F\\c.txt"));
    EXPECT_EQ(0u, module_->CountCalls(L"DeleteFile"));
    EXPECT_EQ(0u, module_->CountCalls(L"DeleteFolder"));
}

TEST_F(DeleteFlow, UnlistableFolderIsStillRemovedWhenTheServerAllows) {
    module_->AddFolder(L"\\A:\\Data\\F");
    module_->FailOn(L"ListFolder", L"\\A:\\Data\\F\\*", E_FAIL);
    prompts_.Script({IDOK});
    EXPECT_FALSE(Run({FolderTarget(L"\\A:\\Data\\F")}));
    EXPECT_FALSE(module_->Exists(L"\\A:\\Data\\F"));
}

TEST(DeleteTargets, OnlyTheModulesOwnIdentifiersBecomeTargets) {
    IdListHolder file(MakeItemId(L"\\A:\\Data\\a.txt", L"A.TXT", 3, kReadOnly, 0, 0, 0));
    IdListHolder folder(MakeItemId(L"\\A:\\Data\\F", L"F", 0, kFolder, 0, 0, 0));
    IdListHolder joined(JoinIdLists(folder.get(), file.get()));   // last item names it
    BYTE foreign[] = {6, 0, 0x31, 0, 0, 0, 0, 0};
    LPCITEMIDLIST items[] = {file.get(), reinterpret_cast<LPCITEMIDLIST>(foreign), nullptr,
                             joined.get(), folder.get()};
    auto targets = TargetsFromIdLists(items, 5);
    ASSERT_EQ(3u, targets.size());
    EXPECT_EQ(L"\\A:\\Data\\a.txt", targets[0].path);
    EXPECT_TRUE(targets[0].IsReadOnly());
    EXPECT_EQ(L"\\A:\\Data\\a.txt", targets[1].path);
    EXPECT_EQ(L"\\A:\\Data\\F", targets[2].path);
    EXPECT_TRUE(targets[2].IsFolder());
}

TEST(StartDelete, AnEmptyFolderPathOnlyBeeps) {
    HANDLE thread = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(S_OK, StartDelete(L"", nullptr, 0, false, nullptr, nullptr, &thread));
    EXPECT_EQ(nullptr, thread);
}
