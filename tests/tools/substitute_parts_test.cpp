// The substitute server's parts that need no server: module paths and a
// damaged metadata file. The rest is covered through the server, the
// large-tree builder by the benchmarks that serve its trees.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/holders.h"
#include "tools/module_server/module_path.h"
#include "tools/substitute_common/module_metadata.h"

namespace {

// Notifications reach a folder's sinks by these comparisons.
TEST(ModulePaths, CompareWholeNamesWithoutRegardToCase) {
    ModulePath a, b, c, top;
    ASSERT_TRUE(ParseModulePath(L"\\A:\\Data\\Archive\\", false, &a));
    ASSERT_TRUE(ParseModulePath(L"a:\\DATA", false, &b));
    ASSERT_TRUE(ParseModulePath(L"\\A:\\Dat", false, &c));
    EXPECT_TRUE(a.IsWithin(b));
    EXPECT_FALSE(b.IsWithin(a));
    EXPECT_FALSE(a.IsWithin(c));
    EXPECT_TRUE(b.SameAs(a.Parent()));
    EXPECT_TRUE(a.IsWithin(top));
    EXPECT_FALSE(ParseModulePath(L"", false, &a));  // the top level only where it is allowed
}

TEST(ModulePaths, RefuseMalformedPaths) {
    ModulePath path;
    for (const wchar_t* bad : {L"\\\\", L"A", L"AB:", L"1:", L"\\A:x", L"\\A:\\\\x", L"\\A:\\x|y", L"\\A:\\.",
                               L"\\A:\\..", L"\\A:\\x.", L"\\A:\\x ", L"\\A:\\a*", L"\\A:\\a?b", L"\\A:\\x:y",
                               L"\\\u00C4:\\x"}) {
        EXPECT_FALSE(ParseModulePath(bad, true, &path)) << bad;
    }
    EXPECT_FALSE(ParseModulePath(std::wstring(L"\\A:\\a\0b", 7), false, &path));
    EXPECT_FALSE(ParseModulePath(L"\\A:\\" + std::wstring(256, L'x'), false, &path));
}

TEST(Metadata, MalformedLinesAreSkipped) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring file = temp + std::wstring(L"ktx_meta_bad_") + std::to_wstring(GetCurrentProcessId());
    const char text[] = "\xEF\xBB\xBF# comment\r\ndrive\tAB\t1\tx\r\nitem\r\nitem\t\\A:\\ok.txt\tOK.TXT\t21\tnot a time\r\n"
                        "unknown\tline\r\n\r\ndrive\tc\t12\tLOWER\n";
    {
        UniqueHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(handle.valid());
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(handle.get(), text, sizeof(text) - 1, &written, nullptr));
    }
    substitute::ModuleMetadata meta;
    ASSERT_EQ(S_OK, meta.Load(file));
    const substitute::ItemMetadata* ok = meta.Find(L"\\A:\\ok.txt");
    ASSERT_NE(nullptr, ok);
    EXPECT_EQ(0x21u, ok->attributes);
    EXPECT_EQ(0, ok->created);
    ASSERT_NE(nullptr, meta.FindDrive(L'C'));
    EXPECT_EQ(12u, meta.FindDrive(L'C')->capacity);
    EXPECT_EQ(nullptr, meta.FindDrive(L'A'));
    DeleteFileW(file.c_str());
}

}  // namespace
