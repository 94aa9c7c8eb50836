#include "handlers/open_items.h"

#include <shellapi.h>

#include "common/prompt.h"
#include "common/resource_module.h"
#include "namespace/module_item_id.h"
#include "resources/command_ids.h"
#include "resources/string_ids.h"

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
        SHELLEXECUTEINFOW info = {sizeof(info)};
        info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_IDLIST;
        info.lpClass = L"folder";
        info.lpIDList = absolute.get();
        info.hwnd = owner;
        info.nShow = SW_SHOWNORMAL;
        info.lpVerb = command == CMD_EXPLORE ? L"explore" : L"open";
        if (!ShellExecuteExW(&info)) result = HRESULT_FROM_WIN32(GetLastError());
    }
    if (sawFile)
        ShowMessageBox(owner, Resources().LoadString(IDS_ERR_CANNOT_OPEN_FILE), Resources().LoadString(IDS_MODULE),
                       MB_ICONHAND);
    return result;
}
