// The pages of the property sheet: their window procedures, what each shows
// and how each applies its changes through the module-access server.
#pragma once
#include <windows.h>
#include <prsht.h>

#include <string>

class PropertySheetHandler;

enum class SheetPageKind { ModuleInformation, Port, Drive, General };

// A page over `pageTemplate` (kept alive by the handler). `index` is the
// page's position among the handler's pages: its changed bit, and for a
// drive page the drive it shows. A non-empty title replaces the template's.
// The page holds a reference on the handler until it is destroyed.
HPROPSHEETPAGE CreateSheetPage(PropertySheetHandler* handler, SheetPageKind kind, UINT index,
                               const DLGTEMPLATE* pageTemplate, const std::wstring& title);
