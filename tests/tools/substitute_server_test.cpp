// The substitute module-access server, driven across processes through the
// type-library marshaller, over a fresh copy of the sample module per test.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "common/result_codes.h"
#include "tests/support/substitute_server.h"
#include "tests/tools/listing_reader.h"

using Microsoft::WRL::ComPtr;

namespace {

class ModuleServer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        comReady_ = true;
        ASSERT_HRESULT_SUCCEEDED(module_.Create(&access_));
    }
    void TearDown() override {
        access_.Reset();
        if (comReady_) CoUninitialize();
    }

    HRESULT List(const wchar_t* request, std::vector<ListedRow>* rows, bool foldersOnly = false) {
        UniqueBstr text(request);
        UniqueVariant result;
        HRESULT hr = access_->ListFolder(text.get(), foldersOnly ? VARIANT_TRUE : VARIANT_FALSE, result.get());
        std::wstring layout;
        *rows = ReadListing(*result.get(), &layout);
        EXPECT_EQ(L"", layout) << request;
        return hr;
    }

    std::vector<std::wstring> Names(const wchar_t* request) {
        std::vector<ListedRow> rows;
        EXPECT_HRESULT_SUCCEEDED(List(request, &rows));
        std::vector<std::wstring> names;
        for (const ListedRow& row : rows) names.push_back(row.name);
        return names;
    }

    SubstituteModule module_;
    bool comReady_ = false;
    ComPtr<ModuleAccess> access_;
};

TEST_F(ModuleServer, TopLevelListsDrivesWithTheirCapacity) {
    std::vector<ListedRow> rows;
    ASSERT_HRESULT_SUCCEEDED(List(L"\\*", &rows));
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(L"A:", rows[0].name);
    EXPECT_EQ(L"A:", rows[0].shortName);
    EXPECT_EQ(4194304u, rows[0].size);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), rows[0].attributes);
    EXPECT_EQ(L"B:", rows[1].name);
    EXPECT_EQ(1048576u, rows[1].size);
}

TEST_F(ModuleServer, FolderListingCarriesMetadataAndPcFacts) {
    std::vector<ListedRow> rows;
    ASSERT_HRESULT_SUCCEEDED(List(L"\\A:\\Data\\*", &rows));
    EXPECT_EQ((std::vector<std::wstring>{L"Archive", L"Empty Folder", L"Notes.txt", L"Photo.jpg", L"README",
                                         L"Report 2006.final.doc", L"\u00DCbersicht Gr\u00F6\u00DFen.txt"}),
              Names(L"\\A:\\Data\\*"));
    const ListedRow* photo = FindRow(rows, L"Photo.jpg");
    ASSERT_NE(nullptr, photo);
    EXPECT_EQ(61440u, photo->size);
    EXPECT_EQ(L"PHOTO.JPG", photo->shortName);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE), photo->attributes);
    SYSTEMTIME st = {};
    ASSERT_TRUE(VariantTimeToSystemTime(photo->modified, &st));
    EXPECT_EQ(2006, st.wYear);
    EXPECT_EQ(7, st.wMonth);
    EXPECT_EQ(14, st.wDay);
    EXPECT_EQ(13, st.wHour);
    EXPECT_EQ(37, st.wMinute);

    const ListedRow* archive = FindRow(rows, L"Archive");
    ASSERT_NE(nullptr, archive);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), archive->attributes);
    EXPECT_EQ(0u, archive->size);
}

TEST_F(ModuleServer, PatternsAndFoldersOnlyFilterTheListing) {
    EXPECT_EQ((std::vector<std::wstring>{L"Notes.txt", L"\u00DCbersicht Gr\u00F6\u00DFen.txt"}),
              Names(L"\\A:\\Data\\*.txt"));
    EXPECT_EQ((std::vector<std::wstring>{L"README", L"Report 2006.final.doc"}), Names(L"\\A:\\Data\\r*"));
    std::vector<ListedRow> rows;
    ASSERT_HRESULT_SUCCEEDED(List(L"\\A:\\Data\\*", &rows, true));
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(L"Archive", rows[0].name);
    EXPECT_EQ(L"Empty Folder", rows[1].name);
}

TEST_F(ModuleServer, EmptyFolderAndNoMatchAnswerEmpty) {
    UniqueBstr request(L"\\A:\\Data\\Empty Folder\\*");
    UniqueVariant result;
    ASSERT_EQ(S_OK, access_->ListFolder(request.get(), VARIANT_FALSE, result.get()));
    EXPECT_EQ(VT_EMPTY, result.get()->vt);
    UniqueBstr none(L"\\A:\\Data\\*.nothing");
    ASSERT_EQ(S_OK, access_->ListFolder(none.get(), VARIANT_FALSE, result.out()));
    EXPECT_EQ(VT_EMPTY, result.get()->vt);
}

TEST_F(ModuleServer, SingleItemLookupAnswersOneRowOrNothing) {
    std::vector<ListedRow> rows;
    ASSERT_HRESULT_SUCCEEDED(List(L"\\A:\\Data\\notes.TXT", &rows));
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(L"Notes.txt", rows[0].name);
    ASSERT_HRESULT_SUCCEEDED(List(L"\\A:", &rows));
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(L"A:", rows[0].name);
    ASSERT_EQ(S_OK, List(L"\\A:\\Data\\Missing.txt", &rows));
    EXPECT_TRUE(rows.empty());
    ASSERT_EQ(S_OK, List(L"\\A:\\NoSuchFolder\\Missing.txt", &rows));
    EXPECT_TRUE(rows.empty());
}

TEST_F(ModuleServer, HiddenSystemAndReadOnlyAttributesRoundTrip) {
    std::vector<ListedRow> rows;
    ASSERT_HRESULT_SUCCEEDED(List(L"\\A:\\*", &rows));
    const ListedRow* system = FindRow(rows, L"System");
    ASSERT_NE(nullptr, system);
    EXPECT_EQ(0x16u, system->attributes);
    const ListedRow* hidden = FindRow(rows, L"hidden.dat");
    ASSERT_NE(nullptr, hidden);
    EXPECT_EQ(0x22u, hidden->attributes);
    const ListedRow* readOnly = FindRow(rows, L"Read Me First.txt");
    ASSERT_NE(nullptr, readOnly);
    EXPECT_EQ(0x21u, readOnly->attributes);
    EXPECT_EQ(L"README~1.TXT", readOnly->shortName);
}

TEST_F(ModuleServer, OpenFileStreamsTheFileBytes) {
    ComPtr<IUnknown> unknown;
    UniqueBstr path(L"\\A:\\Data\\Notes.txt");
    ASSERT_HRESULT_SUCCEEDED(access_->OpenFile(path.get(), &unknown));
    ComPtr<IStream> stream;
    ASSERT_HRESULT_SUCCEEDED(unknown.As(&stream));
    char buffer[256] = {};
    ULONG got = 0;
    ASSERT_HRESULT_SUCCEEDED(stream->Read(buffer, sizeof(buffer), &got));
    std::string text(buffer, got);
    EXPECT_EQ("Shopping list\r\n- batteries\r\n- charger cable\r\n- SIM adapter\r\n", text);
}

TEST_F(ModuleServer, MissingItemsFailAsADeviceWould) {
    ComPtr<IUnknown> unknown;
    UniqueBstr missing(L"\\A:\\Data\\Missing.txt");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), access_->OpenFile(missing.get(), &unknown));
    EXPECT_NE(std::wstring::npos, TakeErrorDescription().find(L"\\A:\\Data\\Missing.txt"));
    UniqueBstr folder(L"\\A:\\Nope\\*");
    UniqueVariant result;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), access_->ListFolder(folder.get(), VARIANT_FALSE, result.get()));
}

TEST_F(ModuleServer, BadArgumentsAreRefused) {
    UniqueVariant result;
    EXPECT_EQ(E_INVALIDARG, access_->ListFolder(nullptr, VARIANT_FALSE, result.get()));
    UniqueBstr bad(L"A:Data");
    EXPECT_EQ(E_INVALIDARG, access_->ListFolder(bad.get(), VARIANT_FALSE, result.get()));
    UniqueBstr empty(L"");
    EXPECT_EQ(E_INVALIDARG, access_->DeleteFileW(empty.get()));
    UniqueBstr doubled(L"\\A:\\\\Data");
    EXPECT_EQ(E_INVALIDARG, access_->CreateFolder(doubled.get()));
    UniqueBstr wild(L"\\A:\\Da*\\x");
    EXPECT_EQ(E_INVALIDARG, access_->DeleteFolder(wild.get()));
}

}  // namespace
