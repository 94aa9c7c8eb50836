// Module files leaving the module: a whole folder taken as Explorer takes it
// from a module data object ("FileGroupDescriptorW", then "FileContents" per
// file, with the live progress dialog) and as a CF_HDROP program takes it
// (staged into a PC folder), against reading the same server streams
// directly in 4096-byte chunks; then a few files over the server's simulated
// 92,160 bytes/s link against the link's own time.
//   outward_transfer_bench [quick]   ("quick": 16 MB instead of 64 MB)
#include <windows.h>
#include <commctrl.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/holders.h"
#include "common/resource_module.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "item_id/module_item_id.h"
#include "testing/substitute_server.h"
#include "transfer/clipboard_formats.h"
#include "transfer/hdrop_format.h"
#include "transfer/module_data_object.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr ULONG kChunk = 4096;
constexpr DWORD kLinkSpeed = 92160;

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool WritePcFile(const std::wstring& path, size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i * 31 + (i >> 12));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(size), &written, nullptr) &&
                    written == size;
    CloseHandle(file);
    return ok;
}

// A folder of `count` files of `size` bytes, made on the PC side of the module.
bool MakeFolder(const SubstituteModule& module, const wchar_t* folder, int count, size_t size) {
    if (!CreateDirectoryW(module.PcPath(folder).c_str(), nullptr)) return false;
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"\\file%02d.bin", i);
        if (!WritePcFile(module.PcPath(std::wstring(folder) + name), size)) return false;
    }
    return true;
}

// Every file of the folder opened and read straight from the server.
double ReadDirectly(ModuleAccess* access, const wchar_t* folder, uint64_t* bytes) {
    static BYTE buffer[kChunk];
    const double start = Now();
    std::vector<IdListHolder> items;
    if (FAILED(ListItems(folder, &items, access, false))) return 0;
    *bytes = 0;
    for (const IdListHolder& item : items) {
        UniqueBstr path(ItemPath(item.get()));
        ComPtr<IUnknown> opened;
        ComPtr<IStream> stream;
        if (FAILED(access->OpenFile(path.get(), &opened)) || FAILED(opened.As(&stream))) return 0;
        ULONG got = 0;
        while (SUCCEEDED(stream->Read(buffer, kChunk, &got)) && got) *bytes += got;
    }
    return Now() - start;
}

ComPtr<IDataObject> MakeObject(ModuleAccess* access, const wchar_t* folder) {
    IdListHolder item;
    ComPtr<IDataObject> object;
    if (FAILED(GetItemRecord(folder, access, item.out())) || !item) return object;
    LPCITEMIDLIST items[] = {item.get()};
    CreateModuleDataObject(L"\\A:", nullptr, items, 1, DROPEFFECT_COPY, nullptr, false, &object);
    return object;
}

// As Explorer on a drop: the descriptor, then every file's contents.
double ReadAsExplorer(ModuleAccess* access, const wchar_t* folder, uint64_t* bytes) {
    const double start = Now();
    ComPtr<IDataObject> object = MakeObject(access, folder);
    if (!object) return 0;
    UniqueStgMedium medium;
    if (FAILED(GetFormat(object.Get(), ClipboardFormat(ModuleClipboardFormat::FileGroupDescriptorW),
                         medium.out())))
        return 0;
    UINT count = 0;
    {
        GlobalLocked<UINT> descriptor(medium.get()->hGlobal);
        count = *descriptor.get();
    }
    *bytes = 0;
    for (UINT i = 0; i < count; ++i) {
        FORMATETC format = HGlobalFormatEtc(ClipboardFormat(ModuleClipboardFormat::FileContents),
                                            static_cast<LONG>(i));
        UniqueStgMedium contents;
        if (object->GetData(&format, contents.out()) == S_OK)
            *bytes += GlobalSize(contents.get()->hGlobal);
    }
    return Now() - start;
}

// As a program that takes only PC files: CF_HDROP, staged on request.
double ReadAsHdrop(ModuleAccess* access, const wchar_t* folder, uint64_t* bytes) {
    const double start = Now();
    ComPtr<IDataObject> object = MakeObject(access, folder);
    std::vector<std::wstring> paths;
    if (!object || FAILED(ReadDropFiles(object.Get(), &paths)) || paths.size() != 1) return 0;
    const double elapsed = Now() - start;
    *bytes = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((paths[0] + L"\\*.bin").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do *bytes += found.nFileSizeLow;
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return elapsed;
}

void Print(const char* what, double direct, double through, double goal, const char* against) {
    std::printf("%-34s %s %8.1f ms  through the data object %8.1f ms  ratio %.3f (goal <= %.2f)\n",
                what, against, direct * 1000, through * 1000, direct > 0 ? through / direct : 0,
                goal);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "quick") == 0;
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    if (FAILED(EnterComThread())) return 2;
    {
        SubstituteModule module;
        ComPtr<ModuleAccess> access;
        const int files = quick ? 16 : 64;
        if (!module.ok() || FAILED(module.Create(&access)) ||
            !MakeFolder(module, L"\\A:\\Bench", files, 1 << 20) ||
            !MakeFolder(module, L"\\A:\\Link", 4, 256 * 1024)) {
            std::printf("substitute server or its folder not available\n");
            return 2;
        }
        char what[64];
        std::snprintf(what, sizeof(what), "%d MB in %d files", files, files);
        uint64_t direct_bytes = 0, bytes = 0;
        double direct = 1e9, explorer = 1e9, hdrop = 1e9;
        for (int round = 0; round < 2; ++round) {
            direct = std::min(direct, ReadDirectly(access.Get(), L"\\A:\\Bench", &direct_bytes));
            explorer = std::min(explorer, ReadAsExplorer(access.Get(), L"\\A:\\Bench", &bytes));
            if (bytes != direct_bytes) std::printf("FileContents delivered %llu of %llu bytes\n",
                                                   (unsigned long long)bytes,
                                                   (unsigned long long)direct_bytes);
            hdrop = std::min(hdrop, ReadAsHdrop(access.Get(), L"\\A:\\Bench", &bytes));
            if (bytes != direct_bytes) std::printf("CF_HDROP staged %llu of %llu bytes\n",
                                                   (unsigned long long)bytes,
                                                   (unsigned long long)direct_bytes);
        }
        Print((std::string(what) + ", FileContents").c_str(), direct, explorer, 1.15,
              "direct reads");
        Print((std::string(what) + ", CF_HDROP").c_str(), direct, hdrop, 1.15, "direct reads");

        module.SetLinkSpeed(kLinkSpeed);
        const double link = 4.0 * 256 * 1024 / kLinkSpeed;
        explorer = ReadAsExplorer(access.Get(), L"\\A:\\Link", &bytes);
        hdrop = ReadAsHdrop(access.Get(), L"\\A:\\Link", &bytes);
        module.SetLinkSpeed(0);
        Print("1 MB at 92,160 B/s, FileContents", link, explorer, 1.02, "link's own  ");
        Print("1 MB at 92,160 B/s, CF_HDROP", link, hdrop, 1.02, "link's own  ");
    }
    LeaveComThread();
    return 0;
}
