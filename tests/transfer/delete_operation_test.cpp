// The delete flows against the substitute server on a fresh copy of the
// sample module, with the questions answered from a script.
#include <windows.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <algorithm>
#include <set>

#include "common/holders.h"
#include "common/module_count.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "namespace/module_item_id.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "tests/support/substitute_server.h"
#include "tests/transfer/delete_test_support.h"
#include "transfer/delete_operation.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kReadOnly = FILE_ATTRIBUTE_READONLY;

class DeleteFlow : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        ASSERT_EQ(S_OK, EnterComThread());
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(S_OK, module_.Create(&access_));
        *sink_.GetAddressOf() = new RecordingSink;   // takes the first reference
        Target(L"\\A:\\Data");   // the server completes its copy on the first call
        before_ = PcTree();
    }
    void TearDown() override {
        access_.Reset();
        sink_.Reset();
        LeaveComThread();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    // The item as the server lists it (its attributes included).
    DeleteTarget Target(const wchar_t* path) {
        IdListHolder item;
        EXPECT_EQ(S_OK, GetItemRecord(path, access_.Get(), item.out()));
        return item ? DeleteTarget{ItemPath(item.get()), ItemAttributes(item.get())}
                    : DeleteTarget{path, 0};
    }

    // A folder holding read-only files, made through the server.
    void MakeFolder(const std::wstring& folder, std::initializer_list<const wchar_t*> files,
                    DWORD fileAttributes) {
        UniqueBstr path(folder.c_str());
        ASSERT_EQ(S_OK, access_->CreateFolder(path.get()));
        for (const wchar_t* name : files) {
            ComPtr<IStream> bytes;
            CreateStreamOnHGlobal(nullptr, TRUE, &bytes);
            bytes->Write("abc", 3, nullptr);
            LARGE_INTEGER zero = {};
            bytes->Seek(zero, STREAM_SEEK_SET, nullptr);
            UniqueBstr file((folder + L"\\" + name).c_str());
            ASSERT_EQ(S_OK, access_->WriteFile(file.get(), bytes.Get(), fileAttributes));
        }
        before_ = PcTree();
    }

    bool Exists(const std::wstring& path) const {
        return GetFileAttributesW(module_.PcPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    // Every PC path in the served drives (the server keeps files of its own
    // beside them).
    std::set<std::wstring> PcTree() const {
        std::set<std::wstring> tree;
        std::vector<std::wstring> folders{module_.root()};
        while (!folders.empty()) {
            std::wstring folder = folders.back();
            folders.pop_back();
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
            if (search == INVALID_HANDLE_VALUE) continue;
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
                if (folder == module_.root() && !isFolder) continue;
                tree.insert(folder + L"\\" + name);
                if (isFolder) folders.push_back(folder + L"\\" + name);
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        return tree;
    }

    // What went missing since the set-up, as paths below the root.
    std::set<std::wstring> Removed() const {
        std::set<std::wstring> now = PcTree(), removed;
        for (const std::wstring& path : before_)
            if (!now.count(path)) removed.insert(path.substr(module_.root().size()));
        for (const std::wstring& path : now)
            EXPECT_TRUE(before_.count(path)) << "appeared: " << testing::PrintToString(path);
        return removed;
    }

    // Prompt i was this delete confirmation.
    void ExpectAsked(size_t i, UINT dialogId, DeleteConfirmMode mode, const wchar_t* name) {
        auto requests = prompts_.Requests();
        ASSERT_LT(i, requests.size());
        EXPECT_EQ(dialogId, requests[i].dialogId);
        EXPECT_EQ(static_cast<int>(mode), prompts_.confirmations[i].mode);
        EXPECT_EQ(name, prompts_.confirmations[i].name);
    }

    bool Run(std::vector<DeleteTarget> targets, bool silent = false) {
        DeleteOperation operation(L"\\A:\\Data", std::move(targets), silent, nullptr);
        operation.Run(access_.Get(), sink_.Get());
        return operation.cancelled();
    }

    LONG objectsBefore_ = 0;
    SubstituteModule module_;
    ComPtr<ModuleAccess> access_;
    ComPtr<RecordingSink> sink_;
    DeletePrompts prompts_;
    std::set<std::wstring> before_;
};

}  // namespace

TEST(DeleteClassification, StopsAtTheFirstPairThatMakesSeveral) {
    const DeleteTarget file{L"\\A:\\a", 0}, folder{L"\\A:\\f", FILE_ATTRIBUTE_DIRECTORY};
    auto c = ClassifySelection({file});
    EXPECT_EQ(1, c.files);
    EXPECT_FALSE(c.Several());

    c = ClassifySelection({folder, file, file});
    EXPECT_TRUE(c.Several());
    EXPECT_EQ(1, c.folders);
    EXPECT_EQ(1u, c.last);

    c = ClassifySelection({file, file, folder});
    EXPECT_EQ(2, c.files);
    EXPECT_EQ(0, c.folders);
    EXPECT_EQ(1u, c.last);

    EXPECT_TRUE(ClassifySelection({}).Empty());
}

TEST(DeleteTargets, OnlyTheModulesOwnIdentifiersBecomeTargets) {
    IdListHolder file(MakeItemId(L"\\A:\\Data\\a.txt", L"A.TXT", 3, kReadOnly, 0, 0, 0));
    IdListHolder folder(
        MakeItemId(L"\\A:\\Data\\F", L"F", 0, FILE_ATTRIBUTE_DIRECTORY, 0, 0, 0));
    IdListHolder joined(JoinIdLists(folder.get(), file.get()));   // the last item names it
    BYTE foreign[] = {6, 0, 0x31, 0, 0, 0, 0, 0};
    LPCITEMIDLIST items[] = {file.get(), reinterpret_cast<LPCITEMIDLIST>(foreign), nullptr,
                             joined.get(), folder.get()};
    auto targets = TargetsFromIdLists(items, 5);
    ASSERT_EQ(3u, targets.size());
    EXPECT_TRUE(targets[0].IsReadOnly());
    EXPECT_EQ(L"\\A:\\Data\\a.txt", targets[1].path);
    EXPECT_TRUE(targets[2].IsFolder());
}

TEST_F(DeleteFlow, OneReadOnlyFileIsAskedAboutOnceAndDeletedWithoutProgress) {
    DeleteTarget file = Target(L"\\A:\\Read Me First.txt");
    ASSERT_TRUE(file.IsReadOnly());
    prompts_.Script({IDOK});
    DialogWindowCounter dialogs;
    EXPECT_FALSE(Run({file}));

    EXPECT_EQ(1u, prompts_.Count());
    ExpectAsked(0, IDD_CONFIRM_DELETE, DeleteConfirmMode::ReadOnlyFile, L"Read Me First.txt");
    EXPECT_EQ(1u, module_.CallCount(L"DeleteFile"));
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Read Me First.txt"}), sink_->messages);
    EXPECT_EQ(0, dialogs.count());
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Read Me First.txt"}), Removed());
}

TEST_F(DeleteFlow, FolderOfReadOnlyFilesAsksFolderThenOnceWithDeleteAll) {
    MakeFolder(L"\\A:\\Data\\Ro", {L"a.txt", L"b.txt", L"c.txt"}, kReadOnly);
    prompts_.Script({IDOK, IDC_DELETE_ALL});
    DialogWindowCounter dialogs;
    EXPECT_FALSE(Run({Target(L"\\A:\\Data\\Ro")}));

    EXPECT_EQ(2u, prompts_.Count());
    ExpectAsked(0, IDD_CONFIRM_DELETE, DeleteConfirmMode::Folder, L"Ro");
    ExpectAsked(1, IDD_CONFIRM_READONLY_DELETE, DeleteConfirmMode::ReadOnlyFile, L"a.txt");

    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\Ro\\a.txt", L"D:\\A:\\Data\\Ro\\b.txt",
                                         L"D:\\A:\\Data\\Ro\\c.txt", L"D:\\A:\\Data\\Ro"}),
              sink_->messages);
    EXPECT_EQ(4u, Removed().size());
    EXPECT_EQ(1, dialogs.count());   // a folder gets a progress dialog
}

TEST_F(DeleteFlow, ReadOnlyFolderIsAskedOnceAndItsReadOnlyFilesGoWithIt) {
    MakeFolder(L"\\A:\\Data\\Ro", {L"a.txt", L"b.txt"}, kReadOnly);
    UniqueBstr folder(L"\\A:\\Data\\Ro");
    ASSERT_EQ(S_OK, access_->SetAttributes(folder.get(), FILE_ATTRIBUTE_READONLY));
    DeleteTarget target = Target(L"\\A:\\Data\\Ro");
    ASSERT_TRUE(target.IsReadOnly() && target.IsFolder());
    prompts_.Script({IDYES});
    EXPECT_FALSE(Run({target}));

    EXPECT_EQ(1u, prompts_.Count());
    ExpectAsked(0, IDD_CONFIRM_DELETE, DeleteConfirmMode::ReadOnlyFolder, L"Ro");
    EXPECT_FALSE(Exists(L"\\A:\\Data\\Ro"));
    EXPECT_EQ(3u, sink_->messages.size());
}

TEST_F(DeleteFlow, SeveralItemsAskTheMultipleDialogAndNoDeletesNothing) {
    std::vector<DeleteTarget> both{Target(L"\\A:\\Data\\Notes.txt"), Target(L"\\A:\\Data\\README")};
    prompts_.Script({IDCANCEL});
    DialogWindowCounter dialogs;
    Run(both);
    EXPECT_EQ(1u, prompts_.Count());
    ExpectAsked(0, IDD_CONFIRM_MULTIPLE_DELETE, DeleteConfirmMode::Several, L"README");
    EXPECT_EQ(0u, module_.CallCount(L"DeleteFile"));
    EXPECT_TRUE(Removed().empty());
    EXPECT_EQ(0, dialogs.count());

    prompts_.Script({IDOK});
    Run(both);
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\Notes.txt", L"\\A\\Data\\README"}), Removed());
    EXPECT_EQ(1, dialogs.count());   // two files get a progress dialog
}

TEST_F(DeleteFlow, SilentDeleteAsksNothingAndShowsNoProgress) {
    DialogWindowCounter dialogs;
    EXPECT_FALSE(Run({Target(L"\\A:\\Data\\Archive"), Target(L"\\A:\\Read Me First.txt")}, true));
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_EQ(0, dialogs.count());
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\Archive", L"\\A\\Data\\Archive\\Deep",
                                      L"\\A\\Data\\Archive\\Deep\\level3.bin",
                                      L"\\A\\Data\\Archive\\old notes.txt",
                                      L"\\A\\Read Me First.txt"}),
              Removed());
    EXPECT_EQ(5u, sink_->messages.size());
}

TEST_F(DeleteFlow, AFailureOvercomeByRetryRepeatsTheSameCall) {
    module_.FailNthCall(L"DeleteFile", 1, E_NO_COMMUNICATION, 1, L"The module is busy.");
    prompts_.Script({IDRETRY});
    EXPECT_FALSE(Run({Target(L"\\A:\\Data\\Notes.txt")}, true));

    auto asked = prompts_.Requests();
    ASSERT_EQ(1u, asked.size());
    EXPECT_EQ(Resources().LoadString(IDS_ERR_DELETE_FILE_CAPTION), asked[0].caption);
    EXPECT_EQ(Resources().FormatString(IDS_ERR_DELETE_FILE, {L"Notes.txt", L"The module is busy."}),
              asked[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ABORTRETRYIGNORE | MB_ICONHAND), asked[0].flags);
    EXPECT_EQ(2u, module_.CallCount(L"DeleteFile"));
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\Notes.txt"}), Removed());
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\Notes.txt"}), sink_->messages);
}

TEST_F(DeleteFlow, AbortStopsAndIgnoreGoesOnWithTheNextItem) {
    std::vector<DeleteTarget> both{Target(L"\\A:\\Data\\Notes.txt"), Target(L"\\A:\\Data\\README")};
    module_.FailNthCall(L"DeleteFile", 1, E_FAIL);
    prompts_.Script({IDOK, IDABORT});
    EXPECT_TRUE(Run(both));
    EXPECT_EQ(1u, module_.CallCount(L"DeleteFile"));
    EXPECT_TRUE(Removed().empty());

    module_.FailNthCall(L"DeleteFile", 1, E_FAIL);
    prompts_.Script({IDOK, IDIGNORE});
    EXPECT_FALSE(Run(both));
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\README"}), Removed());
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\README"}), sink_->messages);
}

TEST_F(DeleteFlow, AFolderThatCannotGoIsReportedWithTheFolderMessage) {
    MakeFolder(L"\\A:\\Data\\F", {L"a.txt"}, 0);
    module_.FailNthCall(L"DeleteFolder", 1, E_FAIL, 1, L"Locked.");
    prompts_.Script({IDOK, IDIGNORE});
    EXPECT_FALSE(Run({Target(L"\\A:\\Data\\F")}));
    auto asked = prompts_.Requests();
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(Resources().LoadString(IDS_ERR_DELETE_FOLDER_CAPTION), asked[1].caption);
    EXPECT_EQ(Resources().FormatString(IDS_ERR_DELETE_FOLDER, {L"F", L"Locked."}), asked[1].text);
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\F\\a.txt"}), Removed());
}

TEST_F(DeleteFlow, CancellationFromTheServerIsNeverShownAndStopsTheDelete) {
    module_.FailNthCall(L"DeleteFile", 1, E_OPERATION_CANCELLED);
    prompts_.Script({IDOK});
    EXPECT_TRUE(Run({Target(L"\\A:\\Data\\Notes.txt"), Target(L"\\A:\\Data\\README")}));
    EXPECT_EQ(1u, prompts_.Count());
    EXPECT_TRUE(Removed().empty());
}

TEST_F(DeleteFlow, ReadOnlyQuestionAnswersNoSkipsAndCancelStops) {
    MakeFolder(L"\\A:\\Data\\F", {L"a.txt", L"b.txt", L"c.txt"}, kReadOnly);
    prompts_.Script({IDOK, IDNO, IDCANCEL});
    EXPECT_TRUE(Run({Target(L"\\A:\\Data\\F")}));
    EXPECT_EQ(3u, prompts_.Count());
    EXPECT_EQ(0u, module_.CallCount(L"DeleteFile"));
    EXPECT_EQ(0u, module_.CallCount(L"DeleteFolder"));
    EXPECT_TRUE(Removed().empty());
}

TEST_F(DeleteFlow, OnTheWorkerThreadTheSinkHearsEachDeletionOnTheCallersThread) {
    IdListHolder notes, archive;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Notes.txt", access_.Get(), notes.out()));
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Archive", access_.Get(), archive.out()));
    LPCITEMIDLIST items[] = {notes.get(), archive.get()};
    prompts_.Script({IDOK});

    HANDLE thread = nullptr;
    ASSERT_EQ(S_OK, StartDelete(L"\\A:\\Data", items, 2, false, nullptr, sink_.Get(), &thread));
    ASSERT_TRUE(thread);
    // The sink's calls come in as messages to this thread.
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 20000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
    CloseHandle(thread);

    EXPECT_EQ(1u, prompts_.Count());
    // Each folder is reported after its contents.
    const std::vector<std::wstring>& heard = sink_->messages;
    ASSERT_EQ(5u, heard.size());
    EXPECT_EQ(L"D:\\A:\\Data\\Notes.txt", heard[0]);
    EXPECT_EQ(L"D:\\A:\\Data\\Archive", heard[4]);
    auto at = [&](const wchar_t* m) { return std::find(heard.begin(), heard.end(), m); };
    EXPECT_LT(at(L"D:\\A:\\Data\\Archive\\Deep\\level3.bin"), at(L"D:\\A:\\Data\\Archive\\Deep"));
    EXPECT_NE(heard.end(), at(L"D:\\A:\\Data\\Archive\\old notes.txt"));
    EXPECT_EQ(GetCurrentThreadId(), sink_->thread);
    EXPECT_EQ(5u, Removed().size());
}

TEST(StartDelete, AnEmptyFolderPathOnlyBeeps) {
    HANDLE thread = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(S_OK, StartDelete(L"", nullptr, 0, false, nullptr, nullptr, &thread));
    EXPECT_EQ(nullptr, thread);
}
