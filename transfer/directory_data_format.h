// "QEL SNE Directory Data": the selection of module items a module data
// object carries, read by the module's own paste and drop. Little-endian,
// offsets from the block's first byte:
//
//   0        n        DWORD   number of selected items
//   4        4n       DWORD   offset of item i's identifier list
//   4+4n     L        DWORD   source folder path length in characters + 1
//   8+4n     2L       UTF-16  source folder path, NUL-terminated
//   8+4n+2L  ...              the n identifier lists, each whole with its
//                             2-byte terminator, back to back
//
// So the first list starts at 2 * (path length) + 4n + 10.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <shtypes.h>

#include <string>
#include <vector>

#include "item_id/module_item_id.h"

struct DirectoryData {
    std::wstring folderPath;
    std::vector<IdListHolder> items;   // relative to the folder, as selected
};

// The block's size for a selection; 0 when a list is null or the block
// would not fit 32-bit offsets.
SIZE_T DirectoryDataSize(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count);
HRESULT BuildDirectoryData(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count,
                           HGLOBAL* block);

// Reads a block of `size` bytes from anywhere. E_BAD_FORMAT_BLOCK when the
// count, an offset, the path or a list does not fit the block, the path is
// not terminated, or an identifier is not a valid module item.
HRESULT ParseDirectoryData(const void* block, SIZE_T size, DirectoryData* data);

// The format of a data object, read and checked.
HRESULT ReadDirectoryData(IDataObject* object, DirectoryData* data);
