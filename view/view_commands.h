// Command identifiers of the module view. Most double as the string id of
// their status-bar help text; the sort commands are also the sort keys of
// the item comparison.
#pragma once
#include <windows.h>

constexpr UINT kCmdViewLargeIcons = 8192;
constexpr UINT kCmdViewSmallIcons = 8193;
constexpr UINT kCmdViewList = 8194;
constexpr UINT kCmdViewDetails = 8195;
constexpr UINT kCmdProperties = 8196;

constexpr UINT kSortNameAscending = 8197;
constexpr UINT kSortTypeAscending = 8198;
constexpr UINT kSortSizeAscending = 8199;
constexpr UINT kSortDateAscending = 8200;
constexpr UINT kCmdAutoArrange = 8201;
constexpr UINT kCmdSnapToGrid = 8202;
constexpr UINT kSortNameDescending = 8203;
constexpr UINT kSortTypeDescending = 8204;
constexpr UINT kSortSizeDescending = 8205;
constexpr UINT kSortDateDescending = 8206;
constexpr UINT kSortFolderAscending = 8303;
constexpr UINT kSortFolderDescending = 8342;
constexpr UINT kSortPathAscending = 8350;
constexpr UINT kSortPathDescending = 8351;
constexpr UINT kSortCapacityAscending = 8410;
constexpr UINT kSortCapacityDescending = 8411;
constexpr UINT kSortFreeSpaceAscending = 8412;
constexpr UINT kSortFreeSpaceDescending = 8413;

constexpr UINT kCmdRefresh = 8386;

// Set in the list's sort parameter when folders go before files.
constexpr LPARAM kSortFoldersFirst = 0x10000;

// Accelerator tables: focus in the view, focus elsewhere.
constexpr UINT kAcceleratorsViewFocus = 227;
constexpr UINT kAcceleratorsOtherFocus = 250;
