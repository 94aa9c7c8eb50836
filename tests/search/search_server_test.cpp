// The engine against the substitute module-access server, out of process,
// on a fresh copy of the sample module.
#include <gtest/gtest.h>

#include <wrl/client.h>

#include <string>

#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "resources/string_ids.h"
#include "search/search_engine.h"
#include "tests/search/recording_search_host.h"
#include "tests/search/search_test_files.h"
#include "tests/support/prompt_recorder.h"
#include "tests/support/substitute_server.h"

using Microsoft::WRL::ComPtr;

namespace {

class SearchOnSubstitute : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        ASSERT_TRUE(com_.ok());
        ASSERT_HRESULT_SUCCEEDED(module_.Create(&access_));
    }

    // A file made in the served copy, as if it had been copied to the module.
    void PutFile(const std::wstring& modulePath, const std::string& bytes) {
        ASSERT_TRUE(WriteFileBytes(module_.PcPath(modulePath), bytes)) << modulePath.c_str();
    }
    void PutFolder(const std::wstring& modulePath) {
        CreateDirectoryW(module_.PcPath(modulePath).c_str(), nullptr);
    }

    void Run(const SearchCriteria& criteria) {
        host_.results.clear();
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
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\Archive\\old notes.txt",
                                         L"\\A:\\Data\\Notes.txt"}),
              host_.SortedResults());
    EXPECT_EQ(FoundStatusText(2), host_.statuses.back());

    // A folder is found by its name; drives never are, though both are searched.
    c.name = L"a";
    Run(c);
    EXPECT_TRUE(host_.Found(L"\\A:\\Data"));
    EXPECT_TRUE(host_.Found(L"\\B:\\Java\\Game.jar"));
    EXPECT_FALSE(host_.Found(L"\\A:"));
    EXPECT_FALSE(host_.Found(L"\\B:"));

    // Short-name rules: `README.` finds the file without an extension.
    c.name = L"README.";
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Data\\README"}), host_.results);
    c.name = L"*.txt";
    c.path = L"\\B:";
    c.includeSubfolders = 0;
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\B:\\several.dots.in.name.txt"}), host_.results);
    EXPECT_EQ(0u, prompts_.Count());
}

TEST_F(SearchOnSubstitute, ContentSearchWithAndWithoutCase) {
    PutFolder(L"\\A:\\Text");
    PutFile(L"\\A:\\Text\\mixed.txt", "one xAbx two");
    PutFile(L"\\A:\\Text\\lower.txt", "one xabx two");
    PutFile(L"\\A:\\Text\\wide.txt", std::string("x\0a\0b\0x\0", 8));
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
    PutFolder(L"\\A:\\Q");
    PutFile(L"\\A:\\Q\\one.bin", std::string(51200, 'a'));
    PutFile(L"\\A:\\Q\\two.bin", std::string(51199, 'b') + "Z");
    SearchCriteria c;
    c.path = L"\\A:\\Q";
    c.text = L"z";
    Run(c);   // 102,400 bytes: no question
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Q\\two.bin"}), host_.results);

    PutFile(L"\\A:\\Q\\three.bin", "c");   // 102,401 bytes
    prompts_.Script({IDNO});
    const DWORD opensBefore = module_.CallCount(L"OpenFile");
    Run(c);
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(Resources().FormatString(IDS_SEARCH_CONFIRM_DOWNLOAD, {L"z", 100}),
              prompts_.Last().text);
    EXPECT_EQ(Resources().LoadString(IDS_SEARCH_CONTENT_CAPTION), prompts_.Last().caption);
    EXPECT_TRUE(host_.results.empty());
    EXPECT_EQ(opensBefore, module_.CallCount(L"OpenFile"));

    prompts_.Script({IDYES});
    Run(c);
    EXPECT_EQ((std::vector<std::wstring>{L"\\A:\\Q\\two.bin"}), host_.results);
}

TEST_F(SearchOnSubstitute, StopInsideAFile) {
    PutFile(L"\\A:\\long.txt", std::string(10 * kContentChunkBytes, 'q') + "needle");
    SearchCriteria c;
    c.text = L"needle";
    SearchEngine engine(c, host_);
    host_.stopAfterPumps = 4;
    EXPECT_EQ(E_OPERATION_CANCELLED, engine.ContentTest(L"\\A:\\long.txt", access_.Get()));
    EXPECT_EQ(4, host_.pumps);

    host_.stop = false;
    host_.stopAfterPumps = 0;
    EXPECT_EQ(S_OK, engine.ContentTest(L"\\A:\\long.txt", access_.Get()));
    EXPECT_EQ(E_FAIL, engine.ContentTest(L"\\A:\\Data\\Notes.txt", access_.Get()));
}

TEST_F(SearchOnSubstitute, ServerFailuresAreShownAsTheTableSays) {
    SearchCriteria c;
    c.path = L"\\A:\\Data";
    c.text = L"e";
    c.fileTypePattern = L"*.txt";
    // Notes.txt, then Übersicht Größen.txt (old notes.txt in Archive comes first).
    module_.FailNthCall(L"OpenFile", 1, E_ACCESSDENIED);
    Run(c);
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_EQ(Resources().LoadString(IDS_ERR_COPY_CAPTION), prompts_.Last().caption);
    EXPECT_FALSE(host_.results.empty());   // the search went on

    module_.FailNthCall(L"Read", 1, E_NO_CONNECTION, 1, L"The cable is out.");
    Run(c);
    ASSERT_EQ(2u, prompts_.Count());
    EXPECT_NE(std::wstring::npos, prompts_.Last().text.find(L"The cable is out."))
        << testing::PrintToString(prompts_.Last().text);
    EXPECT_TRUE(host_.results.empty());   // and this one ended

    // A folder that cannot be listed is reported once and skipped.
    c.text.clear();
    c.fileTypePattern = L"*";
    c.path.clear();
    c.name = L"*.jpg";
    module_.FailNthCall(L"ListFolder", 2, E_NO_CONNECTION);   // \A:\*, after the root
    Run(c);
    ASSERT_EQ(3u, prompts_.Count());
    EXPECT_EQ(Resources().LoadString(IDS_ERR_GENERAL_CAPTION), prompts_.Last().caption);
    EXPECT_EQ(std::vector<std::wstring>{}, host_.results);   // the jpgs live on A:
    EXPECT_GE(module_.CallCount(L"ListFolder"), 4u);            // B: and its folders were listed
}

}  // namespace
