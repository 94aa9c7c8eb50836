// The module's own Properties command: the same pages as Explorer shows, in a
// modeless sheet on a thread of its own under a hidden "KTX Parent Window",
// until the user closes it.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <string>

// What a caller may keep of an opened sheet (tests wait on the thread).
struct ModulePropertiesSheet {
    HWND sheet = nullptr;     // the sheet's window, owned by its thread
    HANDLE thread = nullptr;  // closed by the caller
};

// Shows the properties of `items` (item-identifier lists whose last item
// counts; copied before the call returns) in `folderPath`, or with no items
// of folderPath itself: the module folder when empty, else a drive or
// folder. Returns once the sheet is up, or with the failure that kept it from
// coming up.
HRESULT ShowModuleProperties(const LPCITEMIDLIST* items, UINT count, const wchar_t* folderPath,
                             ModulePropertiesSheet* opened = nullptr);

// The sheet's caption (the platform adds "Properties for"): "Module", the
// item's name or "Module Disk A:", with ", ..." after the first of several.
std::wstring ModulePropertiesCaption(const LPCITEMIDLIST* items, UINT count,
                                     const wchar_t* folderPath);
