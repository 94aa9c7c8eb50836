// The engine's check that copied files arrived whole, against a server that
// answers what a test makes it answer.
#include <windows.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "tests/support/prompt_recorder.h"
#include "testing/fake_module_access.h"
#include "transfer/copy_engine.h"

using Microsoft::WRL::ComPtr;

namespace {

class CopyArrivalsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(S_OK, EnterComThread());
        fake_.Attach(new FakeModuleAccess());
        fake_->AddDrive(L"A:");
        fake_->AddFolder(L"\\A:\\S");
        fake_->AddFolder(L"\\A:\\T");
        prompts_.SetDefaultAnswer(IDOK);
    }
    void TearDown() override {
        fake_.Reset();
        LeaveComThread();
    }

    // Moves the files of \A:\S into \A:\T; answers whether the move may let
    // its sources go.
    bool MoveFiles(const std::vector<std::wstring>& names, HRESULT* result) {
        std::vector<IdListHolder> items(names.size());
        std::vector<LPCITEMIDLIST> lists;
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(S_OK, GetItemRecord((L"\\A:\\S\\" + names[i]).c_str(), fake_.Get(),
                                          items[i].out()));
            lists.push_back(items[i].get());
        }
        fake_->ClearCalls();
        CopyEngine engine(fake_.Get(), L"\\A:\\T", DROPEFFECT_MOVE, nullptr);
        *result = engine.TransferModuleItems(L"\\A:\\S", lists.data(), static_cast<UINT>(lists.size()));
        return engine.Complete();
    }

    // The listing of \A:\T the server gives after the copies.
    void ListTargetAs(std::vector<FakeModuleAccess::Entry> entries) {
        std::vector<const FakeModuleAccess::Entry*> rows;
        for (const FakeModuleAccess::Entry& entry : entries) rows.push_back(&entry);
        UniqueVariant listing;
        ASSERT_EQ(S_OK, FakeModuleAccess::BuildListing(rows, listing.out()));
        fake_->SetRawListing(L"\\A:\\T\\*", *listing.get());
    }

    size_t CallsLike(const std::wstring& prefix, const std::wstring& part) const {
        size_t n = 0;
        for (const std::wstring& call : fake_->Calls())
            if (call.compare(0, prefix.size(), prefix) == 0 && call.find(part) != std::wstring::npos) ++n;
        return n;
    }

    ComPtr<FakeModuleAccess> fake_;
    PromptRecorder prompts_;
};

FakeModuleAccess::Entry Row(const wchar_t* path, DWORD size) {
    FakeModuleAccess::Entry entry;
    entry.path = path;
    entry.shortName = path + std::wstring(path).rfind(L'\\') + 1;
    entry.size = size;
    entry.attributes = FILE_ATTRIBUTE_ARCHIVE;
    return entry;
}

}  // namespace

// Three files: each is looked up before its copy, and all three are checked
// by one listing afterwards. The one that came out short is removed, shown
// once, and keeps the move from letting its sources go.
TEST_F(CopyArrivalsTest, ShortCopyIsFoundByOneListingAndRemoved) {
    fake_->AddFile(L"\\A:\\S\\a.bin", 10);
    fake_->AddFile(L"\\A:\\S\\b.bin", 20);
    fake_->AddFile(L"\\A:\\S\\c.bin", 30);
    ListTargetAs({Row(L"\\A:\\T\\a.bin", 10), Row(L"\\A:\\T\\b.bin", 5), Row(L"\\A:\\T\\c.bin", 30)});
    HRESULT hr = S_OK;
    EXPECT_FALSE(MoveFiles({L"a.bin", L"b.bin", L"c.bin"}, &hr));
    EXPECT_EQ(E_FAIL, hr);
    EXPECT_EQ(3u, fake_->CountCalls(L"CopyItem"));
    EXPECT_EQ(1u, CallsLike(L"ListFolder(", L"\\A:\\T\\*"));
    EXPECT_EQ(1u, CallsLike(L"DeleteFile(", L"b.bin"));
    EXPECT_EQ(0u, CallsLike(L"DeleteFile(", L"a.bin") + CallsLike(L"DeleteFile(", L"c.bin"));
    ASSERT_EQ(1u, prompts_.Count());
    EXPECT_NE(std::wstring::npos, prompts_.Last().text.find(L"b.bin"));
}

// Every file whole: no message, and the move may let its sources go.
TEST_F(CopyArrivalsTest, WholeCopiesPass) {
    fake_->AddFile(L"\\A:\\S\\a.bin", 10);
    fake_->AddFile(L"\\A:\\S\\b.bin", 20);
    ListTargetAs({Row(L"\\A:\\T\\a.bin", 10), Row(L"\\A:\\T\\B.BIN", 20)});
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(MoveFiles({L"a.bin", L"b.bin"}, &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_EQ(0u, fake_->CountCalls(L"DeleteFile"));
}

// A listing that fails leaves each file to be looked up on its own; a file
// missing there is a failure too.
TEST_F(CopyArrivalsTest, FailedListingFallsBackToLookups) {
    fake_->AddFile(L"\\A:\\S\\a.bin", 10);
    fake_->AddFile(L"\\A:\\S\\b.bin", 20);
    fake_->FailOn(L"ListFolder", L"\\A:\\T\\*", E_FAIL);
    HRESULT hr = E_FAIL;
    EXPECT_TRUE(MoveFiles({L"a.bin", L"b.bin"}, &hr));
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(2u, CallsLike(L"ListFolder(", L"\\A:\\T\\a.bin"));
    EXPECT_EQ(2u, CallsLike(L"ListFolder(", L"\\A:\\T\\b.bin"));
}
