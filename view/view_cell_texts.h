// The texts, icons and visibility of the list's rows: what each column shows
// for an item, and which items get a row at all.
#pragma once
#include <windows.h>

#include <string>
#include <unordered_map>

#include "view/view_columns.h"

#include <shtypes.h>

// The text of `column` of a list of `kind` for an item.
std::wstring CellText(ListKind kind, int column, LPCITEMIDLIST item);
// The system image list index of a row's icon; 0 when the shell has none.
int RowIconIndex(LPCITEMIDLIST item);

// The same, asked of the shell once per kind of item: with no file to look
// at, the shell's answer depends only on the extension and on the folder and
// hidden bits, and asking costs more than everything else a row needs.
class RowIconCache {
public:
    int IndexFor(LPCITEMIDLIST item);
    void Clear() { indexes_.clear(); }

private:
    std::unordered_map<std::wstring, int> indexes_;
};
// The item an identifier from outside names, or null when it is not ours.
LPCITEMIDLIST AsModuleItem(LPCITEMIDLIST item);
