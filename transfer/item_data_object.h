// The data object the folder hands out for a selection of its items
// (GetUIObjectOf with IID_IDataObject): the items must all be module items;
// made and filled on the calling thread.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <string>

HRESULT CreateItemDataObject(const std::wstring& folderPath, UINT count, LPCITEMIDLIST* items,
                             void** out);
