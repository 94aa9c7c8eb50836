// The one comparison of module items, shared by the folder, the view and the
// search results. Sort keys are the column header string ids; each column
// has an ascending and a descending key.
#pragma once
#include <windows.h>
#include <shtypes.h>

struct ModuleItemId;

enum SortKey : UINT {
    kSortNameAscending = 8197,
    kSortTypeAscending = 8198,
    kSortSizeAscending = 8199,        // two folders compare by name
    kSortModifiedAscending = 8200,
    kSortNameDescending = 8203,
    kSortTypeDescending = 8204,
    kSortSizeDescending = 8205,
    kSortModifiedDescending = 8206,
    kSortLocationAscending = 8303,    // parent path
    kSortLocationDescending = 8342,
    kSortPathAscending = 8350,        // full path
    kSortPathDescending = 8351,
    kSortTotalSizeAscending = 8410,   // size, folders and drives too
    kSortTotalSizeDescending = 8411,
    kSortFreeSpaceAscending = 8412,   // last-write field: a drive's free bytes
    kSortFreeSpaceDescending = 8413,
};

bool IsDescendingSortKey(UINT key);

// -1, 0 or 1. With foldersFirst a folder comes before a non-folder (after it
// for a descending key). Strings compare case-insensitively; an unknown key
// compares equal. Both items must be valid identifiers.
int CompareItems(LPCITEMIDLIST a, LPCITEMIDLIST b, UINT key, bool foldersFirst);
inline int CompareItems(const ModuleItemId* a, const ModuleItemId* b, UINT key, bool foldersFirst) {
    return CompareItems(reinterpret_cast<LPCITEMIDLIST>(a), reinterpret_cast<LPCITEMIDLIST>(b), key,
                        foldersFirst);
}
