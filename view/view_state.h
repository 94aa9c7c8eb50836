// The view's persisted state in the browser's view-state stream, and the
// icon-position and selection blocks it keeps across a refresh. Every part
// is read on its own, so that a short or damaged stream loses only that part.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

constexpr DWORD kViewStateMagic = 0x88000007;
constexpr int kViewStateColumns = 4;
constexpr int kDefaultColumnWidth = 120;

// Widths of columns 0 to 3 and the sort command: the 20 bytes after the magic.
struct ViewStateHead {
    int32_t widths[kViewStateColumns] = {kDefaultColumnWidth, kDefaultColumnWidth,
                                         kDefaultColumnWidth, kDefaultColumnWidth};
    uint32_t sortCommand = 0;
};

// Reads the magic and the head; false (and *head untouched) unless both were
// read fully and the magic matched.
bool ReadViewStateHead(IStream* stream, ViewStateHead* head);
// The 16 bytes of column order; false when short.
bool ReadColumnOrder(IStream* stream, int32_t order[kViewStateColumns]);
// The 4-byte size and then exactly that many bytes. True with an empty block
// when the size is 0; false when anything was short.
bool ReadIconPositionBlock(IStream* stream, std::vector<BYTE>* block);

// Magic, head, column order, block size and block; each write only after the
// previous one succeeded. The first failure is returned.
HRESULT WriteViewState(IStream* stream, const ViewStateHead& head,
                       const int32_t order[kViewStateColumns], const std::vector<BYTE>& iconBlock);

// What the blocks need to know about a row: its item's display name and full
// path, from the row's item data. False when the item cannot be read.
struct RowItemText {
    std::function<bool(LPARAM data, std::wstring* name)> displayName;
    std::function<bool(LPARAM data, std::wstring* path)> fullPath;
};

// Row count, then x, y, n and n characters (terminator included) per row.
std::vector<BYTE> BuildIconPositionBlock(HWND list, const RowItemText& rows);
// Places rows named in the block at their saved points, nudging rows already
// lying there by (+12, +12). Returns how many rows were placed.
int RestoreIconPositions(HWND list, const BYTE* block, size_t size, const RowItemText& rows);

// Count of selected rows, then n and n characters per selected row.
std::vector<BYTE> BuildSelectionBlock(HWND list, const RowItemText& rows);
// Selects the first row of each saved name, then focuses every row whose item
// has the focused path (when one is given).
void RestoreSelection(HWND list, const BYTE* block, size_t size, const std::wstring& focusedPath,
                      const RowItemText& rows);
// The full path of the focused row's item; empty when there is none.
std::wstring FocusedItemPath(HWND list, const RowItemText& rows);
