#include "namespace/folder_columns.h"

#include <commctrl.h>

#include "common/formatting.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"

const GUID kStoragePropertySet = {
    0xB725F130, 0x47EF, 0x101A, {0xA5, 0xF1, 0x02, 0x60, 0x8C, 0x9E, 0xEB, 0xAC}};

namespace {

constexpr SHCOLSTATEF kText = SHCOLSTATE_TYPE_STR | SHCOLSTATE_ONBYDEFAULT;
constexpr SHCOLSTATEF kNumber = SHCOLSTATE_TYPE_INT | SHCOLSTATE_ONBYDEFAULT;
constexpr SHCOLSTATEF kDate = SHCOLSTATE_TYPE_DATE | SHCOLSTATE_ONBYDEFAULT;

const FolderColumn kRootColumns[kFolderColumnCount] = {
    {IDS_COL_NAME, LVCFMT_LEFT, kText, kStorageName},
    {IDS_COL_TYPE, LVCFMT_LEFT, kText, kStorageType},
    {IDS_COL_TOTAL_SIZE, LVCFMT_RIGHT, kNumber, kStorageSize},
    {IDS_COL_FREE_SPACE, LVCFMT_RIGHT, kNumber, kStorageFreeSpace},
};
const FolderColumn kItemColumns[kFolderColumnCount] = {
    {IDS_COL_NAME, LVCFMT_LEFT, kText, kStorageName},
    {IDS_COL_SIZE, LVCFMT_RIGHT, kNumber, kStorageSize},
    {IDS_COL_TYPE, LVCFMT_LEFT, kText, kStorageType},
    {IDS_COL_MODIFIED, LVCFMT_LEFT, kDate, kStorageModified},
};

}  // namespace

uint64_t FreeBytesOfDrive(LPCITEMIDLIST item) {
    double free = ItemModified(item);
    if (!(free >= 0)) return 0;  // negative, or not a number at all
    if (free >= 18446744073709551615.0) return UINT64_MAX;
    return static_cast<uint64_t>(free);
}

const FolderColumn& FolderColumnAt(bool namespaceRoot, UINT column) {
    return (namespaceRoot ? kRootColumns : kItemColumns)[column < kFolderColumnCount ? column : 0];
}

std::wstring ItemColumnText(LPCITEMIDLIST item, UINT column, int* format) {
    *format = LVCFMT_LEFT;
    if (IsDriveItem(item)) {
        switch (column) {
        case 0: return ItemName(item);
        case 1: return ItemTypeName(item);
        case 2:
            *format = LVCFMT_RIGHT;
            return FormatByteSize(ItemSize(item));
        case 3:
            *format = LVCFMT_RIGHT;
            return FormatByteSize(FreeBytesOfDrive(item));
        default: return std::wstring();
        }
    }
    switch (column) {
    case 0: return ItemName(item);
    case 1:
        *format = LVCFMT_RIGHT;
        return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) ? std::wstring()
                                                                 : FormatByteSize(ItemSize(item));
    case 2: return ItemTypeName(item);
    case 3: return FormatDateTime(ItemModified(item), true, true, false);
    default: return std::wstring();
    }
}
