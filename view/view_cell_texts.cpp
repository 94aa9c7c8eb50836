#include "view/view_cell_texts.h"

#include "common/formatting.h"
#include "item_id/module_item_id.h"

std::wstring CellText(ListKind kind, int column, LPCITEMIDLIST item) {
    int count = 0;
    const ColumnInfo* columns = ListColumns(kind, &count);
    if (!item || column < 0 || column >= count) return std::wstring();
    const bool folder = (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0;
    switch (columns[column].content) {
    case ColumnContent::Name:
        return kind == ListKind::Root ? DriveDisplayName(item) : ItemName(item);
    case ColumnContent::InFolder:
        return InFolderText(ItemPath(item));
    case ColumnContent::Size:
        if (folder || (kind == ListKind::Search && IsDriveItem(item))) return std::wstring();
        return FormatByteSize(ItemSize(item));
    case ColumnContent::TotalSize:
        return FormatByteSize(ItemSize(item));
    case ColumnContent::Type:
        return ItemTypeName(item);
    case ColumnContent::Modified:
        return FormatDateTime(ItemModified(item), true, true, false);
    case ColumnContent::FreeSpace: {
        // A drive keeps its free bytes in the time field.
        double free = ItemModified(item);
        return FormatByteSize(free > 0 ? static_cast<uint64_t>(free) : 0);
    }
    }
    return std::wstring();
}

int RowIconIndex(LPCITEMIDLIST item) {
    int index = ItemIconIndex(item, true);
    return index < 0 ? 0 : index;
}

int RowIconCache::IndexFor(LPCITEMIDLIST item) {
    std::wstring key;
    if (IsDriveItem(item)) {
        key = L"drive";
    } else {
        const wchar_t* name = ItemName(item);
        const wchar_t* dot = wcsrchr(name, L'.');
        key.assign(1, static_cast<wchar_t>(L'0' + (ItemAttributes(item) & kShellLookAttributes)));
        if (dot) key += dot;
        CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
    }
    auto found = indexes_.find(key);
    if (found != indexes_.end()) return found->second;
    int index = RowIconIndex(item);
    indexes_.emplace(std::move(key), index);
    return index;
}

LPCITEMIDLIST AsModuleItem(LPCITEMIDLIST item) { return item && IsValidItemId(item) ? item : nullptr; }
