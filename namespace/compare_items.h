// The one comparison of module items, shared by the folder, the view and the
// search results. Sort keys are the column header string ids; each column
// has an ascending and a descending key.
#pragma once
#include <windows.h>
#include <shtypes.h>

struct ModuleItemId;

namespace SortKeys {
enum : UINT {
    NameAscending = 8197,
    TypeAscending = 8198,
    SizeAscending = 8199,        // two folders compare by name
    ModifiedAscending = 8200,
    NameDescending = 8203,
    TypeDescending = 8204,
    SizeDescending = 8205,
    ModifiedDescending = 8206,
    LocationAscending = 8303,    // parent path
    LocationDescending = 8342,
    PathAscending = 8350,        // full path
    PathDescending = 8351,
    TotalSizeAscending = 8410,   // size, folders and drives too
    TotalSizeDescending = 8411,
    FreeSpaceAscending = 8412,   // last-write field: a drive's free bytes
    FreeSpaceDescending = 8413,
};
}  // namespace SortKeys

bool IsDescendingSortKey(UINT key);
// The other direction of the same column; an unknown key stays as it is.
UINT ReverseSortKey(UINT key);

// -1, 0 or 1. With foldersFirst a folder comes before a non-folder (after it
// for a descending key). Strings compare case-insensitively; an unknown key
// compares equal. Both items must be valid identifiers.
int CompareItems(LPCITEMIDLIST a, LPCITEMIDLIST b, UINT key, bool foldersFirst);
inline int CompareItems(const ModuleItemId* a, const ModuleItemId* b, UINT key, bool foldersFirst) {
    return CompareItems(reinterpret_cast<LPCITEMIDLIST>(a), reinterpret_cast<LPCITEMIDLIST>(b), key,
                        foldersFirst);
}
