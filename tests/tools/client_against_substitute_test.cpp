// The library's listing client against the real substitute server: the two
// sides of the listing format and of the error descriptions meet here.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module_access/listing.h"
#include "module_access/module_errors.h"
#include "namespace/module_item_id.h"
#include "tests/tools/server_test_support.h"

namespace {

using ClientAgainstSubstitute = ServerTest;

TEST_F(ClientAgainstSubstitute, RecursiveListingIsDepthFirstOverTheWholeModule) {
    ItemArray items;
    ASSERT_EQ(S_OK, ListItemsEx(L"", L"*", &items, access_.Get(), false, true));
    std::vector<std::wstring> paths;
    for (UINT i = 0; i < items.count(); ++i) paths.push_back(ItemPath(items[i]));
    // 2 drives, 16 folders and files on A: below them 13 more, 7 on B:.
    ASSERT_EQ(2u + 12u + 10u + 7u, paths.size());
    EXPECT_EQ(L"\\A:", paths[0]);
    EXPECT_EQ(L"\\A:\\Audio", paths[1]);
    EXPECT_EQ(L"\\A:\\Audio\\Alarm Tone.amr", paths[2]);
    auto at = [&](const wchar_t* path) {
        for (size_t i = 0; i < paths.size(); ++i)
            if (paths[i] == path) return static_cast<int>(i);
        return -1;
    };
    EXPECT_EQ(at(L"\\A:\\Data\\Archive") + 1, at(L"\\A:\\Data\\Archive\\Deep"));
    EXPECT_EQ(at(L"\\A:\\Data\\Archive\\Deep") + 1, at(L"\\A:\\Data\\Archive\\Deep\\level3.bin"));
    EXPECT_LT(at(L"\\A:\\System\\config.sys"), at(L"\\B:"));
    EXPECT_TRUE(IsDriveItem(items[static_cast<UINT>(at(L"\\B:"))]));
    EXPECT_EQ(1048576u, ItemSize(items[static_cast<UINT>(at(L"\\B:"))]));
}

TEST_F(ClientAgainstSubstitute, SingleItemRecordsAndTotals) {
    LPITEMIDLIST item = nullptr;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Photo.jpg", access_.Get(), &item));
    ASSERT_NE(nullptr, item);
    EXPECT_STREQ(L"\\A:\\Data\\Photo.jpg", ItemPath(item));
    EXPECT_STREQ(L"PHOTO.JPG", ItemShortName(item));
    EXPECT_EQ(61440u, ItemSize(item));
    EXPECT_EQ(0x20u, ItemAttributes(item));
    ShellFree(item);
    item = nullptr;
    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:\\Data\\Nothing.txt", access_.Get(), &item));
    EXPECT_EQ(nullptr, item);

    ASSERT_EQ(S_OK, GetItemRecord(L"\\A:", access_.Get(), &item));
    ASSERT_NE(nullptr, item);
    ULONGLONG total = 0;
    LPCITEMIDLIST selection[] = {item};
    EXPECT_HRESULT_SUCCEEDED(TotalFileSize(L"", selection, 1, &total, false, access_.Get()));
    EXPECT_EQ(236072u, total);
    ShellFree(item);
}

TEST_F(ClientAgainstSubstitute, FailuresCarryTheServersDescription) {
    ItemArray items;
    HRESULT hr = ListItemsEx(L"\\A:\\Nowhere", L"*", &items, access_.Get(), false, false);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), hr);
    EXPECT_EQ(L"The folder \\A:\\Nowhere does not exist.", ErrorText(hr));
    EXPECT_EQ(0u, items.count());
}

}  // namespace
