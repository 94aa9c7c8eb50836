// Command identifiers of the module view. Most double as the string id of
// their status-bar help text; the sort commands are also the sort keys of
// the item comparison.
#pragma once
#include <windows.h>

#include "item_id/compare_items.h"   // the sort commands are the sort keys

constexpr UINT kCmdViewLargeIcons = 8192;
constexpr UINT kCmdViewSmallIcons = 8193;
constexpr UINT kCmdViewList = 8194;
constexpr UINT kCmdViewDetails = 8195;
constexpr UINT kCmdProperties = 8196;

constexpr UINT kCmdAutoArrange = 8201;
constexpr UINT kCmdSnapToGrid = 8202;

constexpr UINT kCmdRefresh = 8386;

// Set in the list's sort parameter when folders go before files.
constexpr LPARAM kSortFoldersFirst = 0x10000;

// Accelerator tables: focus in the view, focus elsewhere.
constexpr UINT kAcceleratorsViewFocus = 227;
constexpr UINT kAcceleratorsOtherFocus = 250;
