// The delete and format flows against the substitute server on a fresh copy
// of the sample module, with the questions answered from a script.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <set>

#include "common/com_object.h"
#include "common/formatting.h"
#include "common/holders.h"
#include "common/module_count.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access_h.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"
#include "transfer/delete_confirmation.h"
#include "transfer/delete_operation.h"
#include "transfer/format_job.h"

using Microsoft::WRL::ComPtr;

namespace {

// A PromptRecorder that also notes the mode and name of delete confirmations.
class DeletePrompts : public PromptRecorder {
public:
    std::vector<std::pair<int, std::wstring>> confirmations;   // per prompt; 0: a message box

    bool Answer(const PromptRequest& request, INT_PTR* answer) override {
        auto* asked = request.kind == PromptRequest::Kind::Dialog
                          ? reinterpret_cast<const DeleteConfirmation*>(request.initParam)
                          : nullptr;
        confirmations.emplace_back(asked ? static_cast<int>(asked->mode) : 0,
                                   asked ? asked->name : std::wstring());
        return PromptRecorder::Answer(request, answer);
    }
};

// Hears the changes, and sees whether a progress dialog is up meanwhile (the
// scripted confirmations show no window).
class RecordingSink : public IModuleChangeSink, public RefCounted<RecordingSink> {
public:
    std::vector<std::wstring> messages;
    DWORD thread = 0;   // the thread of the last call
    bool sawProgress = false;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IModuleChangeSink) {
            *out = static_cast<IModuleChangeSink*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP OnChange(BSTR message) override {
        messages.push_back(message ? message : L"");
        thread = GetCurrentThreadId();
        HWND dialog = FindWindowW(L"#32770", nullptr);
        sawProgress = sawProgress || (dialog && IsWindowVisible(dialog));
        return S_OK;
    }
};

// The server on a COM thread; no object of the library is left behind.
class OnSubstituteModule : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        ASSERT_EQ(S_OK, EnterComThread());
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(S_OK, module_.Create(&access_));
    }
    void TearDown() override {
        access_.Reset();
        LeaveComThread();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    bool Exists(const std::wstring& path) const {
        return GetFileAttributesW(module_.PcPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    LONG objectsBefore_ = 0;
    SubstituteModule module_;
    ComPtr<ModuleAccess> access_;
    DeletePrompts prompts_;
};

class DeleteFlow : public OnSubstituteModule {
protected:
    void SetUp() override {
        OnSubstituteModule::SetUp();
        *sink_.GetAddressOf() = new RecordingSink;   // takes the first reference
        Target(L"\\A:\\Data");   // the server completes its copy on the first call
        before_ = PcTree();
    }
    void TearDown() override {
        sink_.Reset();
        OnSubstituteModule::TearDown();
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
            bytes.Attach(SHCreateMemStream(reinterpret_cast<const BYTE*>("abc"), 3));
            UniqueBstr file((folder + L"\\" + name).c_str());
            ASSERT_EQ(S_OK, access_->WriteFile(file.get(), bytes.Get(), fileAttributes));
        }
        before_ = PcTree();
    }

    // Every PC path in the served drives (the server keeps files of its own
    // beside them).
    void AddTree(const std::wstring& folder, std::set<std::wstring>* tree) const {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            std::wstring name = found.cFileName, path = folder + L"\\" + name;
            bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (name == L"." || name == L".." || (folder == module_.root() && !isFolder)) continue;
            tree->insert(path);
            if (isFolder) AddTree(path, tree);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::set<std::wstring> PcTree() const {
        std::set<std::wstring> tree;
        AddTree(module_.root(), &tree);
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
        EXPECT_EQ(static_cast<int>(mode), prompts_.confirmations[i].first);
        EXPECT_EQ(name, prompts_.confirmations[i].second);
    }

    bool Run(std::vector<DeleteTarget> targets, bool silent = false) {
        DeleteOperation operation(L"\\A:\\Data", std::move(targets), silent, nullptr);
        operation.Run(access_.Get(), sink_.Get());
        return operation.cancelled();
    }

    ComPtr<RecordingSink> sink_;
    std::set<std::wstring> before_;
};

// The format dialog, owned by a hidden "KTX Parent Window".
HWND FindFormatDialog() {
    HWND dialog = FindWindowW(L"#32770", nullptr);
    HWND owner = dialog ? GetWindow(dialog, GW_OWNER) : nullptr;
    wchar_t ownerClass[64] = {};
    if (owner) GetClassNameW(owner, ownerClass, ARRAYSIZE(ownerClass));
    bool hidden = owner && !IsWindowVisible(owner);
    return hidden && ownerClass == std::wstring(kParentWindowClass) ? dialog : nullptr;
}

// The format dialog on its own thread, driven from the test thread.
class FormatDialogTest : public OnSubstituteModule {
protected:
    void TearDown() override {
        if (thread_) {
            if (!Ends()) {
                if (HWND dialog = FindFormatDialog()) DialogDriver::PressButton(dialog, IDCANCEL);
                Ends();
            }
            CloseHandle(thread_);
        }
        OnSubstituteModule::TearDown();
    }

    HWND Open(uint64_t capacity = 4 << 20) {
        EXPECT_EQ(S_OK, OpenFormatDialog(L"\\A:", capacity, &thread_));
        HWND dialog = FindFormatDialog();
        EXPECT_TRUE(dialog);
        return dialog;
    }

    bool Ends(DWORD milliseconds = 10000) {
        return WaitForSingleObject(thread_, milliseconds) == WAIT_OBJECT_0;
    }

    HANDLE thread_ = nullptr;
};

}  // namespace

// An empty folder path only beeps; only the module's own identifiers become targets.
TEST(StartDelete, BadInputIsLeftOut) {
    HANDLE thread = reinterpret_cast<HANDLE>(1);
    EXPECT_EQ(S_OK, StartDelete(L"", nullptr, 0, false, nullptr, nullptr, &thread));
    EXPECT_EQ(nullptr, thread);

    IdListHolder file(
        MakeItemId(L"\\A:\\Data\\a.txt", L"A.TXT", 3, FILE_ATTRIBUTE_READONLY, 0, 0, 0));
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

// A read-only file, or a read-only folder whose read-only files go with it.
TEST_F(DeleteFlow, OneReadOnlyItemIsAskedAboutOnce) {
    DeleteTarget file = Target(L"\\A:\\Read Me First.txt");
    ASSERT_TRUE(file.IsReadOnly());
    prompts_.Script({IDOK});
    EXPECT_FALSE(Run({file}));
    EXPECT_EQ(1u, prompts_.Count());
    ExpectAsked(0, IDD_CONFIRM_DELETE, DeleteConfirmMode::ReadOnlyFile, L"Read Me First.txt");
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Read Me First.txt"}), sink_->messages);
    EXPECT_FALSE(sink_->sawProgress);   // one file deletes without a progress dialog
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Read Me First.txt"}), Removed());

    MakeFolder(L"\\A:\\Data\\Ro", {L"a.txt", L"b.txt"}, FILE_ATTRIBUTE_READONLY);
    UniqueBstr folder(L"\\A:\\Data\\Ro");
    ASSERT_EQ(S_OK, access_->SetAttributes(folder.get(), FILE_ATTRIBUTE_READONLY));
    DeleteTarget target = Target(L"\\A:\\Data\\Ro");
    ASSERT_TRUE(target.IsReadOnly() && target.IsFolder());
    prompts_.Script({IDYES});
    EXPECT_FALSE(Run({target}));
    EXPECT_EQ(2u, prompts_.Count());
    ExpectAsked(1, IDD_CONFIRM_DELETE, DeleteConfirmMode::ReadOnlyFolder, L"Ro");
    EXPECT_EQ(3u, Removed().size());
    EXPECT_EQ(4u, sink_->messages.size());
}

TEST_F(DeleteFlow, FolderOfReadOnlyFilesAsksFolderThenEachFileOrOnceWithDeleteAll) {
    MakeFolder(L"\\A:\\Data\\Ro", {L"a.txt", L"b.txt", L"c.txt"}, FILE_ATTRIBUTE_READONLY);
    // No skips a file; Cancel stops before anything went.
    prompts_.Script({IDOK, IDNO, IDCANCEL});
    EXPECT_TRUE(Run({Target(L"\\A:\\Data\\Ro")}));
    EXPECT_EQ(3u, prompts_.Count());
    EXPECT_EQ(0u, module_.CallCount(L"DeleteFile") + module_.CallCount(L"DeleteFolder"));
    EXPECT_TRUE(Removed().empty());

    prompts_.Script({IDOK, IDC_DELETE_ALL});
    EXPECT_FALSE(Run({Target(L"\\A:\\Data\\Ro")}));
    EXPECT_EQ(5u, prompts_.Count());
    ExpectAsked(3, IDD_CONFIRM_DELETE, DeleteConfirmMode::Folder, L"Ro");
    ExpectAsked(4, IDD_CONFIRM_READONLY_DELETE, DeleteConfirmMode::ReadOnlyFile, L"a.txt");
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\Ro\\a.txt", L"D:\\A:\\Data\\Ro\\b.txt",
                                         L"D:\\A:\\Data\\Ro\\c.txt", L"D:\\A:\\Data\\Ro"}),
              sink_->messages);
    EXPECT_EQ(4u, Removed().size());
    EXPECT_TRUE(sink_->sawProgress);   // a folder gets a progress dialog
}

TEST_F(DeleteFlow, SeveralItemsAskTheMultipleDialogAndNoDeletesNothing) {
    std::vector<DeleteTarget> both{Target(L"\\A:\\Data\\Notes.txt"), Target(L"\\A:\\Data\\README")};
    prompts_.Script({IDCANCEL});
    Run(both);
    EXPECT_EQ(1u, prompts_.Count());
    ExpectAsked(0, IDD_CONFIRM_MULTIPLE_DELETE, DeleteConfirmMode::Several, L"README");
    EXPECT_TRUE(Removed().empty());

    prompts_.Script({IDOK});
    Run(both);
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\Notes.txt", L"\\A\\Data\\README"}), Removed());
    EXPECT_TRUE(sink_->sawProgress);   // two files get a progress dialog
}

TEST_F(DeleteFlow, SilentDeleteAsksNothingAndShowsNoProgress) {
    EXPECT_FALSE(Run({Target(L"\\A:\\Data\\Archive"), Target(L"\\A:\\Read Me First.txt")}, true));
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_FALSE(sink_->sawProgress);
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\Archive", L"\\A\\Data\\Archive\\Deep",
                                      L"\\A\\Data\\Archive\\Deep\\level3.bin",
                                      L"\\A\\Data\\Archive\\old notes.txt",
                                      L"\\A\\Read Me First.txt"}),
              Removed());
    EXPECT_EQ(5u, sink_->messages.size());
}

// The questions name the item and give the server's words.
TEST_F(DeleteFlow, RetryRepeatsTheSameCallAndIgnoreLeavesTheFolder) {
    MakeFolder(L"\\A:\\Data\\F", {L"a.txt"}, 0);
    module_.FailNthCall(L"DeleteFile", 1, E_NO_COMMUNICATION, 1, L"The module is busy.");
    module_.FailNthCall(L"DeleteFolder", 1, E_FAIL, 1, L"Locked.");
    prompts_.Script({IDRETRY, IDIGNORE});
    EXPECT_FALSE(Run({Target(L"\\A:\\Data\\F")}, true));

    auto asked = prompts_.Requests();
    ASSERT_EQ(2u, asked.size());
    EXPECT_EQ(Resources().LoadString(IDS_ERR_DELETE_FILE_CAPTION), asked[0].caption);
    EXPECT_EQ(Resources().FormatString(IDS_ERR_DELETE_FILE, {L"a.txt", L"The module is busy."}),
              asked[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ABORTRETRYIGNORE | MB_ICONHAND), asked[0].flags);
    EXPECT_EQ(Resources().LoadString(IDS_ERR_DELETE_FOLDER_CAPTION), asked[1].caption);
    EXPECT_EQ(Resources().FormatString(IDS_ERR_DELETE_FOLDER, {L"F", L"Locked."}), asked[1].text);
    EXPECT_EQ(2u, module_.CallCount(L"DeleteFile"));
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\F\\a.txt"}), Removed());
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\F\\a.txt"}), sink_->messages);
}

// An item that survives its delete keeps the attributes it had, although
// the delete cleared them to get at it.
TEST_F(DeleteFlow, ItemsThatStayKeepTheirAttributes) {
    const DWORD protectedBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    UniqueBstr file(L"\\A:\\Read Me First.txt");
    ASSERT_EQ(S_OK, access_->SetAttributes(file.get(), protectedBits));
    MakeFolder(L"\\A:\\Data\\Ro", {L"a.txt"}, FILE_ATTRIBUTE_READONLY);
    UniqueBstr folder(L"\\A:\\Data\\Ro");
    ASSERT_EQ(S_OK, access_->SetAttributes(folder.get(), FILE_ATTRIBUTE_READONLY));

    struct Case {
        const wchar_t* path;
        const wchar_t* operation;   // the delete call that fails
        HRESULT failure;
        INT_PTR answerToFailure;   // 0: the failure asks nothing
    };
    const Case cases[] = {
        {L"\\A:\\Read Me First.txt", L"DeleteFile", E_FAIL, IDIGNORE},
        {L"\\A:\\Read Me First.txt", L"DeleteFile", E_FAIL, IDABORT},
        {L"\\A:\\Read Me First.txt", L"DeleteFile", E_OPERATION_CANCELLED, 0},
        {L"\\A:\\Data\\Ro", L"DeleteFolder", E_FAIL, IDIGNORE},
    };
    for (const Case& c : cases) {
        const DeleteTarget before = Target(c.path);
        module_.FailNthCall(c.operation, 1, c.failure);
        if (c.answerToFailure)
            prompts_.Script({IDOK, c.answerToFailure});
        else
            prompts_.Script({IDOK});
        Run({before});
        EXPECT_EQ(before.attributes, Target(c.path).attributes) << testing::PrintToString(c.path);
        module_.ClearFaults();
    }
    // The read-only file inside the folder went; the folder itself stayed.
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\Ro\\a.txt"}), Removed());
}

// A cancellation from the server is never shown: it stops like Abort.
TEST_F(DeleteFlow, AbortOrServerCancellationStopsAndIgnoreGoesOnWithTheNextItem) {
    std::vector<DeleteTarget> both{Target(L"\\A:\\Data\\Notes.txt"), Target(L"\\A:\\Data\\README")};
    module_.FailNthCall(L"DeleteFile", 1, E_FAIL);
    prompts_.Script({IDOK, IDABORT});
    EXPECT_TRUE(Run(both));
    EXPECT_TRUE(Removed().empty());

    module_.FailNthCall(L"DeleteFile", 1, E_OPERATION_CANCELLED);
    prompts_.Script({IDOK});
    EXPECT_TRUE(Run(both));
    EXPECT_EQ(3u, prompts_.Count());
    EXPECT_TRUE(Removed().empty());

    module_.FailNthCall(L"DeleteFile", 1, E_FAIL);
    prompts_.Script({IDOK, IDIGNORE});
    EXPECT_FALSE(Run(both));
    EXPECT_EQ((std::set<std::wstring>{L"\\A\\Data\\README"}), Removed());
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\README"}), sink_->messages);
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
    // Each folder is reported after its contents.
    const std::vector<std::wstring>& heard = sink_->messages;
    ASSERT_EQ(5u, heard.size());
    EXPECT_EQ(L"D:\\A:\\Data\\Notes.txt", heard[0]);
    EXPECT_EQ(L"D:\\A:\\Data\\Archive", heard[4]);
    auto at = [&](const wchar_t* m) { return std::find(heard.begin(), heard.end(), m); };
    EXPECT_LT(at(L"D:\\A:\\Data\\Archive\\Deep\\level3.bin"), at(L"D:\\A:\\Data\\Archive\\Deep"));
    EXPECT_EQ(GetCurrentThreadId(), sink_->thread);
    EXPECT_EQ(5u, Removed().size());
}

TEST_F(FormatDialogTest, OpensWithItsSingleChoicesAndCancelToTheWarningFormatsNothing) {
    HWND dialog = Open((4 << 20) + 1);
    ASSERT_TRUE(dialog);
    if (Resources().language() != kLangGerman) {
        EXPECT_EQ(L"Formating Module \\A:", WindowText(dialog));
    }
    // A drop-down list's text is its selected item.
    EXPECT_EQ(L"FAT", WindowText(GetDlgItem(dialog, IDC_FORMAT_FILE_SYSTEM)));
    EXPECT_EQ(Resources().LoadString(IDS_FORMAT_STANDARD_SIZE),
              WindowText(GetDlgItem(dialog, IDC_FORMAT_CLUSTER)));
    EXPECT_EQ(FormatCapacityText((4 << 20) + 1),
              WindowText(GetDlgItem(dialog, IDC_FORMAT_CAPACITY)));
    // The capacity is given in whole kilobytes, rounded up.
    EXPECT_EQ(FormatNumber(0) + L" KB", FormatCapacityText(0));
    EXPECT_EQ(FormatNumber(1) + L" KB", FormatCapacityText(1024));
    EXPECT_EQ(FormatNumber(2) + L" KB", FormatCapacityText(1025));
    EXPECT_EQ(FormatNumber(4194304) + L" KB", FormatCapacityText(4ull << 30));
    for (int id : {IDC_FORMAT_FILE_SYSTEM, IDC_FORMAT_CLUSTER, IDC_FORMAT_CAPACITY})
        EXPECT_EQ(1, SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
    EXPECT_EQ(L"PHONE", WindowText(GetDlgItem(dialog, IDC_FORMAT_LABEL)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_FORMAT_LABEL)));

    prompts_.Script({IDCANCEL});
    DialogDriver::PressButton(dialog, IDOK);
    EXPECT_TRUE(Ends());
    ASSERT_EQ(1u, prompts_.Count());
    PromptRequest warning = prompts_.Last();
    EXPECT_EQ(Resources().LoadString(IDS_FORMAT_WARNING), warning.text);
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION), warning.flags);
    EXPECT_EQ(dialog, warning.owner);
    EXPECT_EQ(0u, module_.CallCount(L"Format"));
    EXPECT_TRUE(Exists(L"\\A:\\Data\\Notes.txt"));
    EXPECT_EQ(0u, module_.CallCount(L"SetLabel"));
}

TEST_F(FormatDialogTest, OkFormatsThenWritesTheLabelAndCloses) {
    HWND dialog = Open();
    ASSERT_TRUE(dialog);
    SetDlgItemTextW(dialog, IDC_FORMAT_LABEL, L"NEWLABEL");
    prompts_.Script({IDOK});
    DialogDriver::PressButton(dialog, IDOK);
    EXPECT_TRUE(Ends());
    EXPECT_EQ(1u, module_.CallCount(L"Format"));
    EXPECT_FALSE(Exists(L"\\A:\\Data\\Notes.txt"));
    EXPECT_TRUE(Exists(L"\\B:\\NOEXT"));
    UniqueBstr drive(L"A:"), label;
    ASSERT_EQ(S_OK, access_->GetLabel(drive.get(), label.out()));
    EXPECT_STREQ(L"NEWLABEL", label.c_str());
}

// Without a label the label box stays disabled and the label is not written.
TEST_F(FormatDialogTest, FailedFormatShowsItsMessageAndKeepsTheDialogOpenForAnotherTry) {
    module_.FailNthCall(L"Format", 1, E_FAIL, 1, L"The flash memory does not answer.");
    module_.FailNthCall(L"GetLabel", 1, E_FAIL);
    HWND dialog = Open();
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_FORMAT_LABEL)));
    prompts_.Script({IDOK, IDOK});
    DialogDriver::PressButton(dialog, IDOK);
    EXPECT_FALSE(Ends(700));
    ASSERT_EQ(2u, prompts_.Count());
    PromptRequest failure = prompts_.Last();
    EXPECT_EQ(Resources().LoadString(IDS_ERR_FORMAT_CAPTION), failure.caption);
    EXPECT_EQ(Resources().FormatString(IDS_ERR_FORMAT, {L"The flash memory does not answer."}),
              failure.text);
    EXPECT_TRUE(Exists(L"\\A:\\Data\\Notes.txt"));

    prompts_.Script({IDOK});
    DialogDriver::PressButton(dialog, IDOK);
    EXPECT_TRUE(Ends());
    EXPECT_EQ(2u, module_.CallCount(L"Format"));
    EXPECT_FALSE(Exists(L"\\A:\\Data\\Notes.txt"));
    EXPECT_EQ(0u, module_.CallCount(L"SetLabel"));
}
