// The substitute server's parts that need no server: module paths, name
// patterns, the metadata file and the tree builder.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/holders.h"
#include "tools/module_server/module_path.h"
#include "tools/substitute_common/module_metadata.h"
#include "tools/substitute_common/tree_builder.h"

namespace {

TEST(ModulePaths, AcceptTheFormsClientsSend) {
    ModulePath path;
    ASSERT_TRUE(ParseModulePath(L"\\A:\\Data\\Photo.jpg", false, &path));
    EXPECT_EQ(L'A', path.drive);
    EXPECT_EQ((std::vector<std::wstring>{L"Data", L"Photo.jpg"}), path.names);
    EXPECT_EQ(L"\\A:\\Data\\Photo.jpg", path.Text());
    EXPECT_EQ(L"\\A:\\Data", path.Parent().Text());
    EXPECT_EQ(L"", path.Parent().Parent().Parent().Text());

    ASSERT_TRUE(ParseModulePath(L"b:", false, &path));
    EXPECT_TRUE(path.IsDrive());
    EXPECT_EQ(L"B:", path.Leaf());
    ASSERT_TRUE(ParseModulePath(L"\\B:\\", false, &path));
    EXPECT_TRUE(path.IsDrive());
    ASSERT_TRUE(ParseModulePath(L"\\A:\\Data\\", false, &path));
    EXPECT_EQ(L"\\A:\\Data", path.Text());
    ASSERT_TRUE(ParseModulePath(L"\\A:\\\u00DCbersicht Gr\u00F6\u00DFen.txt", false, &path));

    ASSERT_TRUE(ParseModulePath(L"", true, &path));
    EXPECT_TRUE(path.IsTop());
    ASSERT_TRUE(ParseModulePath(L"\\", true, &path));
    EXPECT_TRUE(path.IsTop());
    EXPECT_FALSE(ParseModulePath(L"", false, &path));
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

TEST(ModulePaths, CompareWithoutRegardToCase) {
    ModulePath a, b, c;
    ASSERT_TRUE(ParseModulePath(L"\\A:\\Data\\Archive", false, &a));
    ASSERT_TRUE(ParseModulePath(L"a:\\DATA", false, &b));
    ASSERT_TRUE(ParseModulePath(L"\\A:\\Dat", false, &c));
    EXPECT_TRUE(a.IsWithin(b));
    EXPECT_FALSE(b.IsWithin(a));
    EXPECT_FALSE(a.IsWithin(c));
    EXPECT_TRUE(b.SameAs(a.Parent()));
    ModulePath top, drive;
    ASSERT_TRUE(ParseModulePath(L"A:", false, &drive));
    EXPECT_TRUE(drive.IsWithin(top));
    EXPECT_FALSE(drive.SameAs(top));
}

TEST(NamePatterns, MatchAsTheDeviceDoes) {
    EXPECT_TRUE(MatchesPattern(L"*", L"anything"));
    EXPECT_TRUE(MatchesPattern(L"*.*", L"NOEXT"));
    EXPECT_TRUE(MatchesPattern(L"*.txt", L"Notes.TXT"));
    EXPECT_FALSE(MatchesPattern(L"*.txt", L"Notes.txt.bak"));
    EXPECT_TRUE(MatchesPattern(L"?otes.txt", L"Notes.txt"));
    EXPECT_FALSE(MatchesPattern(L"?otes.txt", L"otes.txt"));
    EXPECT_TRUE(MatchesPattern(L"a*b*c", L"a-b-b-c"));
    EXPECT_FALSE(MatchesPattern(L"a*b*c", L"a-b-b-d"));
    EXPECT_TRUE(MatchesPattern(L"\u00FC*", L"\u00DCbersicht"));
    EXPECT_TRUE(MatchesPattern(L"Photo.jpg", L"photo.JPG"));
}

std::wstring TempFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

TEST(Metadata, SavesAndLoadsEveryField) {
    std::wstring file = TempFolder(L"ktx_meta_") + L"\\" + substitute::kMetadataFileName;
    substitute::ModuleMetadata saved;
    saved.Drive(L'A').hasCapacity = true;
    saved.Drive(L'A').capacity = 4194304;
    saved.Drive(L'A').label = L"PHONE";
    saved.Drive(L'B').label = L"";
    substitute::ItemMetadata& item = saved.Ensure(L"\\A:\\Gr\u00F6\u00DFe\\K\u00E4tzchen.png");
    item.shortName = L"KTZCHE~1.PNG";
    item.hasAttributes = true;
    item.attributes = 0x27;
    item.created = substitute::ParseMetadataTime(L"2006-04-01 11:11:11");
    item.modified = substitute::ParseMetadataTime(L"2006-04-01 11:12:00");
    saved.Ensure(L"\\A:\\derived.txt");  // every field left to the server
    ASSERT_HRESULT_SUCCEEDED(saved.Save(file));

    substitute::ModuleMetadata loaded;
    ASSERT_EQ(S_OK, loaded.Load(file));
    const substitute::DriveMetadata* a = loaded.FindDrive(L'A');
    ASSERT_NE(nullptr, a);
    EXPECT_TRUE(a->hasCapacity);
    EXPECT_EQ(4194304u, a->capacity);
    EXPECT_EQ(L"PHONE", a->label);
    ASSERT_NE(nullptr, loaded.FindDrive(L'B'));
    EXPECT_FALSE(loaded.FindDrive(L'B')->hasCapacity);
    const substitute::ItemMetadata* back = loaded.Find(L"\\a:\\GR\u00D6\u00DFE\\k\u00C4TZCHEN.PNG");
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(L"\\A:\\Gr\u00F6\u00DFe\\K\u00E4tzchen.png", back->path);
    EXPECT_EQ(L"KTZCHE~1.PNG", back->shortName);
    EXPECT_EQ(0x27u, back->attributes);
    EXPECT_EQ(L"2006-04-01 11:11:11", substitute::FormatMetadataTime(back->created));
    EXPECT_EQ(0, back->accessed);
    EXPECT_EQ(L"2006-04-01 11:12:00", substitute::FormatMetadataTime(back->modified));
    const substitute::ItemMetadata* derived = loaded.Find(L"\\A:\\derived.txt");
    ASSERT_NE(nullptr, derived);
    EXPECT_FALSE(derived->hasAttributes);
    EXPECT_EQ(L"", derived->shortName);

    DeleteFileW(file.c_str());
    EXPECT_EQ(S_FALSE, loaded.Load(file));  // no file: nothing known yet
    EXPECT_EQ(nullptr, loaded.Find(L"\\A:\\derived.txt"));
    RemoveDirectoryW(file.substr(0, file.rfind(L'\\')).c_str());
}

TEST(Metadata, TreesMoveAndGoWholeButOnlyThemselves) {
    substitute::ModuleMetadata meta;
    for (const wchar_t* path : {L"\\A:\\Data", L"\\A:\\Data\\x.txt", L"\\A:\\Data\\Sub\\y.txt", L"\\A:\\DataOld"})
        meta.Ensure(path).shortName = L"S";
    meta.MoveTree(L"\\A:\\data", L"\\A:\\Files");
    EXPECT_EQ(nullptr, meta.Find(L"\\A:\\Data\\x.txt"));
    ASSERT_NE(nullptr, meta.Find(L"\\A:\\Files\\Sub\\y.txt"));
    EXPECT_EQ(L"\\A:\\Files\\Sub\\y.txt", meta.Find(L"\\A:\\Files\\Sub\\y.txt")->path);
    EXPECT_NE(nullptr, meta.Find(L"\\A:\\DataOld"));
    meta.RemoveTree(L"\\A:\\Files");
    EXPECT_EQ(nullptr, meta.Find(L"\\A:\\Files"));
    EXPECT_EQ(nullptr, meta.Find(L"\\A:\\Files\\x.txt"));
    EXPECT_NE(nullptr, meta.Find(L"\\A:\\DataOld"));
}

TEST(Metadata, MalformedLinesAreSkipped) {
    std::wstring file = TempFolder(L"ktx_meta_bad_") + L"\\" + substitute::kMetadataFileName;
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
    RemoveDirectoryW(file.substr(0, file.rfind(L'\\')).c_str());
}

TEST(TreeBuilder, MakesFilesWithKnownBytesAndRecordsTheDrive) {
    std::wstring root = TempFolder(L"ktx_tree_");
    ASSERT_HRESULT_SUCCEEDED(substitute::PrepareDrive(root, L'B', 123456, L"BULK"));
    ASSERT_HRESULT_SUCCEEDED(substitute::BuildFiles(root, L'B', L"Deep\\Bulk", 3, 1000, L"Data ", L".bin"));
    std::wstring file = root + L"\\B\\Deep\\Bulk\\Data 00002.bin";
    UniqueHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(handle.valid());
    BYTE bytes[1001] = {};
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(handle.get(), bytes, sizeof(bytes), &got, nullptr));
    ASSERT_EQ(1000u, got);
    for (DWORD i = 0; i < got; ++i) ASSERT_EQ(substitute::BuiltFileByte(2, i), bytes[i]) << i;
    handle.reset();

    substitute::ModuleMetadata meta;
    ASSERT_EQ(S_OK, meta.Load(root + L"\\" + substitute::kMetadataFileName));
    ASSERT_NE(nullptr, meta.FindDrive(L'B'));
    EXPECT_EQ(123456u, meta.FindDrive(L'B')->capacity);
    EXPECT_EQ(L"BULK", meta.FindDrive(L'B')->label);

    for (int n = 0; n < 3; ++n) {
        wchar_t name[64];
        swprintf(name, 64, L"\\B\\Deep\\Bulk\\Data %05d.bin", n);
        DeleteFileW((root + name).c_str());
    }
    RemoveDirectoryW((root + L"\\B\\Deep\\Bulk").c_str());
    RemoveDirectoryW((root + L"\\B\\Deep").c_str());
    RemoveDirectoryW((root + L"\\B").c_str());
    DeleteFileW((root + L"\\" + substitute::kMetadataFileName).c_str());
    RemoveDirectoryW(root.c_str());
}

}  // namespace
