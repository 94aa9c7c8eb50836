#include "namespace/compare_items.h"

#include <shellapi.h>

#include <string>

#include "namespace/module_item_id.h"

namespace {

struct KeyPair {
    UINT ascending;
    UINT descending;
};
const KeyPair kKeyPairs[] = {
    {SortKeys::NameAscending, SortKeys::NameDescending},
    {SortKeys::TypeAscending, SortKeys::TypeDescending},
    {SortKeys::SizeAscending, SortKeys::SizeDescending},
    {SortKeys::ModifiedAscending, SortKeys::ModifiedDescending},
    {SortKeys::LocationAscending, SortKeys::LocationDescending},
    {SortKeys::PathAscending, SortKeys::PathDescending},
    {SortKeys::TotalSizeAscending, SortKeys::TotalSizeDescending},
    {SortKeys::FreeSpaceAscending, SortKeys::FreeSpaceDescending},
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
    SHFILEINFOW info = {};
    if (!SHGetFileInfoW(ItemName(item), ItemAttributes(item) & (FILE_ATTRIBUTE_HIDDEN |
                                                                FILE_ATTRIBUTE_DIRECTORY),
                        &info, sizeof(info), SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES))
        return std::wstring();
    return info.szTypeName;
}

bool IsFolder(LPCITEMIDLIST item) { return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0; }

int CompareByColumn(LPCITEMIDLIST a, LPCITEMIDLIST b, UINT ascendingKey) {
    switch (ascendingKey) {
    case SortKeys::NameAscending:
        return CompareText(ItemName(a), ItemName(b));
    case SortKeys::TypeAscending:
        return CompareText(SortTypeName(a).c_str(), SortTypeName(b).c_str());
    case SortKeys::SizeAscending:
        if (IsFolder(a) && IsFolder(b)) return CompareText(ItemName(a), ItemName(b));
        return Sign(static_cast<LONG>(ItemSize(a)), static_cast<LONG>(ItemSize(b)));
    case SortKeys::TotalSizeAscending:
        return Sign(static_cast<LONG>(ItemSize(a)), static_cast<LONG>(ItemSize(b)));
    case SortKeys::ModifiedAscending:
    case SortKeys::FreeSpaceAscending:
        return Sign(ItemModified(a), ItemModified(b));
    case SortKeys::LocationAscending:
        return CompareText(ItemParentPath(ItemPath(a)).c_str(), ItemParentPath(ItemPath(b)).c_str());
    case SortKeys::PathAscending:
        return CompareText(ItemPath(a), ItemPath(b));
    default:
        return 0;
    }
}

}  // namespace

bool IsDescendingSortKey(UINT key) { return AscendingKey(key) != key; }

UINT ReverseSortKey(UINT key) {
    for (const KeyPair& pair : kKeyPairs) {
        if (pair.ascending == key) return pair.descending;
        if (pair.descending == key) return pair.ascending;
    }
    return key;
}

int CompareItems(LPCITEMIDLIST a, LPCITEMIDLIST b, UINT key, bool foldersFirst) {
    int result = 0;
    if (foldersFirst && IsFolder(a) != IsFolder(b)) {
        result = IsFolder(a) ? -1 : 1;
    } else {
        result = CompareByColumn(a, b, AscendingKey(key));
    }
    return IsDescendingSortKey(key) ? -result : result;
}
