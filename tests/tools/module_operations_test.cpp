// Every changing operation of the substitute module-access server, with the
// failures a device gives, across processes over a fresh sample module.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <string>

#include "common/result_codes.h"
#include "tests/tools/server_test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

using Operations = ServerTest;

const HRESULT kDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
const HRESULT kExists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
const HRESULT kDiskFull = HRESULT_FROM_WIN32(ERROR_DISK_FULL);

TEST_F(Operations, WriteFileCreatesReplacesOrFailsLeavingWhatWasThere) {
    ASSERT_EQ(S_OK, Write(L"\\A:\\Data\\Long New Name.txt", "first", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\A:\\Data\\Long New Name.txt", &row));
    EXPECT_EQ(0x22u, row.attributes);
    EXPECT_EQ(L"LONGNE~1.TXT", row.shortName);

    // Replacing keeps the short name; FILE_ATTRIBUTE_NORMAL and the folder bit bring no bits.
    ASSERT_EQ(S_OK, Write(L"\\A:\\Data\\long new NAME.txt", "second, longer",
                          FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(Lookup(L"\\A:\\Data\\Long New Name.txt", &row));
    EXPECT_EQ(0u, row.attributes);
    EXPECT_EQ(L"LONGNE~1.TXT", row.shortName);
    EXPECT_EQ("second, longer", PcFile(L"\\A:\\Data\\Long New Name.txt"));

    // Failures leave what was there.
    EXPECT_EQ(kDenied, Write(L"\\A:\\Read Me First.txt", "x"));
    EXPECT_NE(std::wstring::npos, TakeErrorDescription().find(L"read-only"));
    EXPECT_EQ("Do not delete the System folder.\r\n", PcFile(L"\\A:\\Read Me First.txt"));

    module_.SetCapacity(L'B', 120 * 1024);  // the sample uses about 107 KiB of B:
    EXPECT_EQ(kDiskFull, Write(L"\\B:\\big.bin", std::string(64 * 1024, 'x')));
    EXPECT_FALSE(PcExists(L"\\B:\\big.bin"));
    EXPECT_EQ(S_OK, Write(L"\\B:\\small.bin", std::string(4 * 1024, 'x')));

    // A source that fails part-way (here one of the server's own streams)
    // passes its failure on and keeps the old file. Through this link the
    // server reads 80 KB at a time, so the 100 KB file takes two reads.
    module_.SetLinkSpeed(1638400);
    module_.FailNthCall(L"Read", 2, E_OPERATION_CANCELLED);
    ComPtr<IStream> source;
    ASSERT_HRESULT_SUCCEEDED(Open(L"\\A:\\Pictures\\Sunset.jpg", &source));
    UniqueBstr notes(L"\\A:\\Data\\Notes.txt");
    EXPECT_EQ(E_OPERATION_CANCELLED, access_->WriteFile(notes.get(), source.Get(), FILE_ATTRIBUTE_ARCHIVE));
    module_.SetLinkSpeed(0);
    EXPECT_EQ("Shopping list\r\n- batteries\r\n- charger cable\r\n- SIM adapter\r\n",
              PcFile(L"\\A:\\Data\\Notes.txt"));
    // No temporary file is left beside the drives either.
    EXPECT_EQ((std::vector<std::wstring>{L"A:", L"B:"}), Names(L"\\*"));
}

// Large files come in several reads; one that ends exactly on a read's
// boundary needs one more, empty, read to end.
TEST_F(Operations, WriteFileOfSeveralPiecesArrivesWhole) {
    module_.SetCapacity(L'B', 8u << 20);
    for (size_t size : {size_t(700001), size_t(512) * 1024}) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31) % 251);
        ASSERT_EQ(S_OK, Write(L"\\B:\\pieces.bin", bytes)) << size;
        EXPECT_TRUE(PcFile(L"\\B:\\pieces.bin") == bytes) << size;
        ListedRow row;
        ASSERT_TRUE(Lookup(L"\\B:\\pieces.bin", &row));
        EXPECT_EQ(static_cast<DWORD>(size), row.size);
    }
}

TEST_F(Operations, CopyItemCopiesFilesAndWholeFolders) {
    ASSERT_EQ(S_OK, Call(&ModuleAccess::CopyItem, L"\\A:\\Read Me First.txt", L"\\B:\\Copy.txt"));
    EXPECT_EQ(PcFile(L"\\A:\\Read Me First.txt"), PcFile(L"\\B:\\Copy.txt"));
    ListedRow copy;
    ASSERT_TRUE(Lookup(L"\\B:\\Copy.txt", &copy));
    EXPECT_EQ(0x21u, copy.attributes);

    ASSERT_EQ(S_OK, Call(&ModuleAccess::CopyItem, L"\\A:\\Data\\Archive", L"\\A:\\Archive Copy"));
    EXPECT_EQ((std::vector<std::wstring>{L"Deep", L"old notes.txt"}), Names(L"\\A:\\Archive Copy\\*"));
    EXPECT_EQ(PcFile(L"\\A:\\Data\\Archive\\Deep\\level3.bin"), PcFile(L"\\A:\\Archive Copy\\Deep\\level3.bin"));

    module_.SetCapacity(L'B', 110 * 1024);
    EXPECT_EQ(kDiskFull, Call(&ModuleAccess::CopyItem, L"\\A:\\Pictures", L"\\B:\\Pictures"));
    EXPECT_FALSE(PcExists(L"\\B:\\Pictures"));
}

TEST_F(Operations, FoldersAreCreatedAndOnlyEmptyOnesDeleted) {
    ASSERT_EQ(S_OK, Call(&ModuleAccess::CreateFolder, L"\\B:\\New folder"));
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\B:\\New folder", &row));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), row.attributes);
    EXPECT_EQ(L"NEWFOL~1", row.shortName);
    EXPECT_EQ(kExists, Call(&ModuleAccess::CreateFolder, L"\\B:\\New folder"));

    ASSERT_EQ(S_OK, Call(&ModuleAccess::CreateStandardFolders, L"B:"));
    EXPECT_EQ((std::vector<std::wstring>{L"Audio", L"Documents", L"Java", L"New folder", L"Pictures", L"Video"}),
              Names(L"\\B:\\*", true));
}

TEST_F(Operations, AttributesRoundTripAndReadOnlyKeepsAFile) {
    UniqueBstr file(L"\\A:\\Read Me First.txt");
    ASSERT_EQ(S_OK, access_->SetAttributes(file.get(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                          FILE_ATTRIBUTE_READONLY | 0x1000 /* ignored */));
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\A:\\Read Me First.txt", &row));
    EXPECT_EQ(0x07u, row.attributes);

    EXPECT_EQ(kDenied, Call(&ModuleAccess::DeleteFileW, L"\\A:\\Read Me First.txt"));
    EXPECT_TRUE(PcExists(L"\\A:\\Read Me First.txt"));
    ASSERT_EQ(S_OK, access_->SetAttributes(file.get(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_EQ(S_OK, Call(&ModuleAccess::DeleteFileW, L"\\A:\\Read Me First.txt"));
    EXPECT_FALSE(Lookup(L"\\A:\\Read Me First.txt"));

    const auto deleteFolder = &ModuleAccess::DeleteFolder;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY), Call(deleteFolder, L"\\A:\\Data\\Archive"));
    EXPECT_NE(std::wstring::npos, TakeErrorDescription().find(L"not empty"));
    ASSERT_EQ(S_OK, Call(deleteFolder, L"\\A:\\Data\\Empty Folder"));
    EXPECT_FALSE(PcExists(L"\\A:\\Data\\Empty Folder"));
}

TEST_F(Operations, RenameKeepsMetadataAndRefusesWhatADeviceRefuses) {
    ASSERT_EQ(S_OK, Call(&ModuleAccess::RenameFile, L"\\A:\\hidden.dat", L"\\A:\\still hidden.dat"));
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\A:\\still hidden.dat", &row));
    EXPECT_EQ(0x22u, row.attributes);
    EXPECT_EQ(L"STILLH~1.DAT", row.shortName);
    EXPECT_FALSE(Lookup(L"\\A:\\hidden.dat"));
    ASSERT_EQ(S_OK, Call(&ModuleAccess::RenameFolder, L"\\A:\\System", L"\\A:\\settings"));
    ASSERT_TRUE(Lookup(L"\\A:\\SETTINGS\\config.sys", &row));
    EXPECT_EQ(0x27u, row.attributes);  // the metadata moved with the folder

    const auto renameFile = &ModuleAccess::RenameFile;
    const auto renameFolder = &ModuleAccess::RenameFolder;
    EXPECT_EQ(kExists, Call(renameFile, L"\\A:\\Data\\Notes.txt", L"\\A:\\Data\\README"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_SAME_DEVICE), Call(renameFile, L"\\A:\\Data\\Notes.txt", L"\\B:\\N.txt"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER),
              Call(renameFolder, L"\\A:\\Data", L"\\A:\\Data\\Archive\\Data"));
    EXPECT_EQ(E_INVALIDARG, Call(renameFile, L"\\A:\\Data\\Notes.txt", L"\\A:\\Data\\a:b.txt"));
}

TEST_F(Operations, LabelsDiskSpaceAndFormat) {
    UniqueBstr a(L"A:"), label;
    ASSERT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
    EXPECT_STREQ(L"PHONE", label.c_str());
    ASSERT_EQ(S_OK, Call(&ModuleAccess::SetLabel, L"A:", L"MY MODULE"));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_LABEL_TOO_LONG), Call(&ModuleAccess::SetLabel, L"A:", L"TWELVE CHARS"));

    LONG capacity = 0, free = 0;
    ASSERT_EQ(S_OK, access_->GetDiskSpace(a.get(), &capacity, &free));
    EXPECT_EQ(4194304, capacity);
    EXPECT_EQ(236072, capacity - free);  // the sample's bytes on A:

    // Format empties the drive and keeps its label.
    ASSERT_EQ(S_OK, Call(&ModuleAccess::Format, L"A:"));
    EXPECT_TRUE(Names(L"\\A:\\*").empty());
    ASSERT_EQ(S_OK, access_->GetDiskSpace(a.get(), &capacity, &free));
    EXPECT_EQ(capacity, free);
    ASSERT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
    EXPECT_STREQ(L"MY MODULE", label.c_str());
}

// Makes every folder below `pc` look a day old, as a tree at rest would.
void AgeFolders(const std::wstring& pc) {
    FILETIME now, old;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG ticks = ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) - 864000000000ull;
    old.dwLowDateTime = static_cast<DWORD>(ticks);
    old.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((pc + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && wcscmp(data.cFileName, L".") &&
                wcscmp(data.cFileName, L".."))
                AgeFolders(pc + L"\\" + data.cFileName);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    UniqueHandle folder(CreateFileW(pc.c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    SetFileTime(folder.get(), nullptr, nullptr, &old);
}

void PutFile(const std::wstring& path, size_t size, DWORD disposition) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, 0, nullptr));
    ASSERT_TRUE(file.valid());
    SetFilePointer(file.get(), 0, nullptr, FILE_END);
    std::string bytes(size, 'y');
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(size), &written, nullptr));
}

// The server keeps its count of a drive's bytes while the drive's folders
// are at rest; whatever changes the tree, through the server or behind its
// back, must show.
TEST_F(Operations, FreeSpaceFollowsEveryChangeOfTheTree) {
    UniqueBstr b(L"B:");
    LONG capacity = 0, before = 0, free = 0;
    auto freeNow = [&]() {
        EXPECT_EQ(S_OK, access_->GetDiskSpace(b.get(), &capacity, &free));
        return free;
    };
    const std::wstring drive = module_.PcPath(L"\\B:"), outside = module_.PcPath(L"\\B:\\Outside");
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    AgeFolders(drive);
    before = freeNow();
    EXPECT_EQ(before, freeNow());

    ASSERT_EQ(S_OK, Write(L"\\B:\\Outside\\own.bin", std::string(1000, 'x')));
    EXPECT_EQ(before - 1000, freeNow());
    ASSERT_EQ(S_OK, Call(&ModuleAccess::CopyItem, L"\\B:\\Outside\\own.bin", L"\\B:\\copy.bin"));
    EXPECT_EQ(before - 2000, freeNow());
    ASSERT_EQ(S_OK, Call(&ModuleAccess::DeleteFile, L"\\B:\\copy.bin"));
    EXPECT_EQ(before - 1000, freeNow());

    // Behind its back: a file added, then removed, in a folder below the drive.
    AgeFolders(drive);
    EXPECT_EQ(before - 1000, freeNow());
    PutFile(outside + L"\\outside.bin", 3000, CREATE_NEW);
    EXPECT_EQ(before - 4000, freeNow());
    AgeFolders(drive);
    EXPECT_EQ(before - 4000, freeNow());
    ASSERT_TRUE(DeleteFileW((outside + L"\\outside.bin").c_str()));
    EXPECT_EQ(before - 1000, freeNow());

    // A file grown in place leaves its folder as it was: InvalidateCache tells.
    AgeFolders(drive);
    EXPECT_EQ(before - 1000, freeNow());
    PutFile(outside + L"\\own.bin", 500, OPEN_EXISTING);
    UniqueBstr none(L"");
    ASSERT_EQ(S_OK, access_->InvalidateCache(none.get()));
    EXPECT_EQ(before - 1500, freeNow());
}

}  // namespace

namespace {

double SecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

}  // namespace

// The simulated link never carries bytes faster than its rate, in either
// direction, however the pieces come.
TEST_F(Operations, LinkNeverCarriesBytesFasterThanItsRate) {
    const DWORD rate = 81920;
    const std::string bytes(45000, 'x');
    const double least = static_cast<double>(bytes.size()) / rate;
    module_.SetLinkSpeed(rate);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    EXPECT_EQ(S_OK, Write(L"\\A:\\Data\\paced.bin", bytes));
    EXPECT_GE(SecondsSince(start), least);

    ComPtr<IStream> stream;
    ASSERT_HRESULT_SUCCEEDED(Open(L"\\A:\\Data\\paced.bin", &stream));
    QueryPerformanceCounter(&start);
    char piece[3000];
    ULONG got = 0, total = 0;
    while (SUCCEEDED(stream->Read(piece, sizeof(piece), &got)) && got > 0) total += got;
    EXPECT_EQ(bytes.size(), total);
    EXPECT_GE(SecondsSince(start), least);
    module_.SetLinkSpeed(0);
}
