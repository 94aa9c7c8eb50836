// The texts, icons and visibility of the list's rows: what each column shows
// for an item, and which items get a row at all.
#pragma once
#include <windows.h>

#include <string>

#include "view/view_columns.h"

struct ModuleItemId;

// The text of `column` of a list of `kind` for an item.
std::wstring CellText(ListKind kind, int column, const ModuleItemId* item);
// "Module Disk (A:)": the fixed name of a drive row.
std::wstring DriveRowName(const ModuleItemId* item);
// The system image list index of a row's icon; 0 when the shell has none.
int RowIconIndex(const ModuleItemId* item);
// The seven fields of an item separated by "|", as the search file keeps them.
std::wstring ItemText(const ModuleItemId* item);
