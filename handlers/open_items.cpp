#include "handlers/open_items.h"

#include <shellapi.h>

#include "common/prompt.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/absolute_lists.h"
#include "module_access/module_errors.h"
#include "item_id/module_item_id.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"

namespace {

HRESULT OpenFolderList(UINT command, HWND owner, LPCITEMIDLIST absolute) {
    SHELLEXECUTEINFOW info = {sizeof(info)};
    info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_IDLIST;
    info.lpClass = L"folder";
    info.lpIDList = const_cast<LPITEMIDLIST>(absolute);
    info.hwnd = owner;
    info.nShow = SW_SHOWNORMAL;
    info.lpVerb = command == CMD_EXPLORE ? L"explore" : L"open";
    return ShellExecuteExW(&info) ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

void ShowCannotOpenFiles(HWND owner) {
    ShowMessageBox(owner, Resources().LoadString(IDS_ERR_CANNOT_OPEN_FILE), Resources().LoadString(IDS_MODULE),
                   MB_ICONHAND);
}

}  // namespace

HRESULT OpenModuleItems(UINT command, HWND owner, LPCITEMIDLIST folderList, const LPCITEMIDLIST* items, UINT count,
                        LPCITEMIDLIST contextItem) {
    if (!items && count) return E_POINTER;
    bool sawFile = false;
    HRESULT result = S_OK;
    for (UINT i = 0; i < count; ++i) {
        LPCITEMIDLIST item = items[i] ? LastItem(items[i]) : nullptr;
        if (!item || !IsValidItemId(item)) continue;
        bool container = IsDriveItem(item) || (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY);
        if (!container) {
            sawFile = true;
            continue;
        }
        if (contextItem && lstrcmpiW(ItemPath(item), ItemPath(LastItem(contextItem))) == 0) continue;
        IdListHolder absolute(JoinIdLists(folderList, items[i]));
        if (!absolute) {
            result = E_OUTOFMEMORY;
            continue;
        }
        HRESULT hr = OpenFolderList(command, owner, absolute.get());
        if (FAILED(hr)) result = hr;
    }
    if (sawFile) ShowCannotOpenFiles(owner);
    return result;
}

HRESULT OpenModulePaths(UINT command, HWND owner, const std::vector<std::wstring>& paths, ModuleAccess* access) {
    if (!access) return E_POINTER;
    bool sawFile = false;
    HRESULT result = S_OK;
    for (const std::wstring& path : paths) {
        IdListHolder absolute;
        HRESULT hr = ItemIdListForPath(path.c_str(), access, absolute.out());
        if (FAILED(hr)) {
            if (hr != E_OPERATION_CANCELLED) ReportModuleError(hr, L"");
            result = hr;
            continue;
        }
        LPCITEMIDLIST item = LastItem(absolute.get());
        if (item && IsValidItemId(item) && !IsDriveItem(item) && !(ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY)) {
            sawFile = true;
            continue;
        }
        hr = OpenFolderList(command, owner, absolute.get());
        if (FAILED(hr)) result = hr;
    }
    if (sawFile) ShowCannotOpenFiles(owner);
    return result;
}
