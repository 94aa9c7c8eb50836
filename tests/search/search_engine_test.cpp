// The engine on an in-process fake module, where every server answer and
// failure can be forced.
#include <gtest/gtest.h>

#include <wrl/client.h>

#include "common/resource_module.h"
#include "common/result_codes.h"
#include "resources/string_ids.h"
#include "search/search_engine.h"
#include "tests/search/recording_search_host.h"
#include "tests/support/fake_module_access.h"
#include "tests/support/prompt_recorder.h"

using Microsoft::WRL::ComPtr;

namespace {

class SearchEngineOnFake : public testing::Test {
protected:
    void SetUp() override {
        fake_.Attach(new FakeModuleAccess);
        fake_->AddDrive(L"A:");
        fake_->AddFolder(L"\\A:\\Data");
        fake_->AddFile(L"\\A:\\Data\\xabcx.txt").content = "hello xAbx world";
        fake_->AddFile(L"\\A:\\Data\\README").content = "read me";
        fake_->AddFolder(L"\\A:\\Data\\abc");
        fake_->AddFile(L"\\A:\\Data\\abc\\deep.txt").content = "deep down";
        fake_->AddFile(L"\\A:\\empty.bin", 0);
        fake_->AddDrive(L"B:");
        fake_->AddFile(L"\\B:\\notes.TXT").content = "AB";
        fake_->AddFile(L"\\B:\\wide.txt").content = std::string("a\0b\0", 4);   // UTF-16 "ab"
    }

    void Run(SearchCriteria& criteria) {
        SearchEngine engine(criteria, host_);
        EXPECT_EQ(S_OK, engine.SearchFolder(criteria.path, fake_.Get()));
    }

    ComPtr<FakeModuleAccess> fake_;
    RecordingSearchHost host_;
    PromptRecorder prompts_;
};

TEST_F(SearchEngineOnFake, ListingSearchFindsFilesAndFoldersButNeverDrives) {
    SearchCriteria c;
    c.name = L"abc";   // searched as *abc*
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\abc", L"\\A:\\Data\\xabcx.txt"}),
              host_.SortedResults());

    // Everything: every file and folder, no drive.
    host_.results.clear();
    c.name.clear();
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data", L"\\A:\\Data\\README", L"\\A:\\Data\\abc",
                                         L"\\A:\\Data\\abc\\deep.txt", L"\\A:\\Data\\xabcx.txt",
                                         L"\\A:\\empty.bin", L"\\B:\\notes.TXT", L"\\B:\\wide.txt"}),
              host_.SortedResults());
    EXPECT_FALSE(host_.Found(L"\\A:"));
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(SearchEngineOnFake, ListingSearchOneFolderAtATime) {
    SearchCriteria c;
    c.path = L"\\A:\\Data";
    c.includeSubfolders = 0;
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\README", L"\\A:\\Data\\abc",
                                         L"\\A:\\Data\\xabcx.txt"}),
              host_.SortedResults());
    EXPECT_EQ(1u, fake_->CountCalls(L"ListFolder"));
    EXPECT_EQ(Resources().FormatString(IDS_SEARCH_STATUS, {L"Module A:\\Data"}),
              host_.statuses.front());

    // With subfolders: each folder is listed on its own, the root as "\*".
    fake_->ClearCalls();
    host_.statuses.clear();
    host_.results.clear();
    c.path.clear();
    c.includeSubfolders = 1;
    c.name = L"*.txt";
    Run(c);
    EXPECT_EQ(5u, fake_->CountCalls(L"ListFolder"));   // root, A:, Data, abc, B:
    EXPECT_EQ(L"ListFolder(\\*,0)", fake_->Calls().front());
    EXPECT_EQ(Resources().FormatString(IDS_SEARCH_STATUS, {L"Module "}), host_.statuses.front());
    EXPECT_TRUE(host_.Found(L"\\A:\\Data\\abc\\deep.txt"));
    EXPECT_FALSE(host_.Found(L"\\A:\\Data\\README"));
}

TEST_F(SearchEngineOnFake, AFolderThatCannotBeListedIsReportedAndSkipped) {
    fake_->FailOn(L"ListFolder", L"\\A:\\Data\\*", E_NO_CONNECTION, L"The link is down.");
    SearchCriteria c;
    c.name = L"*.txt";
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\B:\\notes.TXT", L"\\B:\\wide.txt"}),
              host_.SortedResults());
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(Resources().LoadString(IDS_ERR_GENERAL_CAPTION), prompts_.Last().caption);
    EXPECT_EQ(L"The link is down.", prompts_.Last().text);   // the server's own words
    EXPECT_EQ(UINT(MB_ICONERROR), prompts_.Last().flags & MB_ICONMASK);

    // A listing the user cancelled at the server is skipped without a word.
    fake_->FailOn(L"ListFolder", L"\\B:\\*", E_OPERATION_CANCELLED);
    host_.results.clear();
    Run(c);
    EXPECT_TRUE(host_.results.empty());
    EXPECT_EQ(2u, prompts_.Count());
    c.text = L"x";
    Run(c);   // content mode lists once, from the root: the first failure ends it
    EXPECT_EQ(3u, prompts_.Count());
}

// Case is covered against the server; here what only call counts show.
TEST_F(SearchEngineOnFake, ContentSearchReadsOnlyCandidateFiles) {
    SearchCriteria c;
    c.text = L"ab";
    c.name = L"abc";   // the folder named abc is never a content result
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\xabcx.txt"}), host_.results);
    EXPECT_EQ(1u, fake_->CountCalls(L"OpenFile"));
    EXPECT_EQ(5u, fake_->CountCalls(L"ListFolder"));   // each folder once, whatever the mode
    host_.results.clear();
    c.name.clear();
    Run(c);
    // A file stored in UTF-16 does not match the typed text.
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\xabcx.txt", L"\\B:\\notes.TXT"}),
              host_.SortedResults());

    // Without subfolders only the folder's own files are read.
    fake_->ClearCalls();
    c.path = L"\\A:\\Data";
    c.includeSubfolders = 0;
    c.text = L"deep";
    Run(c);
    EXPECT_EQ(2u, fake_->CountCalls(L"OpenFile"));
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(SearchEngineOnFake, FailuresWhileReadingFiles) {
    SearchCriteria c;
    c.text = L"e";
    // Cancelled: silent. Denied: reported, the search goes on.
    fake_->FailOn(L"OpenFile", L"\\A:\\Data\\README", E_OPERATION_CANCELLED);
    fake_->FailOn(L"OpenFile", L"\\A:\\Data\\abc\\deep.txt", E_ACCESSDENIED);
    Run(c);
    EXPECT_TRUE(host_.Found(L"\\A:\\Data\\xabcx.txt"));
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(Resources().LoadString(IDS_ERR_COPY_CAPTION), prompts_.Last().caption);
    EXPECT_EQ(0u, prompts_.Last().text.find(L"deep.txt"));

    // Anything else is reported and ends the search. Files are read in
    // listing order: deep.txt (denied), README (cancelled), xabcx.txt.
    fake_->FailOn(L"OpenFile", L"\\A:\\Data\\xabcx.txt", E_NO_CONNECTION, nullptr, 1);
    host_.results.clear();
    fake_->ClearCalls();
    Run(c);
    EXPECT_EQ(3u, prompts_.Count());
    EXPECT_EQ(3u, fake_->CountCalls(L"OpenFile"));
    EXPECT_EQ(0u, prompts_.Last().text.find(L"xabcx.txt"));
    EXPECT_TRUE(host_.results.empty());
}

TEST_F(SearchEngineOnFake, StopInsideAFileCancelsItAndEveryFileAfterIt) {
    fake_->AddFile(L"\\A:\\big.txt").content = std::string(5 * kContentChunkBytes, 'y') + "needle";
    SearchCriteria c;
    c.text = L"needle";
    SearchEngine engine(c, host_);
    host_.stopAfterPumps = 3;   // pressed during the third chunk's pump
    EXPECT_EQ(E_OPERATION_CANCELLED, engine.ContentTest(L"\\A:\\big.txt", fake_.Get()));
    EXPECT_EQ(3, host_.pumps);

    host_.stop = false;
    host_.stopAfterPumps = 0;
    host_.pumps = 0;
    EXPECT_EQ(S_OK, engine.ContentTest(L"\\A:\\big.txt", fake_.Get()));
    EXPECT_EQ(6, host_.pumps);   // one per 4096-byte chunk
    EXPECT_EQ(E_FAIL, engine.ContentTest(L"\\A:\\Data\\README", fake_.Get()));
    EXPECT_EQ(E_FAIL, engine.ContentTest(L"\\A:\\empty.bin", fake_.Get()));
    EXPECT_EQ(E_POINTER, engine.ContentTest(L"\\A:\\big.txt", nullptr));

    // In a whole search: nothing found, nothing reported, no file opened after Stop.
    // big.txt is the first candidate: 1 pump for the folder, 2 for each of
    // the 11 listed items, 1 for the file's status, then its first chunk.
    fake_->ClearCalls();
    host_.pumps = 0;
    host_.stopAfterPumps = 25;
    RunSearch(c, fake_.Get(), host_);
    EXPECT_TRUE(host_.results.empty());
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_EQ(1u, fake_->CountCalls(L"OpenFile"));
}

TEST_F(SearchEngineOnFake, StopBeforeAFolderListsNothingMore) {
    SearchCriteria c;
    host_.stop = true;
    Run(c);
    EXPECT_EQ(0u, fake_->CountCalls(L"ListFolder"));
    EXPECT_EQ(1u, host_.statuses.size());
    // Stop during the listing search of the root: the drives are not entered.
    host_.stop = false;
    host_.pumps = 0;
    host_.stopAfterPumps = 2;
    Run(c);
    EXPECT_EQ(1u, fake_->CountCalls(L"ListFolder"));
}

TEST_F(SearchEngineOnFake, RunSearchFramesTheWalk) {
    SearchCriteria c;
    c.name = L"*.txt";
    EXPECT_EQ(E_POINTER, RunSearch(c, nullptr, host_));
    EXPECT_EQ(0, host_.starts);
    EXPECT_EQ(S_OK, RunSearch(c, fake_.Get(), host_));
    EXPECT_EQ(1, host_.starts);
    EXPECT_EQ(1, host_.finishes);
    EXPECT_EQ(4u, host_.results.size());
    EXPECT_EQ(Resources().FormatString(IDS_SEARCH_FILES_FOUND, {4}), host_.statuses.back());
    EXPECT_EQ(FoundStatusText(4), host_.statuses.back());

    SearchEngine engine(c, host_);
    EXPECT_EQ(E_POINTER, engine.SearchFolder(L"", nullptr));
}

}  // namespace
