// The texts of a property sheet's selection: counts, sizes, the shared type
// and location, and the state of each attribute box. Plain functions over
// numbers and strings, so that the pages only put them into controls.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// "1 File" or "<n> Files", then ", 1 Folder" or ", <n> Folders".
std::wstring CountsText(uint64_t files, uint64_t folders);
// "1 byte (1 Byte)" for exactly one byte, else "<compact> (<grouped> Bytes)".
std::wstring SizeText(uint64_t bytes);
// The grouped number and " Bytes": a drive page's exact figures.
std::wstring BytesText(uint64_t bytes);
// The one text for several items: "<all-prefix> <common>" when every text is
// the same, else the various-text. One text alone is returned as it is.
std::wstring SharedText(const std::vector<std::wstring>& texts, UINT allPrefixId,
                        UINT variousId);

// The attribute boxes of the general pages, with the attribute bit each sets.
struct AttributeBox {
    int controlId;
    DWORD bit;
};
extern const AttributeBox kAttributeBoxes[4];

// BST_UNCHECKED when no item has the bit, BST_CHECKED when all have it,
// BST_INDETERMINATE when only some do.
UINT AttributeBoxState(DWORD attributesAny, DWORD attributesMixed, DWORD bit);
// An item's attributes after apply: checked boxes set their bit, unchecked
// ones clear it, indeterminate ones leave it as it was.
DWORD AppliedAttributes(DWORD current, const UINT (&boxStates)[4]);

// The title of a drive's page among several: "Module Disk A:".
std::wstring DrivePageTitle(const wchar_t* drivePath);
