#include "item_id/compare_items.h"

#include <shellapi.h>

#include <string>

#include "item_id/module_item_id.h"

namespace {

struct KeyPair {
    UINT ascending;
    UINT descending;
};
const KeyPair kKeyPairs[] = {
    {kSortNameAscending, kSortNameDescending},
    {kSortTypeAscending, kSortTypeDescending},
    {kSortSizeAscending, kSortSizeDescending},
    {kSortModifiedAscending, kSortModifiedDescending},
    {kSortLocationAscending, kSortLocationDescending},
    {kSortPathAscending, kSortPathDescending},
    {kSortTotalSizeAscending, kSortTotalSizeDescending},
    {kSortFreeSpaceAscending, kSortFreeSpaceDescending},
};

UINT AscendingKey(UINT key) {
    for (const KeyPair& pair : kKeyPairs)
        if (pair.descending == key) return pair.ascending;
    return key;
}

template <class T>
int Sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareText(const wchar_t* a, const wchar_t* b) {
    int result = lstrcmpiW(a, b);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

// The shell's type name of the item's name, as far as the hidden and folder
// bits go; drives are asked about by name like anything else.
std::wstring SortTypeName(LPCITEMIDLIST item) {
    return TypeNameForName(ItemName(item), ItemAttributes(item));
}

bool IsFolder(LPCITEMIDLIST item) { return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0; }

int CompareByColumn(LPCITEMIDLIST a, LPCITEMIDLIST b, UINT ascendingKey) {
    switch (ascendingKey) {
    case kSortNameAscending:
        return CompareText(ItemName(a), ItemName(b));
    case kSortTypeAscending:
        return CompareText(SortTypeName(a).c_str(), SortTypeName(b).c_str());
    case kSortSizeAscending:
        if (IsFolder(a) && IsFolder(b)) return CompareText(ItemName(a), ItemName(b));
        return Sign(static_cast<LONG>(ItemSize(a)), static_cast<LONG>(ItemSize(b)));
    case kSortTotalSizeAscending:
        return Sign(static_cast<LONG>(ItemSize(a)), static_cast<LONG>(ItemSize(b)));
    case kSortModifiedAscending:
    case kSortFreeSpaceAscending:
        return Sign(ItemModified(a), ItemModified(b));
    case kSortLocationAscending:
        return CompareText(ItemParentPath(ItemPath(a)).c_str(), ItemParentPath(ItemPath(b)).c_str());
    case kSortPathAscending:
        return CompareText(ItemPath(a), ItemPath(b));
    default:
        return 0;
    }
}

}  // namespace

bool IsDescendingSortKey(UINT key) { return AscendingKey(key) != key; }

int CompareItems(LPCITEMIDLIST a, LPCITEMIDLIST b, UINT key, bool foldersFirst) {
    int result = 0;
    if (foldersFirst && IsFolder(a) != IsFolder(b)) {
        result = IsFolder(a) ? -1 : 1;
    } else {
        result = CompareByColumn(a, b, AscendingKey(key));
    }
    return IsDescendingSortKey(key) ? -result : result;
}
