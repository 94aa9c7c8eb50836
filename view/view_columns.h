// The three kinds of item list the view shows, their columns, the list
// control's styles, and the sort commands bound to column clicks.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <string>

enum class ListKind {
    Folder,   // a drive or a folder: Name, Size, Type, Modified
    Root,     // the module's drives: Name, Type, Total Size, Free Space
    Search,   // search results: Name, in folder, Size, Type, Modified
};

enum class ColumnContent { Name, InFolder, Size, Type, Modified, TotalSize, FreeSpace };

struct ColumnInfo {
    ColumnContent content;
    UINT titleId;
    int format;             // LVCFMT_LEFT or LVCFMT_RIGHT
    UINT ascendingSort;
    UINT descendingSort;
};

constexpr int kMaxListColumns = 5;

// The columns of a list kind, in order; *count receives their number.
const ColumnInfo* ListColumns(ListKind kind, int* count);
int ListColumnCount(ListKind kind);

// Child-window id of the item list: 3 for the root's drive list, else 1.
int ListControlId(ListKind kind);

// The shell's FOLDERVIEWMODE numbers; anything unknown becomes details.
constexpr int kViewModeLargeIcons = 1;
constexpr int kViewModeSmallIcons = 2;
constexpr int kViewModeList = 3;
constexpr int kViewModeDetails = 4;
int NormalizedViewMode(int mode);
bool IsIconMode(int mode);

// Window style of the item list for a view mode and the folder flags.
DWORD ListWindowStyle(int viewMode, UINT folderFlags, bool driveList);
// The list-type bits (LVS_ICON ... LVS_REPORT) of a view mode.
DWORD ListTypeStyle(int viewMode);

// Sort parameter handed to LVM_SORTITEMS: the command, with the folders-first
// bit for every command but the "in folder" pair.
LPARAM SortParameter(UINT sortCommand);

// The command a click on `column` sends: its ascending command, or the
// descending one when the list is already sorted ascending by it. 0 when the
// column does not exist.
UINT ColumnClickCommand(ListKind kind, int column, UINT currentSort);

// Whether an item gets a row under the folder flags and Explorer's settings
// (the root's drives always do; the caller skips this test there).
bool ItemGetsRow(DWORD attributes, UINT folderFlags, bool showHidden, bool showSystem, bool showSuperHidden);

// The "in folder" text of a path: up to its last "\", without a leading "\";
// a drive without a later "\" gives the drive.
std::wstring InFolderText(const std::wstring& path);
