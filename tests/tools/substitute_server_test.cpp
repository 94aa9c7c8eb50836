// Listing and reading through the substitute module-access server, across
// processes through the type-library marshaller, over a fresh sample module.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "tests/tools/server_test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

using ModuleServer = ServerTest;

TEST_F(ModuleServer, ListingsCarryDrivesItemsAndTheirMetadata) {
    std::vector<ListedRow> rows;
    ASSERT_HRESULT_SUCCEEDED(List(L"\\*", &rows));
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ(L"A:", rows[0].shortName);
    EXPECT_EQ(4194304u, rows[0].size);  // a drive's size is its capacity
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), rows[0].attributes);

    // Sizes, short names and times of files are checked through the library's client.
    EXPECT_EQ((std::vector<std::wstring>{L"Archive", L"Empty Folder", L"Notes.txt", L"Photo.jpg", L"README",
                                         L"Report 2006.final.doc", L"\u00DCbersicht Gr\u00F6\u00DFen.txt"}),
              Names(L"\\A:\\Data\\*"));

    // The bits the PC cannot hold come from the server's metadata.
    ListedRow system, hidden, readMe;
    ASSERT_TRUE(Lookup(L"\\A:\\System", &system) && Lookup(L"\\A:\\hidden.dat", &hidden) &&
                Lookup(L"\\A:\\Read Me First.txt", &readMe));
    EXPECT_EQ(0x16u, system.attributes);
    EXPECT_EQ(0x22u, hidden.attributes);
    EXPECT_EQ(0x21u, readMe.attributes);
    EXPECT_EQ(L"README~1.TXT", readMe.shortName);
}

TEST_F(ModuleServer, RequestsSelectWhatIsListed) {
    EXPECT_EQ((std::vector<std::wstring>{L"Notes.txt", L"\u00DCbersicht Gr\u00F6\u00DFen.txt"}),
              Names(L"\\A:\\Data\\*.txt"));
    EXPECT_EQ((std::vector<std::wstring>{L"README", L"Report 2006.final.doc"}), Names(L"\\A:\\Data\\r*"));
    EXPECT_EQ((std::vector<std::wstring>{L"Archive", L"Empty Folder"}), Names(L"\\A:\\Data\\*", true));

    EXPECT_TRUE(Names(L"\\A:\\Data\\Empty Folder\\*").empty());

    // A full path looks up one item, which may not exist.
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\A:\\Data\\notes.TXT", &row));
    EXPECT_EQ(L"Notes.txt", row.name);
    EXPECT_FALSE(Lookup(L"\\A:\\Data\\Missing.txt"));
    EXPECT_FALSE(Lookup(L"\\A:\\NoSuchFolder\\Missing.txt"));
}

TEST_F(ModuleServer, MissingItemsAndBadArgumentsFailAsADeviceWould) {
    ComPtr<IStream> stream;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), Open(L"\\A:\\Data\\Missing.txt", &stream));
    EXPECT_NE(std::wstring::npos, TakeErrorDescription().find(L"\\A:\\Data\\Missing.txt"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), Open(L"\\A:\\Data", &stream));
    EXPECT_EQ(E_INVALIDARG, Open(L"\\A:", &stream));
    std::vector<ListedRow> rows;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), List(L"\\A:\\Nope\\*", &rows));

    UniqueVariant result;
    EXPECT_EQ(E_INVALIDARG, access_->ListFolder(nullptr, VARIANT_FALSE, result.get()));
    EXPECT_EQ(E_INVALIDARG, List(L"A:Data", &rows));
    EXPECT_EQ(E_INVALIDARG, Call(&ModuleAccess::DeleteFolder, L"\\A:\\Da*\\x"));
}

TEST_F(ModuleServer, StreamsReadWhatIsOnThePcAndRefuseWrites) {
    ComPtr<IStream> stream;
    ASSERT_HRESULT_SUCCEEDED(Open(L"\\A:\\Data\\Photo.jpg", &stream));
    STATSTG stat = {};
    ASSERT_HRESULT_SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(61440u, stat.cbSize.QuadPart);
    const std::string whole = PcFile(L"\\A:\\Data\\Photo.jpg");
    std::string bytes(70000, '\0');
    ULONG got = 0;
    EXPECT_EQ(S_FALSE, stream->Read(&bytes[0], 70000, &got));  // short: the end was reached
    EXPECT_EQ(whole, bytes.substr(0, got));
    char a[1] = {};
    EXPECT_EQ(STG_E_ACCESSDENIED, stream->Write(a, 1, &got));
}

}  // namespace
