// Listing and reading through the substitute module-access server, across
// processes through the type-library marshaller, over a fresh sample module.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "common/result_codes.h"
#include "tests/tools/server_test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

using ModuleServer = ServerTest;

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
    // "Not there" is an array of no entries, not VT_EMPTY: callers tell it
    // from a malformed answer.
    UniqueBstr missing(L"\\A:\\Data\\Missing.txt");
    UniqueVariant result;
    ASSERT_EQ(S_OK, access_->ListFolder(missing.get(), VARIANT_FALSE, result.get()));
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, result.get()->vt);
    LONG upper = 0;
    ASSERT_HRESULT_SUCCEEDED(SafeArrayGetUBound(result.get()->parray, 1, &upper));
    EXPECT_EQ(-1, upper);
    ASSERT_HRESULT_SUCCEEDED(SafeArrayGetUBound(result.get()->parray, 2, &upper));
    EXPECT_EQ(6, upper);
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

TEST_F(ModuleServer, ShortNamesAreGeneratedUniquelyForItemsWithoutMetadata) {
    // Files dropped into the tree behind the server's back get FAT-style names.
    for (const wchar_t* name : {L"Long Name One.text", L"Long Name Two.text", L"short.txt", L"a+b.txt"}) {
        UniqueHandle file(CreateFileW((module_.PcPath(L"\\B:") + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, 0, nullptr));
        ASSERT_TRUE(file.valid()) << name;
    }
    std::vector<ListedRow> rows;
    ASSERT_HRESULT_SUCCEEDED(List(L"\\B:\\*", &rows));
    EXPECT_EQ(L"LONGNA~1.TEX", FindRow(rows, L"Long Name One.text")->shortName);
    EXPECT_EQ(L"LONGNA~2.TEX", FindRow(rows, L"Long Name Two.text")->shortName);
    EXPECT_EQ(L"SHORT.TXT", FindRow(rows, L"short.txt")->shortName);
    EXPECT_EQ(L"A_B~1.TXT", FindRow(rows, L"a+b.txt")->shortName);
    EXPECT_EQ(L"SEVERA~1.TXT", FindRow(rows, L"several.dots.in.name.txt")->shortName);
    // A pattern matches short names too, as on the device.
    EXPECT_EQ((std::vector<std::wstring>{L"Long Name Two.text"}), Names(L"\\B:\\LONGNA~2.*"));
}

TEST_F(ModuleServer, StreamsSeekStatAndCloneIndependently) {
    UniqueBstr path(L"\\A:\\Data\\Photo.jpg");
    ComPtr<IUnknown> unknown;
    ASSERT_HRESULT_SUCCEEDED(access_->OpenFile(path.get(), &unknown));
    ComPtr<IStream> stream;
    ASSERT_HRESULT_SUCCEEDED(unknown.As(&stream));
    STATSTG stat = {};
    ASSERT_HRESULT_SUCCEEDED(stream->Stat(&stat, STATFLAG_DEFAULT));
    EXPECT_EQ(61440u, stat.cbSize.QuadPart);
    EXPECT_STREQ(L"Photo.jpg", stat.pwcsName);
    CoTaskMemFree(stat.pwcsName);

    const std::string whole = PcFile(L"\\A:\\Data\\Photo.jpg");
    LARGE_INTEGER to;
    to.QuadPart = 1000;
    ULARGE_INTEGER at = {};
    ASSERT_HRESULT_SUCCEEDED(stream->Seek(to, STREAM_SEEK_SET, &at));
    EXPECT_EQ(1000u, at.QuadPart);
    ComPtr<IStream> clone;
    ASSERT_HRESULT_SUCCEEDED(stream->Clone(&clone));
    char a[16], b[16];
    ULONG got = 0;
    ASSERT_HRESULT_SUCCEEDED(stream->Read(a, 16, &got));
    ASSERT_EQ(16u, got);
    EXPECT_EQ(whole.substr(1000, 16), std::string(a, 16));
    ASSERT_HRESULT_SUCCEEDED(clone->Read(b, 16, &got));
    EXPECT_EQ(whole.substr(1000, 16), std::string(b, 16));

    to.QuadPart = -4;
    ASSERT_HRESULT_SUCCEEDED(stream->Seek(to, STREAM_SEEK_END, &at));
    EXPECT_EQ(S_FALSE, stream->Read(a, 16, &got));
    EXPECT_EQ(4u, got);
    EXPECT_EQ(S_FALSE, stream->Read(a, 16, &got));
    EXPECT_EQ(0u, got);
    to.QuadPart = -1;
    EXPECT_EQ(STG_E_INVALIDFUNCTION, stream->Seek(to, STREAM_SEEK_SET, nullptr));
    EXPECT_EQ(STG_E_ACCESSDENIED, stream->Write(a, 1, &got));
}

TEST_F(ModuleServer, OpeningAFolderOrADriveFails) {
    ComPtr<IUnknown> unknown;
    UniqueBstr folder(L"\\A:\\Data");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), access_->OpenFile(folder.get(), &unknown));
    UniqueBstr drive(L"\\A:");
    EXPECT_EQ(E_INVALIDARG, access_->OpenFile(drive.get(), &unknown));
    EXPECT_TRUE(FAILED(access_->OpenFile(folder.get(), nullptr)));
    UniqueBstr deep(L"\\A:\\Nope\\x.txt");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), access_->OpenFile(deep.get(), &unknown));
}

TEST_F(ModuleServer, DispatchReachesTheSameOperations) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(L"GetLabel");
    ASSERT_HRESULT_SUCCEEDED(access_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(11, id);
    VARIANT argument;
    VariantInit(&argument);
    argument.vt = VT_BSTR;
    argument.bstrVal = SysAllocString(L"A:");
    DISPPARAMS params = {&argument, nullptr, 1, 0};
    UniqueVariant result;
    ASSERT_HRESULT_SUCCEEDED(
        access_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), nullptr, nullptr));
    VariantClear(&argument);
    ASSERT_EQ(VT_BSTR, result.get()->vt);
    EXPECT_STREQ(L"PHONE", result.get()->bstrVal);
    UINT count = 0;
    EXPECT_HRESULT_SUCCEEDED(access_->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
}

TEST_F(ModuleServer, PlaceholdersAnswerNotImplemented) {
    EXPECT_EQ(E_NOTIMPL, access_->Reserved18());
    EXPECT_EQ(E_NOTIMPL, access_->Reserved26());
}

TEST_F(ModuleServer, MetadataChangedBehindTheServersBackIsPickedUp) {
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\B:\\NOEXT", &row));
    EXPECT_EQ(0x20u, row.attributes);
    // An editor rewrites the metadata: the next call sees it.
    std::wstring file = module_.root() + L"\\module_metadata.txt";
    UniqueHandle handle(CreateFileW(file.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle.valid());
    const char line[] = "item\t\\B:\\NOEXT\tNOEXT\t23\t\t\t\n";
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(handle.get(), line, sizeof(line) - 1, &written, nullptr));
    handle.reset();
    UniqueBstr marker(L"\\<INVALIDATE_CACHE_CHANGE");
    EXPECT_EQ(S_OK, access_->InvalidateCache(marker.get()));
    ASSERT_TRUE(Lookup(L"\\B:\\NOEXT", &row));
    EXPECT_EQ(0x23u, row.attributes);
}

}  // namespace
