// The engine against the substitute module-access server, out of process,
// on a fresh copy of the sample module.
#include <gtest/gtest.h>

#include <wrl/client.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/holders.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "item_id/module_item_id.h"
#include "search/search_engine.h"
#include "tests/search/search_test_files.h"
#include "tests/support/prompt_recorder.h"
#include "testing/fake_module_access.h"
#include "testing/substitute_server.h"

using Microsoft::WRL::ComPtr;

namespace {

// A search host for tests: keeps what the engine found and showed, pumps
// messages for real, and can press Stop after a given number of pumps.
class RecordingSearchHost : public SearchHost {
public:
    void AddResult(LPCITEMIDLIST item) override {
        results.push_back(item && IsValidItemId(item) ? ItemPath(item) : L"<invalid>");
    }
    size_t ResultCount() const override { return results.size(); }
    void SetStatusText(const std::wstring& text) override { statuses.push_back(text); }
    void PumpMessages() override {
        ++pumps;
        if (stopAfterPumps > 0 && pumps >= stopAfterPumps) stop = true;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DWORD PumpIntervalMs() const override { return 0; }   // every pump counts
    bool StopRequested() const override { return stop; }
    HWND OwnerWindow() const override { return nullptr; }
    void OnSearchStarting() override { ++starts; }
    void OnSearchFinished() override { ++finishes; }

    bool Found(const std::wstring& path) const {
        return std::find(results.begin(), results.end(), path) != results.end();
    }
    std::vector<std::wstring> SortedResults() const {
        std::vector<std::wstring> sorted = results;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }

    std::vector<std::wstring> results;
    std::vector<std::wstring> statuses;
    long pumps = 0;
    long stopAfterPumps = 0;   // 0: never
    bool stop = false;
    int starts = 0;
    int finishes = 0;
};

class SearchOnSubstitute : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        ASSERT_TRUE(com_.ok());
        ASSERT_HRESULT_SUCCEEDED(module_.Create(&access_));
    }

    // A file made in the served copy, as if it had been copied to the module.
    void PutFile(const std::wstring& folder, const wchar_t* name, const std::string& bytes) {
        CreateDirectoryW(module_.PcPath(folder).c_str(), nullptr);
        ASSERT_TRUE(WriteFileBytes(module_.PcPath(folder + L"\\" + name), bytes)) << name;
    }

    void Run(const SearchCriteria& criteria) {
        host_.results.clear();
        host_.statuses.clear();
        EXPECT_EQ(S_OK, RunSearch(criteria, access_.Get(), host_));
    }

    ComThreadScope com_;
    SubstituteModule module_;
    ComPtr<ModuleAccess> access_;
    RecordingSearchHost host_;
    PromptRecorder prompts_;
};

TEST_F(SearchOnSubstitute, ListingSearchOfTheSampleModule) {
    SearchCriteria c;
    c.name = L"notes";
    const DWORD listed = module_.CallCount(L"ListFolder");
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\Archive\\old notes.txt",
                                         L"\\A:\\Data\\Notes.txt"}),
              host_.SortedResults());
    // Each folder is listed on its own: the root, both drives and their nine
    // folders (Empty Folder among them).
    EXPECT_EQ(listed + 12, module_.CallCount(L"ListFolder"));
    EXPECT_EQ(L"Search Module ", host_.statuses.front());
    EXPECT_EQ(L"2 file(s) found.", host_.statuses.back());
    EXPECT_EQ(1, host_.finishes);

    // A folder is found by its name; drives never are, though both are searched.
    c.name = L"a";
    Run(c);
    EXPECT_TRUE(host_.Found(L"\\A:\\Data"));
    EXPECT_TRUE(host_.Found(L"\\B:\\Java\\Game.jar"));
    EXPECT_FALSE(host_.Found(L"\\A:"));
    EXPECT_FALSE(host_.Found(L"\\B:"));

    c.path = L"\\A:\\Data";
    c.includeSubfolders = 0;
    c.name = L"*.txt";
    Run(c);
    const std::wstring overview = L"\\A:\\Data\\\x00dc" L"bersicht Gr\x00f6\x00df" L"en.txt";
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\Notes.txt", overview}),
              host_.SortedResults());
    EXPECT_EQ(L"Search Module A:\\Data", host_.statuses.front());
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(SearchOnSubstitute, ContentSearchWithAndWithoutCase) {
    PutFile(L"\\A:\\Text", L"mixed.txt", "one xAbx two");
    PutFile(L"\\A:\\Text", L"lower.txt", "one xabx two");
    PutFile(L"\\A:\\Text", L"wide.txt", std::string("x\0a\0b\0x\0", 8));   // UTF-16
    SearchCriteria c;
    c.path = L"\\A:\\Text";
    c.text = L"ab";
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Text\\lower.txt", L"\\A:\\Text\\mixed.txt"}),
              host_.SortedResults());
    c.caseSensitive = 1;
    c.text = L"Ab";
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Text\\mixed.txt"}), host_.results);

    // Folders matching the name are never content results.
    c.path.clear();
    c.caseSensitive = 0;
    c.name = L"Text";
    c.text = L"x";
    Run(c);
    EXPECT_FALSE(host_.Found(L"\\A:\\Text"));
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(SearchOnSubstitute, DownloadQuestionAboveOneHundredKilobytes) {
    PutFile(L"\\A:\\Q", L"one.bin", std::string(51200, 'a'));
    PutFile(L"\\A:\\Q", L"two.bin", std::string(51199, 'b') + "Z");
    SearchCriteria c;
    c.path = L"\\A:\\Q";
    c.text = L"z";
    Run(c);   // 102,400 bytes: no question
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Q\\two.bin"}), host_.results);

    PutFile(L"\\A:\\Q", L"three.bin", "c");   // 102,401 bytes
    prompts_.Script({IDNO});
    const DWORD opensBefore = module_.CallCount(L"OpenFile");
    Run(c);
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(L"The files which must be searched for total'z',\r\nare 100 KB. Downloading may take some time.\r\n\r\n"
              L"Do you wish to search the files?",
              prompts_.Last().text);
    EXPECT_EQ(L"Finding Files by Content", prompts_.Last().caption);
    EXPECT_TRUE(host_.results.empty());
    EXPECT_EQ(opensBefore, module_.CallCount(L"OpenFile"));

    prompts_.Script({IDYES});
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Q\\two.bin"}), host_.results);
}

TEST_F(SearchOnSubstitute, StopEndsTheSearchWithoutAWord) {
    PutFile(L"\\A:\\Big", L"a.txt", std::string(10 * kContentChunkBytes, 'q') + "needle");
    PutFile(L"\\A:\\Big", L"b.txt", "needle");
    SearchCriteria c;
    c.text = L"needle";
    SearchEngine engine(c, host_);
    host_.stopAfterPumps = 4;
    EXPECT_EQ(E_OPERATION_CANCELLED, engine.ContentTest(L"\\A:\\Big\\a.txt", access_.Get()));
    EXPECT_EQ(4, host_.pumps);
    host_.stop = false;
    host_.stopAfterPumps = 0;
    host_.pumps = 0;
    EXPECT_EQ(S_OK, engine.ContentTest(L"\\A:\\Big\\a.txt", access_.Get()));
    EXPECT_EQ(11, host_.pumps);   // one per 4096-byte chunk
    EXPECT_EQ(E_FAIL, engine.ContentTest(L"\\A:\\Data\\Notes.txt", access_.Get()));

    // In a whole search no file is opened after Stop: 1 pump for the folder,
    // 2 for each of its two items, 1 for a.txt's status, then its first chunk.
    c.path = L"\\A:\\Big";
    const DWORD opened = module_.CallCount(L"OpenFile");
    host_.pumps = 0;
    host_.stopAfterPumps = 7;
    Run(c);
    EXPECT_TRUE(host_.results.empty());
    EXPECT_EQ(opened + 1, module_.CallCount(L"OpenFile"));

    // Stop before the first folder lists nothing; during the root, no drive is entered.
    c.path.clear();
    c.text.clear();
    const DWORD listed = module_.CallCount(L"ListFolder");
    host_.stop = true;
    Run(c);
    EXPECT_EQ(listed, module_.CallCount(L"ListFolder"));
    host_.stop = false;
    host_.pumps = 0;
    host_.stopAfterPumps = 2;
    Run(c);
    EXPECT_EQ(listed + 1, module_.CallCount(L"ListFolder"));
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(SearchOnSubstitute, AFolderThatCannotBeListedIsReportedAndSkipped) {
    SearchCriteria c;
    c.name = L"*.j*";
    module_.FailNthCall(L"ListFolder", 2, E_NO_CONNECTION, 1, L"The link is down.");   // \A:\*
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\B:\\Java\\Game.jad", L"\\B:\\Java\\Game.jar"}),
              host_.SortedResults());
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(L"General", prompts_.Last().caption);
    EXPECT_EQ(L"The link is down.", prompts_.Last().text);   // the server's own words
    EXPECT_EQ(UINT(MB_ICONERROR), prompts_.Last().flags & MB_ICONMASK);

    // A listing the user cancelled at the server is skipped without a word.
    module_.FailNthCall(L"ListFolder", 2, E_OPERATION_CANCELLED);
    Run(c);
    EXPECT_EQ(1u, prompts_.Count());
    // A content search ends at its first failure: B: is not searched.
    PutFile(L"\\B:", L"x.txt", "x");
    c.name.clear();
    c.text = L"x";
    module_.FailNthCall(L"ListFolder", 2, E_NO_CONNECTION);
    Run(c);
    EXPECT_EQ(2u, prompts_.Count());
    EXPECT_TRUE(host_.results.empty());
}

TEST_F(SearchOnSubstitute, FailuresReadingFilesAreShownAsTheTableSays) {
    SearchCriteria c;
    c.path = L"\\A:\\Data";
    c.text = L"e";
    c.fileTypePattern = L"*.txt";
    // A file the user cancelled at the server is skipped without a word.
    module_.FailNthCall(L"OpenFile", 1, E_OPERATION_CANCELLED);
    Run(c);
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_FALSE(host_.results.empty());

    // Notes.txt, then Übersicht Größen.txt (old notes.txt in Archive comes first).
    module_.FailNthCall(L"OpenFile", 1, E_ACCESSDENIED);
    Run(c);
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(L"Error Copying File", prompts_.Last().caption);
    EXPECT_FALSE(host_.results.empty());   // the search went on

    module_.FailNthCall(L"Read", 1, E_NO_CONNECTION, 1, L"The cable is out.");
    Run(c);
    ASSERT_EQ(2u, prompts_.Count());
    EXPECT_NE(std::wstring::npos, prompts_.Last().text.find(L"The cable is out."))
        << testing::PrintToString(prompts_.Last().text);
    EXPECT_TRUE(host_.results.empty());   // and this one ended
}

// A server whose every folder holds one more folder: the walk stops at its
// depth limit with one message and the host lives.
TEST(SearchEngine, AServerWithFoldersWithoutEndStopsAtTheDepthLimit) {
    ComThreadScope com;
    ASSERT_TRUE(com.ok());
    FakeModuleAccess* fake = nullptr;
    ASSERT_EQ(S_OK, MakeComObject(&fake));
    Microsoft::WRL::ComPtr<ModuleAccess> access;
    access.Attach(fake);
    FakeModuleAccess::Entry deeper;
    deeper.path = L"\\x";
    deeper.attributes = FILE_ATTRIBUTE_DIRECTORY;
    UniqueVariant listing;
    ASSERT_EQ(S_OK, FakeModuleAccess::BuildListing({&deeper}, listing.out()));
    std::wstring folder = L"\\A:";
    for (int depth = 0; depth < kMaxListingDepth + 20; ++depth) {
        fake->SetRawListing((folder + L"\\*").c_str(), *listing.get());
        folder += L"\\x";
    }
    PromptRecorder prompts;
    RecordingSearchHost host;
    SearchCriteria c;
    c.path = L"\\A:";
    c.name = L"nothing here";
    c.includeSubfolders = 1;
    EXPECT_EQ(S_OK, RunSearch(c, access.Get(), host));
    EXPECT_EQ(static_cast<size_t>(kMaxListingDepth + 1), fake->CountCalls(L"ListFolder"));
    ASSERT_EQ(1u, prompts.Count());
    EXPECT_EQ(1, host.finishes);
}

TEST(SearchEngine, WithoutAConnectionNothingStarts) {
    SearchCriteria c;
    RecordingSearchHost host;
    EXPECT_EQ(E_POINTER, RunSearch(c, nullptr, host));
    EXPECT_EQ(0, host.starts);
    SearchEngine engine(c, host);
    EXPECT_EQ(E_POINTER, engine.SearchFolder(L"", nullptr));
    EXPECT_EQ(E_POINTER, engine.ContentTest(L"\\A:\\x.txt", nullptr));
}

}  // namespace
