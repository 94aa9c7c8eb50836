// "Shell IDList Array", the shell's own selection format (CIDA): UINT cidl,
// then cidl + 1 UINT offsets from the block's first byte, the first to the
// parent folder's absolute identifier list, the others to the items' lists
// relative to it. Building it, and reading it back from an untrusted block.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <shtypes.h>

#include <vector>

#include "item_id/module_item_id.h"

struct ShellIdListArray {
    IdListHolder parent;               // absolute; may be empty (the desktop)
    std::vector<IdListHolder> items;   // relative to the parent

    // The parent's list followed by item i's (null on allocation failure).
    LPITEMIDLIST AbsoluteItem(size_t i) const;
};

// The block's size; 0 when a list is null or it would not fit 32-bit offsets.
SIZE_T ShellIdListArraySize(LPCITEMIDLIST parent, const LPCITEMIDLIST* items, UINT count);
HRESULT BuildShellIdListArray(LPCITEMIDLIST parent, const LPCITEMIDLIST* items, UINT count,
                              HGLOBAL* block);

// E_BAD_FORMAT_BLOCK when the count, an offset or a list does not fit.
HRESULT ParseShellIdListArray(const void* block, SIZE_T size, ShellIdListArray* array);

// The format of a data object, read and checked.
HRESULT ReadShellIdListArray(IDataObject* object, ShellIdListArray* array);
