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

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const HRESULT kPathNotFound = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
const HRESULT kDenied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
const HRESULT kExists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
const HRESULT kDiskFull = HRESULT_FROM_WIN32(ERROR_DISK_FULL);

double Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    double now = 0;
    SystemTimeToVariantTime(&st, &now);
    return now;
}

TEST_F(Operations, WriteFileCreatesReplacesAndAppliesAttributes) {
    ASSERT_EQ(S_OK, Write(L"\\A:\\Data\\Long New Name.txt", "first", FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ("first", PcFile(L"\\A:\\Data\\Long New Name.txt"));
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\A:\\Data\\Long New Name.txt", &row));
    EXPECT_EQ(5u, row.size);
    EXPECT_EQ(0x22u, row.attributes);
    EXPECT_EQ(L"LONGNE~1.TXT", row.shortName);
    EXPECT_NEAR(Now(), row.modified, 2.0 / 86400);

    // Replacing keeps the short name; FILE_ATTRIBUTE_NORMAL and the folder bit bring no bits.
    ASSERT_EQ(S_OK, Write(L"\\A:\\Data\\long new NAME.txt", "second, longer",
                          FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(Lookup(L"\\A:\\Data\\Long New Name.txt", &row));
    EXPECT_EQ(14u, row.size);
    EXPECT_EQ(0u, row.attributes);
    EXPECT_EQ(L"LONGNE~1.TXT", row.shortName);
    EXPECT_EQ("second, longer", PcFile(L"\\A:\\Data\\Long New Name.txt"));

    ASSERT_EQ(S_OK, Write(L"\\B:\\empty.bin", ""));
    ASSERT_TRUE(Lookup(L"\\B:\\empty.bin", &row));
    EXPECT_EQ(0u, row.size);
}

TEST_F(Operations, WriteFileRefusesWhatADeviceRefuses) {
    EXPECT_EQ(kDenied, Write(L"\\A:\\Read Me First.txt", "x"));
    EXPECT_NE(std::wstring::npos, TakeErrorDescription().find(L"read-only"));
    EXPECT_EQ("Do not delete the System folder.\r\n", PcFile(L"\\A:\\Read Me First.txt"));
    EXPECT_EQ(kDenied, Write(L"\\A:\\Data", "x"));
    EXPECT_EQ(kPathNotFound, Write(L"\\A:\\Nope\\x.txt", "x"));
    UniqueBstr target(L"\\A:\\x.txt");
    EXPECT_EQ(E_POINTER, access_->WriteFile(target.get(), nullptr, 0));
    EXPECT_EQ(E_INVALIDARG, Write(L"\\A:", "x"));
}

TEST_F(Operations, WriteFileThatDoesNotFitFailsAndLeavesNothing) {
    module_.SetCapacity(L'B', 120 * 1024);  // the sample uses about 107 KiB of B:
    EXPECT_EQ(kDiskFull, Write(L"\\B:\\big.bin", std::string(64 * 1024, 'x')));
    EXPECT_FALSE(Lookup(L"\\B:\\big.bin"));
    EXPECT_FALSE(PcExists(L"\\B:\\big.bin"));
    EXPECT_EQ(S_OK, Write(L"\\B:\\small.bin", std::string(4 * 1024, 'x')));
}

TEST_F(Operations, WriteFilePassesTheSourcesFailureOnAndKeepsTheOldFile) {
    ComPtr<IStream> source;
    ASSERT_HRESULT_SUCCEEDED(MakeSourceStream(std::string(200000, 'y'), &source, 100000, E_OPERATION_CANCELLED));
    UniqueBstr target(L"\\A:\\Data\\Notes.txt");
    EXPECT_EQ(E_OPERATION_CANCELLED, access_->WriteFile(target.get(), source.Get(), FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ("Shopping list\r\n- batteries\r\n- charger cable\r\n- SIM adapter\r\n", PcFile(L"\\A:\\Data\\Notes.txt"));
    // No temporary file is left beside the drives either.
    EXPECT_EQ((std::vector<std::wstring>{L"A:", L"B:"}), Names(L"\\*"));
}

TEST_F(Operations, CopyItemCopiesFilesAndWholeFolders) {
    UniqueBstr from(L"\\A:\\Read Me First.txt"), to(L"\\B:\\Copy.txt");
    ASSERT_EQ(S_OK, access_->CopyItem(from.get(), to.get()));
    EXPECT_EQ(PcFile(L"\\A:\\Read Me First.txt"), PcFile(L"\\B:\\Copy.txt"));
    ListedRow source, copy;
    ASSERT_TRUE(Lookup(L"\\A:\\Read Me First.txt", &source));
    ASSERT_TRUE(Lookup(L"\\B:\\Copy.txt", &copy));
    EXPECT_EQ(source.attributes, copy.attributes);
    EXPECT_EQ(source.modified, copy.modified);
    EXPECT_EQ(L"COPY.TXT", copy.shortName);

    UniqueBstr folder(L"\\A:\\Data\\Archive"), folderCopy(L"\\A:\\Archive Copy");
    ASSERT_EQ(S_OK, access_->CopyItem(folder.get(), folderCopy.get()));
    EXPECT_EQ((std::vector<std::wstring>{L"Deep", L"old notes.txt"}), Names(L"\\A:\\Archive Copy\\*"));
    EXPECT_EQ(PcFile(L"\\A:\\Data\\Archive\\Deep\\level3.bin"), PcFile(L"\\A:\\Archive Copy\\Deep\\level3.bin"));
    ListedRow old;
    ASSERT_TRUE(Lookup(L"\\A:\\Archive Copy\\old notes.txt", &old));
    EXPECT_EQ(L"OLDNOT~1.TXT", old.shortName);
}

TEST_F(Operations, CopyItemFailures) {
    UniqueBstr missing(L"\\A:\\Nothing.txt"), target(L"\\A:\\Target.txt");
    EXPECT_EQ(kNotFound, access_->CopyItem(missing.get(), target.get()));
    UniqueBstr notes(L"\\A:\\Data\\Notes.txt"), sameNotes(L"\\A:\\Data\\NOTES.TXT");
    EXPECT_EQ(kExists, access_->CopyItem(notes.get(), sameNotes.get()));
    UniqueBstr data(L"\\A:\\Data"), inside(L"\\A:\\Data\\Archive\\Data");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), access_->CopyItem(data.get(), inside.get()));
    UniqueBstr audio(L"\\A:\\Audio");
    EXPECT_EQ(kExists, access_->CopyItem(data.get(), audio.get()));
    UniqueBstr readOnly(L"\\A:\\Read Me First.txt");
    EXPECT_EQ(kDenied, access_->CopyItem(notes.get(), readOnly.get()));
    UniqueBstr noParent(L"\\B:\\Nope\\Notes.txt");
    EXPECT_EQ(kPathNotFound, access_->CopyItem(notes.get(), noParent.get()));
    module_.SetCapacity(L'B', 110 * 1024);
    UniqueBstr pictures(L"\\A:\\Pictures"), onB(L"\\B:\\Pictures");
    EXPECT_EQ(kDiskFull, access_->CopyItem(pictures.get(), onB.get()));
    EXPECT_FALSE(PcExists(L"\\B:\\Pictures"));
}

TEST_F(Operations, CreateFolderAndStandardFolders) {
    UniqueBstr path(L"\\B:\\New folder");
    ASSERT_EQ(S_OK, access_->CreateFolder(path.get()));
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\B:\\New folder", &row));
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), row.attributes);
    EXPECT_EQ(L"NEWFOL~1", row.shortName);
    EXPECT_EQ(kExists, access_->CreateFolder(path.get()));
    UniqueBstr clash(L"\\B:\\NOEXT");
    EXPECT_EQ(kExists, access_->CreateFolder(clash.get()));
    UniqueBstr deep(L"\\B:\\a\\b");
    EXPECT_EQ(kPathNotFound, access_->CreateFolder(deep.get()));
    UniqueBstr drive(L"\\B:");
    EXPECT_EQ(E_INVALIDARG, access_->CreateFolder(drive.get()));

    UniqueBstr b(L"B:");
    ASSERT_EQ(S_OK, access_->CreateStandardFolders(b.get()));
    std::vector<ListedRow> folders;
    ASSERT_EQ(S_OK, List(L"\\B:\\*", &folders, true));
    std::vector<std::wstring> names;
    for (const ListedRow& folder : folders) names.push_back(folder.name);
    EXPECT_EQ((std::vector<std::wstring>{L"Audio", L"Documents", L"Java", L"New folder", L"Pictures", L"Video"}),
              names);
    EXPECT_EQ(S_OK, access_->CreateStandardFolders(b.get()));  // already there
    ASSERT_EQ(S_OK, Write(L"\\A:\\Java", "in the way"));
    UniqueBstr a(L"A:");
    EXPECT_EQ(kExists, access_->CreateStandardFolders(a.get()));
    UniqueBstr z(L"Z:");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DRIVE), access_->CreateStandardFolders(z.get()));
}

TEST_F(Operations, DeleteFileHonoursReadOnlyUntilAttributesAreCleared) {
    UniqueBstr readOnly(L"\\A:\\Read Me First.txt");
    EXPECT_EQ(kDenied, access_->DeleteFileW(readOnly.get()));
    EXPECT_TRUE(PcExists(L"\\A:\\Read Me First.txt"));
    ASSERT_EQ(S_OK, access_->SetAttributes(readOnly.get(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_EQ(S_OK, access_->DeleteFileW(readOnly.get()));
    EXPECT_FALSE(Lookup(L"\\A:\\Read Me First.txt"));
    EXPECT_EQ(kNotFound, access_->DeleteFileW(readOnly.get()));
    UniqueBstr folder(L"\\A:\\Data");
    EXPECT_EQ(kDenied, access_->DeleteFileW(folder.get()));
    UniqueBstr deep(L"\\A:\\Nope\\x");
    EXPECT_EQ(kPathNotFound, access_->DeleteFileW(deep.get()));
}

TEST_F(Operations, DeleteFolderRemovesOnlyEmptyFolders) {
    UniqueBstr full(L"\\A:\\Data\\Archive");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY), access_->DeleteFolder(full.get()));
    EXPECT_NE(std::wstring::npos, TakeErrorDescription().find(L"not empty"));
    UniqueBstr empty(L"\\A:\\Data\\Empty Folder");
    ASSERT_EQ(S_OK, access_->DeleteFolder(empty.get()));
    EXPECT_FALSE(PcExists(L"\\A:\\Data\\Empty Folder"));
    EXPECT_EQ(kNotFound, access_->DeleteFolder(empty.get()));
    UniqueBstr file(L"\\A:\\Data\\Notes.txt");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DIRECTORY), access_->DeleteFolder(file.get()));
    UniqueBstr drive(L"\\A:");
    EXPECT_EQ(E_INVALIDARG, access_->DeleteFolder(drive.get()));
}

TEST_F(Operations, RenameKeepsAttributesAndMovesFolderContents) {
    UniqueBstr oldFile(L"\\A:\\hidden.dat"), newFile(L"\\A:\\still hidden.dat");
    ASSERT_EQ(S_OK, access_->RenameFile(oldFile.get(), newFile.get()));
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\A:\\still hidden.dat", &row));
    EXPECT_EQ(0x22u, row.attributes);
    EXPECT_EQ(L"STILLH~1.DAT", row.shortName);
    EXPECT_FALSE(Lookup(L"\\A:\\hidden.dat"));

    UniqueBstr oldFolder(L"\\A:\\System"), newFolder(L"\\A:\\Settings");
    ASSERT_EQ(S_OK, access_->RenameFolder(oldFolder.get(), newFolder.get()));
    ASSERT_TRUE(Lookup(L"\\A:\\Settings\\config.sys", &row));
    EXPECT_EQ(0x27u, row.attributes);  // the metadata moved with the folder

    UniqueBstr lower(L"\\A:\\settings");
    EXPECT_EQ(S_OK, access_->RenameFolder(newFolder.get(), lower.get()));
    EXPECT_EQ(L"settings", (Lookup(L"\\A:\\SETTINGS", &row), row.name));
}

TEST_F(Operations, RenameFailures) {
    UniqueBstr notes(L"\\A:\\Data\\Notes.txt"), readme(L"\\A:\\Data\\README");
    EXPECT_EQ(kExists, access_->RenameFile(notes.get(), readme.get()));
    UniqueBstr data(L"\\A:\\Data"), other(L"\\A:\\Other");
    EXPECT_EQ(kDenied, access_->RenameFile(data.get(), other.get()));
    UniqueBstr notes2(L"\\A:\\Data\\Notes2.txt");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DIRECTORY), access_->RenameFolder(notes.get(), notes2.get()));
    UniqueBstr onB(L"\\B:\\Notes.txt");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_SAME_DEVICE), access_->RenameFile(notes.get(), onB.get()));
    UniqueBstr missing(L"\\A:\\Data\\Missing.txt");
    EXPECT_EQ(kNotFound, access_->RenameFile(missing.get(), notes2.get()));
    UniqueBstr intoItself(L"\\A:\\Data\\Archive\\Data");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), access_->RenameFolder(data.get(), intoItself.get()));
    UniqueBstr badName(L"\\A:\\Data\\a:b.txt");
    EXPECT_EQ(E_INVALIDARG, access_->RenameFile(notes.get(), badName.get()));
    EXPECT_EQ(E_INVALIDARG, access_->RenameFile(nullptr, notes2.get()));
}

TEST_F(Operations, SetAttributesRoundTripsTheFiveBits) {
    UniqueBstr file(L"\\B:\\NOEXT");
    ASSERT_EQ(S_OK, access_->SetAttributes(file.get(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                          FILE_ATTRIBUTE_READONLY | 0x1000 /* ignored */));
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\B:\\NOEXT", &row));
    EXPECT_EQ(0x07u, row.attributes);
    UniqueBstr folder(L"\\B:\\Java");
    ASSERT_EQ(S_OK, access_->SetAttributes(folder.get(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(Lookup(L"\\B:\\Java", &row));
    EXPECT_EQ(0x12u, row.attributes);  // a folder stays a folder
    ASSERT_EQ(S_OK, access_->SetAttributes(folder.get(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(Lookup(L"\\B:\\Java", &row));
    EXPECT_EQ(0x10u, row.attributes);
    UniqueBstr missing(L"\\B:\\missing");
    EXPECT_EQ(kNotFound, access_->SetAttributes(missing.get(), 0));
}

TEST_F(Operations, LabelsRoundTripAndAreChecked) {
    UniqueBstr a(L"A:"), label;
    ASSERT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
    EXPECT_STREQ(L"PHONE", label.c_str());
    UniqueBstr newLabel(L"MY MODULE");
    ASSERT_EQ(S_OK, access_->SetLabel(a.get(), newLabel.get()));
    ASSERT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
    EXPECT_STREQ(L"MY MODULE", label.c_str());
    ASSERT_EQ(S_OK, access_->SetLabel(a.get(), nullptr));  // a null BSTR is the empty label
    ASSERT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
    EXPECT_EQ(0u, label.length());

    UniqueBstr tooLong(L"TWELVE CHARS"), bad(L"A*B");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_LABEL_TOO_LONG), access_->SetLabel(a.get(), tooLong.get()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_NAME), access_->SetLabel(a.get(), bad.get()));
    UniqueBstr q(L"Q:");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DRIVE), access_->GetLabel(q.get(), label.out()));
    // A null out-pointer never reaches the server: the marshaller refuses it.
    EXPECT_TRUE(FAILED(access_->GetLabel(a.get(), nullptr)));
    UniqueBstr path(L"\\A:\\Data");
    EXPECT_EQ(E_INVALIDARG, access_->GetLabel(path.get(), label.out()));
}

TEST_F(Operations, DiskSpaceFollowsWhatIsStored) {
    UniqueBstr a(L"A:"), slashA(L"\\A:");
    LONG capacity = 0, free = 0;
    ASSERT_EQ(S_OK, access_->GetDiskSpace(a.get(), &capacity, &free));
    EXPECT_EQ(4194304, capacity);
    LONG used = capacity - free;
    EXPECT_EQ(236072, used);  // the sample's bytes on A:
    ASSERT_EQ(S_OK, Write(L"\\A:\\more.bin", std::string(10000, 'm')));
    LONG capacity2 = 0, free2 = 0;
    ASSERT_EQ(S_OK, access_->GetDiskSpace(slashA.get(), &capacity2, &free2));
    EXPECT_EQ(free - 10000, free2);
    module_.SetCapacity(L'A', 1000);
    ASSERT_EQ(S_OK, access_->GetDiskSpace(a.get(), &capacity, &free));
    EXPECT_EQ(1000, capacity);
    EXPECT_EQ(0, free);
    UniqueBstr q(L"Q:");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DRIVE), access_->GetDiskSpace(q.get(), &capacity, &free));
    EXPECT_TRUE(FAILED(access_->GetDiskSpace(a.get(), nullptr, &free)));
}

TEST_F(Operations, FormatErasesTheDriveAndKeepsItsLabel) {
    UniqueBstr a(L"A:");
    ASSERT_EQ(S_OK, access_->Format(a.get()));
    std::vector<ListedRow> rows;
    ASSERT_EQ(S_OK, List(L"\\A:\\*", &rows));
    EXPECT_TRUE(rows.empty());
    LONG capacity = 0, free = 0;
    ASSERT_EQ(S_OK, access_->GetDiskSpace(a.get(), &capacity, &free));
    EXPECT_EQ(capacity, free);
    UniqueBstr label;
    ASSERT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
    EXPECT_STREQ(L"PHONE", label.c_str());
    // B: is untouched, and the erased items' metadata does not come back.
    EXPECT_EQ(5u, Names(L"\\B:\\*").size());
    ASSERT_EQ(S_OK, Write(L"\\A:\\hidden.dat", "new"));
    ListedRow row;
    ASSERT_TRUE(Lookup(L"\\A:\\hidden.dat", &row));
    EXPECT_EQ(0x20u, row.attributes);
    UniqueBstr q(L"Q:"), path(L"\\A:\\Data");
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_DRIVE), access_->Format(q.get()));
    EXPECT_EQ(E_INVALIDARG, access_->Format(path.get()));
}

TEST_F(Operations, SetPortAcceptsOnlyUsablePorts) {
    module_.SetPortMask(0x6);  // COM2 and COM3
    UniqueBstr com2(L"com2");
    ASSERT_EQ(S_OK, access_->SetPort(com2.get()));
    EXPECT_EQ(L"COM2", module_.StoredPort());
    for (const wchar_t* port : {L"COM1", L"COM33", L"LPT1", L"COM", L"COM2x"}) {
        UniqueBstr name(port);
        EXPECT_EQ(E_PORT_UNUSABLE, access_->SetPort(name.get())) << port;
        EXPECT_NE(std::wstring::npos, TakeErrorDescription().find(port)) << port;
    }
    EXPECT_EQ(L"COM2", module_.StoredPort());
    EXPECT_EQ(E_INVALIDARG, access_->SetPort(nullptr));
}

TEST_F(Operations, ADisconnectedModuleFailsEveryCall) {
    module_.Disconnect();
    UniqueBstr a(L"A:"), label, path(L"\\A:\\Data\\Notes.txt");
    UniqueVariant result;
    UniqueBstr all(L"\\*");
    EXPECT_EQ(E_NO_CONNECTION, access_->ListFolder(all.get(), VARIANT_FALSE, result.get()));
    EXPECT_EQ(E_NO_CONNECTION, access_->GetLabel(a.get(), label.out()));
    EXPECT_EQ(E_NO_CONNECTION, access_->DeleteFileW(path.get()));
    EXPECT_EQ(E_NO_CONNECTION, Write(L"\\A:\\x.txt", "x"));
    module_.Reconnect();
    EXPECT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
}

}  // namespace
