#include "view/view_columns.h"

#include <shlobj.h>

#include "resources/string_ids.h"
#include "view/view_commands.h"

namespace {

const ColumnInfo kFolderColumns[] = {
    {ColumnContent::Name, IDS_COL_NAME, LVCFMT_LEFT, kSortNameAscending, kSortNameDescending},
    {ColumnContent::Size, IDS_COL_SIZE, LVCFMT_RIGHT, kSortSizeAscending, kSortSizeDescending},
    {ColumnContent::Type, IDS_COL_TYPE, LVCFMT_LEFT, kSortTypeAscending, kSortTypeDescending},
    {ColumnContent::Modified, IDS_COL_MODIFIED, LVCFMT_LEFT, kSortModifiedAscending, kSortModifiedDescending},
};

const ColumnInfo kRootColumns[] = {
    {ColumnContent::Name, IDS_COL_NAME, LVCFMT_LEFT, kSortNameAscending, kSortNameDescending},
    {ColumnContent::Type, IDS_COL_TYPE, LVCFMT_LEFT, kSortTypeAscending, kSortTypeDescending},
    {ColumnContent::TotalSize, IDS_COL_TOTAL_SIZE, LVCFMT_RIGHT, kSortTotalSizeAscending,
     kSortTotalSizeDescending},
    {ColumnContent::FreeSpace, IDS_COL_FREE_SPACE, LVCFMT_RIGHT, kSortFreeSpaceAscending,
     kSortFreeSpaceDescending},
};

const ColumnInfo kSearchColumns[] = {
    {ColumnContent::Name, IDS_COL_NAME, LVCFMT_LEFT, kSortNameAscending, kSortNameDescending},
    {ColumnContent::InFolder, IDS_COL_IN_FOLDER, LVCFMT_LEFT, kSortLocationAscending,
     kSortLocationDescending},
    {ColumnContent::Size, IDS_COL_SIZE, LVCFMT_RIGHT, kSortSizeAscending, kSortSizeDescending},
    {ColumnContent::Type, IDS_COL_TYPE, LVCFMT_LEFT, kSortTypeAscending, kSortTypeDescending},
    {ColumnContent::Modified, IDS_COL_MODIFIED, LVCFMT_LEFT, kSortModifiedAscending, kSortModifiedDescending},
};

}  // namespace

const ColumnInfo* ListColumns(ListKind kind, int* count) {
    switch (kind) {
    case ListKind::Root:
        *count = ARRAYSIZE(kRootColumns);
        return kRootColumns;
    case ListKind::Search:
        *count = ARRAYSIZE(kSearchColumns);
        return kSearchColumns;
    case ListKind::Folder:
    default:
        *count = ARRAYSIZE(kFolderColumns);
        return kFolderColumns;
    }
}

int ListColumnCount(ListKind kind) {
    int count = 0;
    ListColumns(kind, &count);
    return count;
}

int ListControlId(ListKind kind) { return kind == ListKind::Root ? 3 : 1; }

int NormalizedViewMode(int mode) {
    return mode >= kViewModeLargeIcons && mode <= kViewModeDetails ? mode : kViewModeDetails;
}

bool IsIconMode(int mode) { return mode == kViewModeLargeIcons || mode == kViewModeSmallIcons; }

DWORD ListTypeStyle(int viewMode) {
    switch (NormalizedViewMode(viewMode)) {
    case kViewModeLargeIcons: return LVS_ICON;
    case kViewModeSmallIcons: return LVS_SMALLICON;
    case kViewModeList: return LVS_LIST;
    default: return LVS_REPORT;
    }
}

DWORD ListWindowStyle(int viewMode, UINT folderFlags, bool driveList) {
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LVS_SHAREIMAGELISTS;
    if (!driveList) style |= LVS_EDITLABELS;
    style |= ListTypeStyle(viewMode);
    if (folderFlags & FWF_AUTOARRANGE) style |= LVS_AUTOARRANGE;
    if (folderFlags & FWF_SINGLESEL) style |= LVS_SINGLESEL;
    if (folderFlags & FWF_NOSCROLL) style |= LVS_NOSCROLL;
    if (folderFlags & FWF_ALIGNLEFT) style |= LVS_ALIGNLEFT;
    if (folderFlags & FWF_SHOWSELALWAYS) style |= LVS_SHOWSELALWAYS;
    return style;
}

LPARAM SortParameter(UINT sortCommand) {
    if (sortCommand == kSortLocationAscending || sortCommand == kSortLocationDescending) return sortCommand;
    return static_cast<LPARAM>(sortCommand) | kSortFoldersFirst;
}

UINT ColumnClickCommand(ListKind kind, int column, UINT currentSort) {
    int count = 0;
    const ColumnInfo* columns = ListColumns(kind, &count);
    if (column < 0 || column >= count) return 0;
    const ColumnInfo& clicked = columns[column];
    return currentSort == clicked.ascendingSort ? clicked.descendingSort : clicked.ascendingSort;
}

bool ItemGetsRow(DWORD attributes, UINT folderFlags, bool showHidden, bool showSystem, bool showSuperHidden) {
    const bool hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    const bool system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && (folderFlags & FWF_NOSUBFOLDERS)) return false;
    if (hidden && !showHidden) return false;
    if (system && !showSystem) return false;
    if (hidden && system && !showSuperHidden) return false;
    return true;
}

std::wstring InFolderText(const std::wstring& path) {
    std::wstring rest = !path.empty() && path[0] == L'\\' ? path.substr(1) : path;
    size_t slash = rest.rfind(L'\\');
    if (slash != std::wstring::npos) return rest.substr(0, slash);
    if (rest.size() >= 2 && rest[1] == L':') return rest.substr(0, 2);
    return std::wstring();
}
