// The clipboard formats: their registration, the block layouts read back
// from malformed blocks, and stock-taking of the shell's own data object.
#include <windows.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/holders.h"
#include "item_id/module_item_id.h"
#include "transfer/clipboard_formats.h"
#include "transfer/directory_data_format.h"
#include "transfer/hdrop_format.h"
#include "transfer/shell_id_list_format.h"

using Microsoft::WRL::ComPtr;

namespace {

std::vector<BYTE> BlockBytes(HGLOBAL block) {
    GlobalLocked<BYTE> locked(block);
    std::vector<BYTE> bytes(locked.get(), locked.get() + locked.size());
    GlobalFree(block);
    return bytes;
}

void PutDword(std::vector<BYTE>* bytes, size_t at, DWORD value) {
    if (bytes->size() < at + 4) bytes->resize(at + 4);
    memcpy(bytes->data() + at, &value, 4);
}

IdListHolder Item(const wchar_t* path, DWORD attributes = 0) {
    return IdListHolder(MakeItemId(path, L"SHORT", 10, attributes, 1.0, 2.0, 3.0));
}

}  // namespace

TEST(ClipboardFormats, RegisteredByNameInOrder) {
    ASSERT_TRUE(RegisterModuleClipboardFormats());
    const wchar_t* names[] = {L"Shell IDList Array", L"FileContents", L"FileGroupDescriptorW",
                              L"Preferred DropEffect", L"Paste Succeeded", L"Performed DropEffect",
                              L"Logical Performed DropEffect", L"QEL SNE Directory Data",
                              L"QEL SNE Converted", L"QEL SNE View Address", L"TargetCLSID"};
    for (int i = 0; i < static_cast<int>(ModuleClipboardFormat::Count); ++i) {
        auto format = static_cast<ModuleClipboardFormat>(i);
        EXPECT_STREQ(names[i], ClipboardFormatName(format));
        EXPECT_EQ(RegisterClipboardFormatW(names[i]), ClipboardFormatId(format)) << i;
    }
    // Both sides know CF_HDROP by its value; a format is on one side only.
    EXPECT_EQ(static_cast<DWORD>(FormatInventory::Hdrop), InventoryBit(CF_HDROP, false));
    EXPECT_EQ(0u, InventoryBit(CF_HDROP, true));
    EXPECT_EQ(static_cast<DWORD>(FormatInventory::PasteSucceeded),
              InventoryBit(ClipboardFormat(ModuleClipboardFormat::PasteSucceeded), true));
    EXPECT_EQ(0u, InventoryBit(CF_TEXT, false));
}

TEST(HdropFormat, RoundTripAndAnsiBlocks) {
    std::vector<std::wstring> paths = {L"C:\\a.txt", L"C:\\Ordner mit Ä\\b"};
    HGLOBAL block = nullptr;
    ASSERT_EQ(S_OK, BuildDropFiles(paths, &block));
    std::vector<BYTE> bytes = BlockBytes(block);
    std::vector<std::wstring> read;
    ASSERT_EQ(S_OK, ParseDropFiles(bytes.data(), bytes.size(), &read));
    EXPECT_EQ(paths, read);

    // An ANSI block from an older program.
    std::vector<BYTE> ansi(sizeof(DROPFILES));
    PutDword(&ansi, 0, sizeof(DROPFILES));
    const char list[] = "C:\\x\0D:\\y z\0";   // and the literal's NUL ends the list
    ansi.insert(ansi.end(), list, list + sizeof(list));
    ASSERT_EQ(S_OK, ParseDropFiles(ansi.data(), ansi.size(), &read));
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\x", L"D:\\y z"}), read);
}

TEST(HdropFormat, MalformedBlocksFail) {
    HGLOBAL block = nullptr;
    ASSERT_EQ(S_OK, BuildDropFiles({L"C:\\a", L"C:\\b"}, &block));
    const std::vector<BYTE> good = BlockBytes(block);
    struct Case {
        const char* what;
        std::vector<BYTE> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"shorter than the header", std::vector<BYTE>(good.begin(), good.begin() + 19)});
    cases.push_back({"list not terminated", std::vector<BYTE>(good.begin(), good.end() - 2)});
    cases.push_back({"odd byte left over", std::vector<BYTE>(good.begin(), good.end() - 1)});
    Case beyond = {"offset beyond the end", good};
    PutDword(&beyond.bytes, 0, static_cast<DWORD>(good.size() + 1));
    cases.push_back(beyond);
    Case inside = {"offset inside the header", good};
    PutDword(&inside.bytes, 0, 8);
    cases.push_back(inside);
    Case atEnd = {"offset at the end", good};
    PutDword(&atEnd.bytes, 0, static_cast<DWORD>(good.size()));
    cases.push_back(atEnd);
    for (const Case& c : cases) {
        std::vector<std::wstring> read = {L"stale"};
        EXPECT_EQ(E_BAD_FORMAT_BLOCK, ParseDropFiles(c.bytes.data(), c.bytes.size(), &read))
            << c.what;
        EXPECT_TRUE(read.empty()) << c.what;
    }
    std::vector<std::wstring> read;
    EXPECT_EQ(E_BAD_FORMAT_BLOCK, ParseDropFiles(nullptr, 100, &read));
    EXPECT_EQ(E_INVALIDARG, BuildDropFiles({L"C:\\a", L""}, &block));
}

TEST(DirectoryDataFormat, LayoutAndRoundTrip) {
    const std::wstring folder = L"\\A:\\Data";
    IdListHolder a = Item(L"\\A:\\Data\\x.txt"), b = Item(L"\\A:\\Data\\Sub", FILE_ATTRIBUTE_DIRECTORY);
    LPCITEMIDLIST items[] = {a.get(), b.get()};
    HGLOBAL block = nullptr;
    ASSERT_EQ(S_OK, BuildDirectoryData(folder, items, 2, &block));
    const SIZE_T expectedSize = DirectoryDataSize(folder, items, 2);
    std::vector<BYTE> bytes = BlockBytes(block);
    ASSERT_GE(bytes.size(), expectedSize);

    DWORD n, first, second, chars;
    memcpy(&n, &bytes[0], 4);
    memcpy(&first, &bytes[4], 4);
    memcpy(&second, &bytes[8], 4);
    memcpy(&chars, &bytes[12], 4);
    EXPECT_EQ(2u, n);
    EXPECT_EQ(2 * folder.size() + 18, first);
    EXPECT_EQ(first + IdListSize(a.get()), second);
    EXPECT_EQ(folder.size() + 1, chars);
    EXPECT_EQ(0, memcmp(&bytes[16], folder.c_str(), 2 * (folder.size() + 1)));
    EXPECT_EQ(second + IdListSize(b.get()), expectedSize);
    EXPECT_EQ(0, memcmp(&bytes[first], a.get(), IdListSize(a.get())));

    DirectoryData data;
    ASSERT_EQ(S_OK, ParseDirectoryData(bytes.data(), expectedSize, &data));
    EXPECT_EQ(folder, data.folderPath);
    ASSERT_EQ(2u, data.items.size());
    EXPECT_STREQ(L"\\A:\\Data\\Sub", ItemPath(data.items[1].get()));

    // The empty path of the namespace root and an empty selection.
    ASSERT_EQ(S_OK, BuildDirectoryData(L"", nullptr, 0, &block));
    bytes = BlockBytes(block);
    ASSERT_EQ(S_OK, ParseDirectoryData(bytes.data(), bytes.size(), &data));
    EXPECT_TRUE(data.folderPath.empty());
    EXPECT_TRUE(data.items.empty());
}

TEST(DirectoryDataFormat, MalformedBlocksFail) {
    IdListHolder a = Item(L"\\A:\\x");
    LPCITEMIDLIST items[] = {a.get()};
    HGLOBAL block = nullptr;
    ASSERT_EQ(S_OK, BuildDirectoryData(L"\\A:", items, 1, &block));
    std::vector<BYTE> good = BlockBytes(block);
    good.resize(DirectoryDataSize(L"\\A:", items, 1));
    const DWORD listAt = 2 * 3 + 4 * 1 + 10;

    struct Case {
        const char* what;
        size_t at;      // where to write `value` (SIZE_MAX: nothing)
        DWORD value;
        size_t cut;     // bytes taken off the end
    };
    const Case cases[] = {
        {"no count", SIZE_MAX, 0, good.size() - 3},
        {"count far too big", 0, 0x40000000, 0},
        {"count one too big", 0, 2, 0},
        {"offset past the end", 4, static_cast<DWORD>(good.size()), 0},
        {"offset into the header", 4, 4, 0},
        {"offset at the path", 4, 12, 0},
        {"path length zero", 8, 0, 0},
        {"path longer than the block", 8, 0x7FFFFFFF, 0},
        {"path without its NUL", 8, 3, 0},
        {"list cut short", SIZE_MAX, 0, 1},
        {"list without terminator", SIZE_MAX, 0, 2},
        {"identifier count past the end", listAt, 0xFFF0, 0},
        {"identifier count of one", listAt, 1, 0},
        {"foreign identifier", listAt + 2, 0x31, 0},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> bytes = good;
        if (c.at != SIZE_MAX) {
            if (c.at == listAt || c.at == listAt + 2) {
                USHORT word = static_cast<USHORT>(c.value);
                memcpy(&bytes[c.at], &word, 2);
            } else {
                PutDword(&bytes, c.at, c.value);
            }
        }
        bytes.resize(bytes.size() - c.cut);
        DirectoryData data;
        EXPECT_EQ(E_BAD_FORMAT_BLOCK, ParseDirectoryData(bytes.data(), bytes.size(), &data))
            << c.what;
        EXPECT_TRUE(data.items.empty()) << c.what;
    }
    EXPECT_EQ(E_INVALIDARG, BuildDirectoryData(L"\\A:", nullptr, 1, &block));
}

TEST(ShellIdListFormat, RoundTripAndMalformedBlocks) {
    IdListHolder parent = Item(L"\\A:"), a = Item(L"\\A:\\x"), b = Item(L"\\A:\\y");
    LPCITEMIDLIST items[] = {a.get(), b.get()};
    HGLOBAL block = nullptr;
    ASSERT_EQ(S_OK, BuildShellIdListArray(parent.get(), items, 2, &block));
    std::vector<BYTE> good = BlockBytes(block);
    good.resize(ShellIdListArraySize(parent.get(), items, 2));
    ShellIdListArray array;
    ASSERT_EQ(S_OK, ParseShellIdListArray(good.data(), good.size(), &array));
    ASSERT_EQ(2u, array.items.size());
    EXPECT_STREQ(L"\\A:\\y", ItemPath(array.items[1].get()));
    IdListHolder absolute(array.AbsoluteItem(0));
    EXPECT_EQ(2u, CountItems(absolute.get()));
    EXPECT_STREQ(L"\\A:\\x", ItemPath(LastItem(absolute.get())));

    const struct {
        const char* what;
        size_t at;
        DWORD value;
        size_t cut;
    } cases[] = {
        {"no count", SIZE_MAX, 0, good.size() - 2},
        {"count too big for its offsets", 0, static_cast<DWORD>(good.size() / 4), 0},
        {"count of all ones", 0, 0xFFFFFFFF, 0},
        {"parent offset past the end", 4, static_cast<DWORD>(good.size() - 1), 0},
        {"item offset past the end", 12, 0x7FFFFFF0, 0},
        {"last list cut short", SIZE_MAX, 0, 1},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> bytes = good;
        if (c.at != SIZE_MAX) PutDword(&bytes, c.at, c.value);
        bytes.resize(bytes.size() - c.cut);
        EXPECT_EQ(E_BAD_FORMAT_BLOCK, ParseShellIdListArray(bytes.data(), bytes.size(), &array))
            << c.what;
    }
}

// The shell's data object for PC files offers CF_HDROP and its ID-list array.
TEST(FormatInventory, OfTheShellsOwnDataObject) {
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    {
        wchar_t folder[MAX_PATH], file[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"ktx", 0, file);
        const wchar_t* name = wcsrchr(file, L'\\') + 1;

        ComPtr<IShellFolder> desktop, pcFolder;
        ASSERT_EQ(S_OK, SHGetDesktopFolder(&desktop));
        IdListHolder folderList, child;
        ASSERT_EQ(S_OK, desktop->ParseDisplayName(nullptr, nullptr, folder, nullptr,
                                                  folderList.out(), nullptr));
        ASSERT_EQ(S_OK, desktop->BindToObject(folderList.get(), nullptr, IID_PPV_ARGS(&pcFolder)));
        ASSERT_EQ(S_OK, pcFolder->ParseDisplayName(nullptr, nullptr, const_cast<LPWSTR>(name),
                                                   nullptr, child.out(), nullptr));
        LPCITEMIDLIST children[] = {child.get()};
        ComPtr<IDataObject> object;
        ASSERT_EQ(S_OK, pcFolder->GetUIObjectOf(nullptr, 1, children, IID_IDataObject, nullptr,
                                                &object));

        FormatInventory inventory;
        ASSERT_EQ(S_OK, TakeFormatInventory(object.Get(), &inventory));
        EXPECT_TRUE(inventory.CanGet(FormatInventory::Hdrop));
        EXPECT_FALSE(inventory.CanGet(FormatInventory::DirectoryData));
        ASSERT_NE(nullptr, inventory.Saved(FormatInventory::Hdrop));
        EXPECT_EQ(CF_HDROP, inventory.Saved(FormatInventory::Hdrop)->cfFormat);
        EXPECT_EQ(nullptr, inventory.Saved(FormatInventory::DirectoryData));

        std::vector<std::wstring> paths;
        ASSERT_EQ(S_OK, ReadDropFiles(object.Get(), &paths));
        ASSERT_EQ(1u, paths.size());
        EXPECT_EQ(0, lstrcmpiW(file, paths[0].c_str()));

        ShellIdListArray array;
        ASSERT_EQ(S_OK, ReadShellIdListArray(object.Get(), &array));
        ASSERT_EQ(1u, array.items.size());
        IdListHolder absolute(array.AbsoluteItem(0));
        wchar_t path[MAX_PATH] = L"";
        ASSERT_TRUE(SHGetPathFromIDListW(absolute.get(), path));
        EXPECT_EQ(0, lstrcmpiW(file, path));

        // Not there: a failure and no bytes.
        DWORD value = 7;
        EXPECT_TRUE(FAILED(ReadDwordFormat(
            object.Get(), ClipboardFormat(ModuleClipboardFormat::DirectoryData), &value)));
        EXPECT_EQ(0u, value);
        EXPECT_EQ(0u, ReadPreferredDropEffect(object.Get()));
        DeleteFileW(file);
    }
    OleUninitialize();
}

TEST(ClipboardFormats, DwordFormatMessages) {
    const CLIPFORMAT format = ClipboardFormat(ModuleClipboardFormat::PasteSucceeded);
    CLIPFORMAT read = 0;
    DWORD value = 0;
    ASSERT_TRUE(ParseDwordFormatMessage(DwordFormatMessage(format, 0x80000002).c_str(), &read,
                                        &value));
    EXPECT_EQ(format, read);
    EXPECT_EQ(0x80000002u, value);
    for (const wchar_t* bad : {L"", L"D:\\A:\\x", L"SetData:", L"SetData:12", L"SetData:0:1",
                               L"SetData:70000:1", L"SetData:12:1 and more"})
        EXPECT_FALSE(ParseDwordFormatMessage(bad, &read, &value)) << bad;
}
