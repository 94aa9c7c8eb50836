// Opening module folders and drives in windows of their own. Files are never
// opened from the module: they bring one message instead.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <string>
#include <vector>

#include "module_access/module_access_h.h"

// For each folder or drive among `items` (relative to `folderList`), except
// the one whose path equals `contextItem`'s, a new window: explored for
// command 8213, opened otherwise. When any item is a file, message 8262
// follows once, owned by `owner`.
HRESULT OpenModuleItems(UINT command, HWND owner, LPCITEMIDLIST folderList, const LPCITEMIDLIST* items, UINT count,
                        LPCITEMIDLIST contextItem);

// The same for items named by module path (the search results): each one's
// identifier list is built through `access` first; one that cannot be is
// reported and left out.
HRESULT OpenModulePaths(UINT command, HWND owner, const std::vector<std::wstring>& paths, ModuleAccess* access);
