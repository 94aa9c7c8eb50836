// The substitute server and paths longer than a module can hold: refused at
// once as too long, whatever the operation, and the server answers on.
#include <windows.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <functional>
#include <string>

#include "common/holders.h"
#include "module_access/listing.h"
#include "testing/substitute_server.h"

using Microsoft::WRL::ComPtr;

TEST(PathLimits, PathsLongerThanAModuleHoldsAreRefusedAtOnce) {
    SubstituteModule module;
    ASSERT_TRUE(module.ok());
    ComPtr<ModuleAccess> access;
    ASSERT_EQ(S_OK, module.Create(&access));

    std::wstring deepText = L"\\A:\\Data";
    for (int level = 0; level < 16000; ++level) deepText += L"\\d";
    const std::wstring longNameText = L"\\A:\\Data\\" + std::wstring(300, L'n');
    UniqueBstr deep(deepText.c_str()), deepList((deepText + L"\\*").c_str()),
        longName(longNameText.c_str()), notes(L"\\A:\\Data\\Notes.txt");
    const HRESULT tooLong = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    struct Case {
        const wchar_t* what;
        std::function<HRESULT()> call;
    };
    const Case cases[] = {
        {L"single-item lookup", [&] { UniqueVariant v; return access->ListFolder(deep.get(), VARIANT_FALSE, v.out()); }},
        {L"listing", [&] { UniqueVariant v; return access->ListFolder(deepList.get(), VARIANT_FALSE, v.out()); }},
        {L"lookup of a long name", [&] { UniqueVariant v; return access->ListFolder(longName.get(), VARIANT_FALSE, v.out()); }},
        {L"rename from", [&] { return access->RenameFolder(deep.get(), notes.get()); }},
        {L"rename to", [&] { return access->RenameFile(notes.get(), longName.get()); }},
        {L"new folder", [&] { return access->CreateFolder(deep.get()); }},
        {L"delete", [&] { return access->DeleteFolder(deep.get()); }},
        {L"attributes", [&] { return access->SetAttributes(deep.get(), FILE_ATTRIBUTE_READONLY); }},
    };
    for (const Case& c : cases) {
        const DWORD started = GetTickCount();
        EXPECT_EQ(tooLong, c.call()) << testing::PrintToString(std::wstring(c.what));
        EXPECT_LT(GetTickCount() - started, 2000u) << testing::PrintToString(std::wstring(c.what));
    }
    // A folder is not renamed when that would push what it holds beyond the limit.
    UniqueBstr folder(L"\\A:\\Data\\F"), inner((L"\\A:\\Data\\F\\" + std::wstring(200, L'i')).c_str()),
        longer((L"\\A:\\Data\\" + std::wstring(60, L'F')).c_str()), shorter(L"\\A:\\Data\\G");
    ASSERT_EQ(S_OK, access->CreateFolder(folder.get()));
    ASSERT_EQ(S_OK, access->CreateFolder(inner.get()));
    EXPECT_EQ(tooLong, access->RenameFolder(folder.get(), longer.get()));
    EXPECT_EQ(S_OK, access->RenameFolder(folder.get(), shorter.get()));

    // Within the limit an item is merely missing, and the server still answers.
    IdListHolder item;
    std::wstring atLimit = L"\\A:\\Data\\" + std::wstring(251, L'x');
    ASSERT_EQ(260u, atLimit.size());
    EXPECT_EQ(S_OK, GetItemRecord(atLimit.c_str(), access.Get(), item.out()));
    EXPECT_FALSE(item);
    EXPECT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Notes.txt", access.Get(), item.out()));
    EXPECT_TRUE(item);
    EXPECT_TRUE(GetFileAttributesW(module.PcPath(L"\\A:\\Data\\Notes.txt").c_str()) != INVALID_FILE_ATTRIBUTES);
}
