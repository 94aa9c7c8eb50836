// Mutated item-identifier lists at every folder entry point that takes one:
// each call must answer with a result, never crash or read past the list.
// Lists are placed against an inaccessible page, so reading one byte beyond
// a list's end faults at once.
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "module_access/module_access.h"
#include "namespace/module_folder.h"
#include "item_id/module_item_id.h"
#include "namespace/folder_columns.h"

using Microsoft::WRL::ComPtr;

namespace {

// No server at all: a valid identifier that reaches SetNameOf must not rename
// anything anywhere.
class NoServer : public ModuleAccessFactory {
public:
    HRESULT Create(ModuleAccess** access) override {
        *access = nullptr;
        return E_FAIL;
    }
};

// Two pages, the second inaccessible; returns where `bytes` were copied so
// that they end at the inaccessible page.
LPITEMIDLIST PlaceBeforeGuardPage(BYTE* twoPages, const std::vector<BYTE>& bytes) {
    BYTE* start = twoPages + 4096 - bytes.size();
    memcpy(start, bytes.data(), bytes.size());
    return reinterpret_cast<LPITEMIDLIST>(start);
}

std::vector<BYTE> ListBytes(LPCITEMIDLIST list) {
    const BYTE* p = reinterpret_cast<const BYTE*>(list);
    return std::vector<BYTE>(p, p + IdListSize(list));
}

// Lists as the shell hands them: whatever the items hold, the chain of byte
// counts ends with a zero count inside the list. A count that would run out
// of the buffer becomes the terminator.
void TerminateWithin(std::vector<BYTE>* bytes) {
    if (bytes->size() < 2) bytes->resize(2, 0);
    size_t offset = 0;
    for (;;) {
        USHORT cb = static_cast<USHORT>((*bytes)[offset] | ((*bytes)[offset + 1] << 8));
        if (cb == 0) break;
        if (offset + cb + 2 > bytes->size()) {
            (*bytes)[offset] = (*bytes)[offset + 1] = 0;
            break;
        }
        offset += cb;
    }
}

std::vector<BYTE> Mutate(std::mt19937& random, std::vector<BYTE> bytes) {
    auto pick = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    int rounds = 1 + pick(4);
    for (int r = 0; r < rounds; ++r) {
        size_t at = bytes.empty() ? 0 : pick(static_cast<int>(bytes.size()));
        switch (pick(8)) {
        case 0:  // flip a bit
            if (!bytes.empty()) bytes[at] ^= static_cast<BYTE>(1 << pick(8));
            break;
        case 1:  // a random byte
            if (!bytes.empty()) bytes[at] = static_cast<BYTE>(pick(256));
            break;
        case 2:  // a byte count or path length (offsets 0 and 36) nudged
            if (bytes.size() > 37) {
                size_t field = pick(2) ? 0 : 36;
                bytes[field] = static_cast<BYTE>(bytes[field] + pick(9) - 4);
            }
            break;
        case 3:  // a terminator overwritten
            for (size_t i = 38; i + 1 < bytes.size(); i += 2)
                if (bytes[i] == 0 && bytes[i + 1] == 0 && pick(2)) {
                    bytes[i] = 'x';
                    break;
                }
            break;
        case 4:  // cut short
            bytes.resize(at);
            break;
        case 5:  // garbage appended
            for (int n = pick(40); n > 0; --n) bytes.push_back(static_cast<BYTE>(pick(256)));
            break;
        case 6:  // a 16-bit field anywhere set to an edge value
            if (bytes.size() > 1) {
                const USHORT edges[] = {0, 1, 2, 41, 42, 43, 100, 0x7FFF, 0xFFFF};
                USHORT v = edges[pick(9)];
                size_t even = at & ~size_t(1);
                bytes[even] = static_cast<BYTE>(v);
                if (even + 1 < bytes.size()) bytes[even + 1] = static_cast<BYTE>(v >> 8);
            }
            break;
        default:  // a stretch duplicated
            if (!bytes.empty()) {
                size_t length = 1 + pick(static_cast<int>(bytes.size() - at));
                std::vector<BYTE> stretch(bytes.begin() + at, bytes.begin() + at + length);
                bytes.insert(bytes.begin() + pick(static_cast<int>(bytes.size())), stretch.begin(),
                             stretch.end());
            }
            break;
        }
    }
    if (bytes.size() > 2000) bytes.resize(2000);
    TerminateWithin(&bytes);
    return bytes;
}

// Every entry point that takes an identifier list, fed `list`.
void CallEveryEntryPoint(ModuleFolder* folder, LPCITEMIDLIST list, LPCITEMIDLIST valid) {
    folder->CompareIDs(0, list, valid);
    folder->CompareIDs(0, valid, list);
    folder->CompareIDs(0, list, list);

    SFGAOF attributes = SFGAO_CAPABILITYMASK | SFGAO_CONTENTSMASK | SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
    folder->GetAttributesOf(1, &list, &attributes);
    LPCITEMIDLIST pair[] = {valid, list};
    attributes = 0xFFFFFFFF & ~SFGAO_VALIDATE;
    folder->GetAttributesOf(2, pair, &attributes);

    const SHGDNF nameFlags[] = {SHGDN_NORMAL, SHGDN_INFOLDER, SHGDN_FORPARSING,
                                SHGDN_INFOLDER | SHGDN_FORPARSING};
    for (SHGDNF flags : nameFlags) {
        STRRET name = {};
        if (SUCCEEDED(folder->GetDisplayNameOf(list, flags, &name)) && name.uType == STRRET_WSTR)
            ShellFree(name.pOleStr);
    }
    for (UINT column = 0; column <= kFolderColumnCount; ++column) {
        SHELLDETAILS details = {};
        if (SUCCEEDED(folder->GetDetailsOf(list, column, &details)) &&
            details.str.uType == STRRET_WSTR)
            ShellFree(details.str.pOleStr);
    }
    for (DWORD property : {kStorageType, kStorageName, kStorageSize, kStorageFreeSpace,
                           kStorageModified}) {
        SHCOLUMNID id = {kStoragePropertySet, property};
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(folder->GetDetailsEx(list, &id, &value))) VariantClear(&value);
    }
    int icon = 0;
    folder->GetIconOf(list, 0, &icon);
    folder->GetIconOf(list, GIL_OPENICON, &icon);

    ComPtr<IShellFolder> child;
    if (SUCCEEDED(folder->BindToObject(list, nullptr, IID_PPV_ARGS(&child)))) {
        STRRET name = {};
        if (SUCCEEDED(child->GetDisplayNameOf(valid, SHGDN_FORPARSING, &name))) ShellFree(name.pOleStr);
    }

    ComPtr<IExtractIconW> extractor;
    if (SUCCEEDED(folder->GetUIObjectOf(nullptr, 1, &list, IID_IExtractIconW, nullptr,
                                        reinterpret_cast<void**>(extractor.GetAddressOf())))) {
        wchar_t file[MAX_PATH];
        int index = 0;
        UINT flags = 0;
        extractor->GetIconLocation(0, file, MAX_PATH, &index, &flags);
        HICON large = nullptr, small = nullptr;
        if (SUCCEEDED(extractor->Extract(file, 0, &large, &small, 0))) {
            if (large) DestroyIcon(large);
            if (small) DestroyIcon(small);
        }
    }
    ComPtr<IQueryInfo> tip;
    if (SUCCEEDED(folder->GetUIObjectOf(nullptr, 1, &list, IID_IQueryInfo, nullptr,
                                        reinterpret_cast<void**>(tip.GetAddressOf())))) {
        LPWSTR text = nullptr;
        if (SUCCEEDED(tip->GetInfoTip(0, &text))) ShellFree(text);
    }

    LPITEMIDLIST renamed = nullptr;
    folder->SetNameOf(nullptr, list, L"renamed.txt", SHGDN_NORMAL, &renamed);
    ShellFree(renamed);

    ComPtr<ModuleFolder> fresh;
    if (SUCCEEDED(ModuleFolder::Create(L"", nullptr, &fresh)) && SUCCEEDED(fresh->Initialize(list))) {
        LPITEMIDLIST current = nullptr;
        if (SUCCEEDED(fresh->GetCurFolder(&current))) ShellFree(current);
    }
}

unsigned Rounds() {
    const char* text = getenv("KTX_FUZZ_ROUNDS");
    return text ? static_cast<unsigned>(strtoul(text, nullptr, 10)) : 100000;
}

}  // namespace

TEST(FolderFuzz, EveryEntryPointSurvivesMutatedLists) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    NoServer noServer;
    ModuleAccessFactory* previous = SetModuleAccessFactory(&noServer);
    {
        IdListHolder drive(MakeItemId(L"\\A:", L"A:", 1000, 0, 0, 0, 500));
        IdListHolder folderItem(MakeItemId(L"\\A:\\Data", L"DATA", 0, FILE_ATTRIBUTE_DIRECTORY, 1, 2, 3));
        IdListHolder file(MakeItemId(L"\\A:\\Data\\Photo.jpg", L"PHOTO.JPG", 1234, 0x20, 1, 2, 3));
        IdListHolder noShortName(MakeItemId(L"\\A:\\Data\\long name.txt", L"", 1, 0, 0, 0, 0));
        const BYTE foreign[] = {20, 0, 0x1F, 0x50, 0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69,
                                0x10, 0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D, 0, 0};
        IdListHolder driveFolder(JoinIdLists(drive.get(), folderItem.get()));
        IdListHolder fullPath(JoinIdLists(driveFolder.get(), file.get()));
        IdListHolder behindForeign(
            JoinIdLists(reinterpret_cast<LPCITEMIDLIST>(foreign), driveFolder.get()));
        const std::vector<std::vector<BYTE>> seeds = {
            ListBytes(drive.get()),
            ListBytes(file.get()),
            ListBytes(noShortName.get()),
            ListBytes(fullPath.get()),
            ListBytes(behindForeign.get()),
            std::vector<BYTE>(foreign, foreign + sizeof(foreign)),
            {0, 0},
        };

        ComPtr<ModuleFolder> root, inDrive;
        ASSERT_EQ(ModuleFolder::Create(L"", nullptr, &root), S_OK);
        ASSERT_EQ(ModuleFolder::Create(L"\\A:", drive.get(), &inDrive), S_OK);
        BYTE* pages = static_cast<BYTE*>(
            VirtualAlloc(nullptr, 2 * 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        ASSERT_TRUE(VirtualProtect(pages + 4096, 4096, PAGE_NOACCESS, &old));
        std::mt19937 random(20261206);
        const unsigned rounds = Rounds();
        for (unsigned round = 0; round < rounds; ++round) {
            const std::vector<BYTE>& seed = seeds[round % seeds.size()];
            LPITEMIDLIST list = PlaceBeforeGuardPage(pages, Mutate(random, seed));
            CallEveryEntryPoint(round % 2 ? root.Get() : inDrive.Get(), list, file.get());
        }
        printf("%u mutated lists at every entry point\n", rounds);
        VirtualFree(pages, 0, MEM_RELEASE);
    }
    SetModuleAccessFactory(previous);
    CoUninitialize();
}
