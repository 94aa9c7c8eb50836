// The two parts of the browser's status bar while the view is shown: how
// many objects (or how many selected) and how many bytes they hold.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

struct StatusTexts {
    std::wstring count;   // part 0
    std::wstring size;    // part 1
};

// Sizes are summed as the status bar always has: in a signed 32-bit sum that
// wraps. Folders and drives are not counted by the caller.
int32_t AddToStatusSum(int32_t sum, uint32_t size);

// No selection: all items of the view (filtered ones included) and the size
// of all its files, even when 0. With a selection: the selected rows and the
// selected files' size, empty when 0.
StatusTexts ComposeStatusTexts(int selectedCount, int itemCount, int32_t fileBytes);

// Width of part 0: the selected-count text for a billion objects, measured
// in `window`'s device context; 256 when measuring fails.
int StatusCountPartWidth(HWND window);

// Puts the texts into a status-bar control: simple mode off, two parts
// (part 0 `countWidth` wide), no icons. False when the parts cannot be set.
bool ShowStatusTexts(HWND statusBar, int countWidth, const StatusTexts& texts);
