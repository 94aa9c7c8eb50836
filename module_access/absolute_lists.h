// Absolute item-identifier lists of module items: from the desktop through
// My Computer and "Module" down to the item. They need the module-access
// server to look each level up, so they sit above the identifier leaf.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include "item_id/module_item_id.h"
#include "module_access/module_access_h.h"

// My Computer's list joined with the "Module" child's identifier.
HRESULT FindModuleRoot(LPITEMIDLIST* root);
// The root's list followed by one identifier per existing level of `path`.
HRESULT ItemIdListForPath(const wchar_t* path, ModuleAccess* access, LPITEMIDLIST* list);
