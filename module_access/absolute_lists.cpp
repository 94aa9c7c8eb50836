#include "module_access/absolute_lists.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <string>
#include <utility>

#include "module_access/listing.h"

using Microsoft::WRL::ComPtr;

namespace {
// The display name of the library's folder under My Computer.
const wchar_t kRootName[] = L"Module";
}  // namespace

HRESULT FindModuleRoot(LPITEMIDLIST* root) {
    if (!root) return E_POINTER;
    *root = nullptr;
    IdListHolder drives;
    HRESULT hr = SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, drives.out());
    if (FAILED(hr)) return hr;
    ComPtr<IShellFolder> desktop;
    hr = SHGetDesktopFolder(&desktop);
    if (FAILED(hr)) return hr;
    ComPtr<IShellFolder> myComputer;
    hr = desktop->BindToObject(drives.get(), nullptr, IID_PPV_ARGS(&myComputer));
    if (FAILED(hr)) return hr;
    ComPtr<IEnumIDList> children;
    hr = myComputer->EnumObjects(nullptr, SHCONTF_FOLDERS, &children);
    if (FAILED(hr)) return hr;
    if (!children) return E_FAIL;  // S_FALSE: nothing to enumerate

    for (;;) {
        IdListHolder child;
        ULONG fetched = 0;
        if (children->Next(1, child.out(), &fetched) != S_OK || fetched != 1) break;
        STRRET name = {};
        if (FAILED(myComputer->GetDisplayNameOf(child.get(), SHGDN_INFOLDER, &name))) continue;
        wchar_t text[MAX_PATH] = {};
        if (FAILED(StrRetToBufW(&name, child.get(), text, ARRAYSIZE(text)))) continue;
        if (lstrcmpiW(text, kRootName) == 0) {
            *root = JoinIdLists(drives.get(), child.get());
            return *root ? S_OK : E_OUTOFMEMORY;
        }
    }
    return E_FAIL;
}

HRESULT ItemIdListForPath(const wchar_t* path, ModuleAccess* access, LPITEMIDLIST* list) {
    if (!list) return E_POINTER;
    *list = nullptr;
    if (!access) return E_POINTER;
    IdListHolder result;
    HRESULT hr = FindModuleRoot(result.out());
    if (FAILED(hr)) return hr;

    const std::wstring full = path ? path : L"";
    // Each level ends before a "\" that is not the path's first character.
    for (size_t end = 1; end <= full.size(); ++end) {
        if (end < full.size() && full[end] != L'\\') continue;
        IdListHolder item;
        hr = GetItemRecord(full.substr(0, end).c_str(), access, item.out());
        if (FAILED(hr)) return hr;
        if (!item) continue;
        IdListHolder joined(JoinIdLists(result.get(), item.get()));
        if (!joined) return E_OUTOFMEMORY;
        result = std::move(joined);
    }
    *list = result.release();
    return S_OK;
}

