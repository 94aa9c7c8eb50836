// EnumObjects over a 10,000-item module folder (served by the substitute
// module-access server from a local directory) against the shell's own
// file-system folder enumerating the same directory. Prints both times and
// their ratio from one run, and the bare server call, which is the part of
// the module folder's time spent outside the library.
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>

#include "common/holders.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "namespace/module_folder.h"
#include "item_id/module_item_id.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kItemCount = 10000;
const wchar_t kSubstituteKey[] = L"Software\\KTXSubstitute";

double Seconds(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// <temp>\ktx_enum_bench\A\big with kItemCount small files; A is the drive.
bool MakeTree(std::wstring* root, std::wstring* folder) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    *root = std::wstring(temp) + L"ktx_enum_bench";
    *folder = *root + L"\\A\\big";
    CreateDirectoryW(root->c_str(), nullptr);
    CreateDirectoryW((*root + L"\\A").c_str(), nullptr);
    CreateDirectoryW(folder->c_str(), nullptr);
    for (int i = 0; i < kItemCount; ++i) {
        wchar_t name[64];
        swprintf(name, 64, L"\\file%05d.txt", i);
        std::wstring path = *folder + name;
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return false;
        DWORD written = 0;
        WriteFile(file.get(), "x", 1, &written, nullptr);
    }
    return true;
}

// Enumerates every item of `folder` and frees them; the count, or -1.
int EnumerateAll(IShellFolder* folder) {
    ComPtr<IEnumIDList> items;
    if (FAILED(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                                   &items)) ||
        !items)
        return -1;
    int count = 0;
    LPITEMIDLIST batch[64];
    ULONG fetched = 0;
    while (SUCCEEDED(items->Next(64, batch, &fetched)) && fetched > 0) {
        for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(batch[i]);
        count += static_cast<int>(fetched);
    }
    return count;
}

std::wstring ReadRootSetting(bool* present) {
    wchar_t value[1024];
    DWORD bytes = sizeof(value);
    *present = RegGetValueW(HKEY_CURRENT_USER, kSubstituteKey, L"Root", RRF_RT_REG_SZ, nullptr,
                            value, &bytes) == ERROR_SUCCESS;
    return *present ? value : L"";
}

void WriteRootSetting(const std::wstring& root) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kSubstituteKey, L"Root", REG_SZ, root.c_str(),
                    static_cast<DWORD>((root.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

int main() {
    OleInitialize(nullptr);
    std::wstring root, directory;
    if (!MakeTree(&root, &directory)) {
        printf("could not create the test directory\n");
        return 1;
    }
    bool hadRoot = false;
    std::wstring previousRoot = ReadRootSetting(&hadRoot);
    WriteRootSetting(root);

    int moduleCount = -1, shellCount = -1;
    double moduleSeconds = 0, shellSeconds = 0, serverSeconds = 0;
    {
        ComPtr<ModuleFolder> module;
        if (SUCCEEDED(ModuleFolder::Create(L"\\A:\\big", nullptr, &module))) {
            EnumerateAll(module.Get());  // starts the server; not counted
            LARGE_INTEGER start;
            QueryPerformanceCounter(&start);
            moduleCount = EnumerateAll(module.Get());
            moduleSeconds = Seconds(start);
        }

        ComPtr<ModuleAccess> access;
        if (SUCCEEDED(CreateModuleAccess(&access))) {
            BSTR request = SysAllocString(ListingRequest(L"\\A:\\big", L"*").c_str());
            VARIANT result;
            VariantInit(&result);
            LARGE_INTEGER start;
            QueryPerformanceCounter(&start);
            if (SUCCEEDED(access->ListFolder(request, VARIANT_FALSE, &result)) &&
                V_VT(&result) == (VT_ARRAY | VT_VARIANT))
                serverSeconds = Seconds(start);
            VariantClear(&result);
            SysFreeString(request);
        }

        ComPtr<IShellFolder> desktop, fileSystem;
        LPITEMIDLIST list = nullptr;
        if (SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
            SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, &directory[0], nullptr, &list,
                                                nullptr)) &&
            SUCCEEDED(desktop->BindToObject(list, nullptr, IID_PPV_ARGS(&fileSystem)))) {
            EnumerateAll(fileSystem.Get());
            LARGE_INTEGER start;
            QueryPerformanceCounter(&start);
            shellCount = EnumerateAll(fileSystem.Get());
            shellSeconds = Seconds(start);
        }
        CoTaskMemFree(list);
    }

    if (hadRoot)
        WriteRootSetting(previousRoot);
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kSubstituteKey, L"Root");

    printf("module folder EnumObjects: %d items in %.3f s\n", moduleCount, moduleSeconds);
    printf("  the server's ListFolder call alone: %.3f s\n", serverSeconds);
    printf("shell file-system folder EnumObjects: %d items in %.3f s\n", shellCount, shellSeconds);
    if (moduleCount != kItemCount || shellCount != kItemCount) {
        printf("item counts differ from %d\n", kItemCount);
        OleUninitialize();
        return 1;
    }
    printf("ratio module / file system: %.2f\n", moduleSeconds / shellSeconds);
    OleUninitialize();
    return 0;
}
