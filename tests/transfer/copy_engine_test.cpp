// The copy and move engine against the substitute server on a fresh copy of
// the sample module, with PC files in the test prefix and the questions
// answered from a script.
#include <windows.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <map>
#include <string>
#include <vector>

#include "common/holders.h"
#include "common/module_count.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"
#include "tests/transfer/transfer_test_files.h"
#include "transfer/copy_confirmation.h"
#include "transfer/copy_engine.h"

using Microsoft::WRL::ComPtr;

namespace {

// Records, for every prompt, its top line (message text or dialog text).
class CopyPrompts : public PromptRecorder {
public:
    std::vector<std::wstring> lines;

    bool Answer(const PromptRequest& request, INT_PTR* answer) override {
        std::wstring line = request.text;
        if (request.kind == PromptRequest::Kind::Dialog && request.initParam) {
            if (request.dialogId == IDD_CONFIRM_FILE_REPLACE) {
                auto* question = reinterpret_cast<const ReplaceFileQuestion*>(request.initParam);
                line = (question->readOnly ? L"read-only " : L"") + question->name;
            } else {
                line = reinterpret_cast<const ConfirmationText*>(request.initParam)->text;
            }
        }
        lines.push_back(line);
        return PromptRecorder::Answer(request, answer);
    }
    std::vector<UINT> DialogIds() const {
        std::vector<UINT> ids;
        for (const PromptRequest& r : Requests()) ids.push_back(r.dialogId);
        return ids;
    }
};

class CopyEngineTest : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        ASSERT_EQ(S_OK, EnterComThread());
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(S_OK, module_.Create(&access_));
        prompts_.SetDefaultAnswer(IDCANCEL);
    }
    void TearDown() override {
        access_.Reset();
        LeaveComThread();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    std::string ModuleBytes(const std::wstring& path) const {
        return ReadPcFile(module_.PcPath(path));
    }
    bool ModuleHas(const std::wstring& path) const {
        return GetFileAttributesW(module_.PcPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    HRESULT PastePc(const std::wstring& destination, std::vector<std::wstring> paths,
                    DWORD effect = DROPEFFECT_COPY, bool* complete = nullptr) {
        CopyEngine engine(access_.Get(), destination, effect, nullptr);
        HRESULT hr = engine.TransferPcItems(paths);
        if (complete) *complete = engine.Complete();
        return hr;
    }

    HRESULT PasteModule(const std::wstring& destination, std::vector<std::wstring> paths,
                        DWORD effect = DROPEFFECT_COPY, bool* complete = nullptr) {
        std::vector<IdListHolder> items;
        std::vector<LPCITEMIDLIST> lists;
        for (const std::wstring& path : paths) {
            IdListHolder item;
            EXPECT_EQ(S_OK, GetItemRecord(path.c_str(), access_.Get(), item.out()));
            EXPECT_TRUE(item) << testing::PrintToString(path);
            items.push_back(std::move(item));
        }
        for (const IdListHolder& item : items) lists.push_back(item.get());
        CopyEngine engine(access_.Get(), destination, effect, nullptr);
        HRESULT hr = engine.TransferModuleItems(L"\\A:\\Data", lists.data(),
                                                static_cast<UINT>(lists.size()));
        if (complete) *complete = engine.Complete();
        return hr;
    }

    LONG objectsBefore_ = 0;
    SubstituteModule module_;
    ComPtr<ModuleAccess> access_;
    CopyPrompts prompts_;
    PcFolder pc_;
};

}  // namespace

// Files and a nested folder from the PC arrive byte for byte, without a question.
TEST_F(CopyEngineTest, PcTreeArrivesWhole) {
    pc_.Write(L"top.txt", "top level");
    pc_.Write(L"Tree\\one.bin", std::string(70000, '\x5a'));
    pc_.Write(L"Tree\\Inner\\two.txt", "");
    bool complete = false;
    EXPECT_EQ(S_OK, PastePc(L"\\A:\\Data", {pc_.Path(L"top.txt"), pc_.Path(L"Tree")},
                            DROPEFFECT_MOVE, &complete));
    EXPECT_TRUE(complete);
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_EQ("top level", ModuleBytes(L"\\A:\\Data\\top.txt"));
    EXPECT_EQ(std::string(70000, '\x5a'), ModuleBytes(L"\\A:\\Data\\Tree\\one.bin"));
    EXPECT_TRUE(ModuleHas(L"\\A:\\Data\\Tree\\Inner\\two.txt"));
    // The sources stay for the source program to remove.
    EXPECT_EQ("top level", ReadPcFile(pc_.Path(L"top.txt")));
}

// The largest file the module takes is tried; one byte more is refused unasked.
TEST_F(CopyEngineTest, TwoGigabyteBoundary) {
    pc_.WriteSparse(L"limit.bin", 2147483647ull);
    pc_.WriteSparse(L"over.bin", 2147483648ull);
    // Not written for real: the server's write fails once it is reached.
    module_.FailNthCall(L"WriteFile", 1, HRESULT_FROM_WIN32(ERROR_DISK_FULL), 0);
    prompts_.Script({IDOK, IDOK});
    EXPECT_EQ(E_FAIL, PastePc(L"\\A:", {pc_.Path(L"limit.bin"), pc_.Path(L"over.bin")}));
    auto requests = prompts_.Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(0u, requests[0].text.find(L"limit.bin cannot be copied: "));
    EXPECT_EQ(L"over.bin cannot be copied: The file size exceeds the maximum allowable.",
              requests[1].text);
    EXPECT_EQ(L"Error Copying File", requests[1].caption);
    EXPECT_EQ(0x11u, requests[1].flags);
    EXPECT_FALSE(ModuleHas(L"\\A:\\limit.bin"));
    EXPECT_EQ(1u, module_.CallCount(L"WriteFile"));
}

// A copy onto its own folder gets a copy name, the next one a numbered one;
// a move there is refused and changes nothing.
TEST_F(CopyEngineTest, CopyNamesAndMovesOntoThemselves) {
    const std::string notes = ModuleBytes(L"\\A:\\Data\\Notes.txt");
    EXPECT_EQ(S_OK, PasteModule(L"\\A:\\Data", {L"\\A:\\Data\\Notes.txt"}));
    EXPECT_EQ(S_OK, PasteModule(L"\\A:\\Data", {L"\\A:\\Data\\Notes.txt"}));
    EXPECT_EQ(notes, ModuleBytes(L"\\A:\\Data\\Copy of Notes.txt"));
    EXPECT_EQ(notes, ModuleBytes(L"\\A:\\Data\\Copy (2) of Notes.txt"));
    EXPECT_EQ(S_OK, PasteModule(L"\\A:\\Data", {L"\\A:\\Data\\Archive"}));
    EXPECT_EQ(ModuleBytes(L"\\A:\\Data\\Archive\\Deep\\level3.bin"),
              ModuleBytes(L"\\A:\\Data\\Copy of Archive\\Deep\\level3.bin"));
    EXPECT_EQ(0u, prompts_.Count());

    struct Case { const wchar_t* item; const wchar_t* text; };
    const Case moves[] = {
        {L"\\A:\\Data\\Notes.txt",
         L"Cannot move 'Notes.txt': The source and destination filenames are the same."},
        {L"\\A:\\Data\\Archive",
         L"Cannot move 'Archive': The destination folder is the same as the source folder."},
    };
    for (const Case& c : moves) {
        prompts_.Script({IDOK});
        size_t before = prompts_.Count();
        bool complete = true;
        EXPECT_EQ(E_FAIL, PasteModule(L"\\A:\\Data", {c.item}, DROPEFFECT_MOVE, &complete));
        EXPECT_FALSE(complete);
        ASSERT_EQ(before + 1, prompts_.Count());
        EXPECT_EQ(c.text, prompts_.Last().text);
        EXPECT_EQ(L"Error Moving File", prompts_.Last().caption);
        EXPECT_EQ(0x11u, prompts_.Last().flags);
    }
    EXPECT_EQ(notes, ModuleBytes(L"\\A:\\Data\\Notes.txt"));
    EXPECT_FALSE(ModuleHas(L"\\A:\\Data\\Copy (3) of Notes.txt"));
}

// A folder into itself or below itself is refused; into a sibling whose name
// starts with its own it is copied.
TEST_F(CopyEngineTest, FolderIntoItselfBelowItselfAndBeside) {
    UniqueBstr sibling(L"\\A:\\Data\\Archive2");
    ASSERT_EQ(S_OK, access_->CreateFolder(sibling.get()));
    struct Case { const wchar_t* destination; const wchar_t* refusal; };
    const Case cases[] = {
        {L"\\A:\\Data\\Archive",
         L"Archive cannot be copied: The target and the source folder are identical."},
        {L"\\A:\\Data\\Archive\\Deep",
         L"Archive cannot be copied: The target folder is a subfolder of the source folder."},
        {L"\\A:\\Data\\Archive2", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.destination)));
        size_t before = prompts_.Count();
        prompts_.Script({IDOK});
        bool complete = false;
        HRESULT hr = PasteModule(c.destination, {L"\\A:\\Data\\Archive"}, DROPEFFECT_COPY, &complete);
        if (c.refusal) {
            EXPECT_EQ(E_FAIL, hr);
            EXPECT_FALSE(complete);
            ASSERT_EQ(before + 1, prompts_.Count());
            EXPECT_EQ(c.refusal, prompts_.Last().text);
            EXPECT_EQ(0x10u, prompts_.Last().flags);
        } else {
            EXPECT_EQ(S_OK, hr);
            EXPECT_TRUE(complete);
            EXPECT_EQ(before, prompts_.Count());
        }
    }
    EXPECT_TRUE(ModuleHas(L"\\A:\\Data\\Archive2\\Archive\\Deep\\level3.bin"));
    EXPECT_FALSE(ModuleHas(L"\\A:\\Data\\Archive\\Deep\\Archive"));
}

// A file whose name a folder holds is skipped with its message, and a move
// that skipped it is not complete.
TEST_F(CopyEngineTest, FileNameTakenByFolder) {
    pc_.Write(L"Archive", "not a folder");
    prompts_.Script({IDOK});
    bool complete = true;
    EXPECT_EQ(S_OK, PastePc(L"\\A:\\Data", {pc_.Path(L"Archive")}, DROPEFFECT_MOVE, &complete));
    EXPECT_FALSE(complete);
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(L"The file '\\A:\\Data\\Archive' already exists.\r\n\r\nA file of the same name cannot be "
              L"copied.",
              prompts_.Last().text);
    EXPECT_EQ(L"Copying...", prompts_.Last().caption);
    EXPECT_EQ(0u, prompts_.Last().flags);
    EXPECT_TRUE(ModuleHas(L"\\A:\\Data\\Archive\\old notes.txt"));
}

// Yes on a folder covers what is inside it, but the next folder is asked
// again; Replace All covers both. Yes on a file covers that file only.
TEST_F(CopyEngineTest, YesAndReplaceAllScopes) {
    for (const wchar_t* folder : {L"F1", L"F2"}) {
        pc_.Write(std::wstring(folder) + L"\\a.txt", "new a");
        pc_.Write(std::wstring(folder) + L"\\b.txt", "new b");
    }
    pc_.Write(L"x.txt", "new x");
    pc_.Write(L"y.txt", "new y");
    const std::vector<std::wstring> folders = {pc_.Path(L"F1"), pc_.Path(L"F2")};
    const std::vector<std::wstring> files = {pc_.Path(L"x.txt"), pc_.Path(L"y.txt")};
    ASSERT_EQ(S_OK, PastePc(L"\\A:\\Data", folders));
    ASSERT_EQ(S_OK, PastePc(L"\\A:\\Data", files));
    ASSERT_EQ(0u, prompts_.Count());

    struct Case {
        const char* name;
        bool folders;
        std::vector<INT_PTR> answers;
        std::vector<UINT> asked;
    };
    const Case cases[] = {
        {"Yes per folder", true, {IDYES, IDYES},
         {IDD_CONFIRM_FOLDER_REPLACE, IDD_CONFIRM_FOLDER_REPLACE}},
        {"Replace All on the first folder", true, {IDC_REPLACE_ALL}, {IDD_CONFIRM_FOLDER_REPLACE}},
        {"Yes per file", false, {IDYES, IDYES},
         {IDD_CONFIRM_FILE_REPLACE, IDD_CONFIRM_FILE_REPLACE}},
        {"Replace All on the first file", false, {IDC_REPLACE_ALL}, {IDD_CONFIRM_FILE_REPLACE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CopyPrompts prompts;
        for (INT_PTR answer : c.answers) prompts.Script({answer});
        bool complete = false;
        EXPECT_EQ(S_OK, PastePc(L"\\A:\\Data", c.folders ? folders : files, DROPEFFECT_MOVE,
                                &complete));
        EXPECT_TRUE(complete);
        EXPECT_EQ(c.asked, prompts.DialogIds());
    }
    EXPECT_EQ("new b", ModuleBytes(L"\\A:\\Data\\F2\\b.txt"));
    EXPECT_EQ("new y", ModuleBytes(L"\\A:\\Data\\y.txt"));
}

// No to a file keeps the old one and makes a move incomplete; Cancel stops
// before the next item; a read-only target is replaced after its own question.
TEST_F(CopyEngineTest, NoCancelAndReadOnlyTargets) {
    const std::string old = ModuleBytes(L"\\A:\\Read Me First.txt");
    pc_.Write(L"Read Me First.txt", "replacement");
    pc_.Write(L"hidden.dat", "new hidden");
    const std::vector<std::wstring> both = {pc_.Path(L"Read Me First.txt"), pc_.Path(L"hidden.dat")};

    prompts_.Script({IDNO, IDNO});
    bool complete = true;
    EXPECT_EQ(S_OK, PastePc(L"\\A:", both, DROPEFFECT_MOVE, &complete));
    EXPECT_FALSE(complete);
    ASSERT_EQ(2u, prompts_.Count());
    EXPECT_EQ(L"read-only Read Me First.txt", prompts_.lines[0]);
    EXPECT_EQ(L"hidden.dat", prompts_.lines[1]);
    EXPECT_EQ(old, ModuleBytes(L"\\A:\\Read Me First.txt"));

    prompts_.Script({IDCANCEL});
    EXPECT_EQ(E_FAIL, PastePc(L"\\A:", both, DROPEFFECT_COPY, &complete));
    EXPECT_FALSE(complete);
    EXPECT_EQ(3u, prompts_.Count());
    EXPECT_EQ(old, ModuleBytes(L"\\A:\\Read Me First.txt"));

    prompts_.Script({IDYES, IDNO});
    EXPECT_EQ(S_OK, PastePc(L"\\A:", both));
    EXPECT_EQ("replacement", ModuleBytes(L"\\A:\\Read Me First.txt"));
    EXPECT_EQ(5u, prompts_.Count());
    // Nothing set aside is left behind.
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW((module_.PcPath(L"\\A:") + L"\\~ktx*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << found.cFileName;
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

// Moving a read-only system file asks only the system question; a read-only
// file gets the read-only question; several items get Yes to All and Cancel.
TEST_F(CopyEngineTest, MoveQuestions) {
    struct Case {
        const wchar_t* name;
        DWORD attributes;
        bool several;
        UINT dialog;
        const wchar_t* text;
    };
    const Case cases[] = {
        {L"sys.bin", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM, false, IDD_CONFIRM_FILE_MOVE,
         L"Are you sure you want to move the system file 'sys.bin'?"},
        {L"ro.txt", FILE_ATTRIBUTE_READONLY, false, IDD_CONFIRM_FILE_MOVE,
         L"Are you sure you want to move the read-only file 'ro.txt'?"},
        {L"ro2.txt", FILE_ATTRIBUTE_READONLY, true, IDD_CONFIRM_FILE_MOVE_SEVERAL,
         L"Are you sure you want to move the read-only file 'ro2.txt'?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        pc_.Write(c.name, "x");
        SetFileAttributesW(pc_.Path(c.name).c_str(), c.attributes);
        std::vector<std::wstring> paths = {pc_.Path(c.name)};
        if (c.several) {
            pc_.Write(L"plain.txt", "p");
            paths.push_back(pc_.Path(L"plain.txt"));
        }
        CopyPrompts prompts;
        prompts.Script({IDNO});
        bool complete = true;
        PastePc(L"\\A:\\Data", paths, DROPEFFECT_MOVE, &complete);
        EXPECT_FALSE(complete);
        ASSERT_EQ(1u, prompts.Count());
        EXPECT_EQ(c.dialog, prompts.Last().dialogId);
        EXPECT_EQ(c.text, prompts.lines[0]);
        EXPECT_FALSE(ModuleHas(std::wstring(L"\\A:\\Data\\") + c.name));
        SetFileAttributesW(pc_.Path(c.name).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    // A copy asks nothing about them.
    pc_.Write(L"sys2.bin", "s");
    SetFileAttributesW(pc_.Path(L"sys2.bin").c_str(), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(S_OK, PastePc(L"\\A:\\Data", {pc_.Path(L"sys2.bin")}));
    EXPECT_EQ(0u, prompts_.Count());
    SetFileAttributesW(pc_.Path(L"sys2.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Names that would leave the target folder, and PC files that are gone or
// locked, are refused with a message and write nothing.
TEST_F(CopyEngineTest, BadNamesAndMissingOrLockedFiles) {
    pc_.Write(L"locked.txt", "busy");
    UniqueHandle lock(CreateFileW(pc_.Path(L"locked.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock.valid());
    pc_.Write(L"fine.txt", "fine");
    prompts_.SetDefaultAnswer(IDOK);
    bool complete = true;
    EXPECT_EQ(S_OK, PastePc(L"\\A:\\Data",
                            {pc_.Path(L"Sub\\.."), pc_.Path(L"gone.txt"), L"", pc_.Path(L"locked.txt"),
                             pc_.Path(L"fine.txt")},
                            DROPEFFECT_MOVE, &complete));
    EXPECT_FALSE(complete);
    auto requests = prompts_.Requests();
    ASSERT_EQ(4u, requests.size());
    EXPECT_EQ(0u, requests[0].text.find(L".. cannot be copied: "));
    EXPECT_EQ(0u, requests[1].text.find(L"gone.txt cannot be copied: "));
    EXPECT_EQ(0u, requests[3].text.find(L"locked.txt cannot be copied: "));
    EXPECT_EQ("fine", ModuleBytes(L"\\A:\\Data\\fine.txt"));
    EXPECT_FALSE(ModuleHas(L"\\A:\\Data\\locked.txt"));

    // Module identifiers whose paths climb out are refused the same way.
    IdListHolder climbing(MakeItemId(L"\\A:\\Data\\..\\..\\x", L"X", 1, 0, 0, 0, 0));
    LPCITEMIDLIST lists[] = {climbing.get()};
    CopyEngine engine(access_.Get(), L"\\B:", DROPEFFECT_COPY, nullptr);
    EXPECT_EQ(E_FAIL, engine.TransferModuleItems(L"\\A:\\Data", lists, 1));
    EXPECT_EQ(5u, prompts_.Count());
}
