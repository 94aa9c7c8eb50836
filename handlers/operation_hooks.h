// The operations that the view's commands and the context menu start but
// that live in other parts of the library: the clipboard and paste transfer,
// opening folders, the property sheet, help, the search window and the About
// box. Every command reaches them only through these functions, so each one
// is joined to its operation in exactly one place (operation_hooks.cpp).
// Until an operation is there its function answers E_NOTIMPL (or false).
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <string>
#include <vector>

#include "module_access/module_access_h.h"

// Puts a data object for `items` of `folderPath` on the clipboard; `effect`
// is 2 for Cut, 1 for Copy. `view` and `sink` are the view's (may be null).
HRESULT StartCutOrCopy(const std::wstring& folderPath, IUnknown* view, const LPCITEMIDLIST* items,
                       UINT count, DWORD effect, IModuleChangeSink* sink);
// Whether the clipboard holds something a paste into the module can use.
bool ClipboardCanPaste();
// Pastes the clipboard's contents into the module folder `destination`.
HRESULT StartPaste(const std::wstring& destination, HWND owner);
// Opens (8214) or explores (8213) the folders and drives among `items` (each
// relative to `folderList`) in windows of their own, except the one equal to
// `contextItem`; files bring one message.
HRESULT StartOpenOrExplore(UINT command, HWND owner, LPCITEMIDLIST folderList,
                           const LPCITEMIDLIST* items, UINT count, LPCITEMIDLIST contextItem);
// The same for items named by module path (the search list).
HRESULT StartOpenOrExplorePaths(UINT command, HWND owner, const std::vector<std::wstring>& paths,
                                ModuleAccess* access);

// The property sheet of `items` of `folderPath` (none: of the folder itself),
// run on the calling thread until it closes. It calls `ready` once the sheet
// is up or has failed, with that result.
struct PropertySheetReady {
    virtual void SheetReady(HRESULT result) = 0;
};
HRESULT RunPropertySheet(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count,
                         PropertySheetReady* ready);

// The help file, opened for the command `id` (8270 Help Topics, 8390 F1).
HRESULT StartHelp(UINT id, HWND owner);
// A search window on its own thread: `startFile` a saved search or null,
// `lookIn` the module folder to search or null.
HRESULT StartSearchWindow(const wchar_t* startFile, const wchar_t* lookIn);
// The About box "Info about Module", modal to `owner`.
void StartAboutBox(HWND owner);

// The same operations as an interface, so that tests can see what a command
// started. The functions above call the installed table; the default table
// holds the library's operations.
class OperationTable {
public:
    virtual ~OperationTable() = default;
    virtual HRESULT CutOrCopy(const std::wstring& folderPath, IUnknown* view, const LPCITEMIDLIST* items,
                              UINT count, DWORD effect, IModuleChangeSink* sink);
    virtual bool CanPaste();
    virtual HRESULT Paste(const std::wstring& destination, HWND owner);
    virtual HRESULT OpenOrExplore(UINT command, HWND owner, LPCITEMIDLIST folderList,
                                  const LPCITEMIDLIST* items, UINT count, LPCITEMIDLIST contextItem);
    virtual HRESULT OpenOrExplorePaths(UINT command, HWND owner, const std::vector<std::wstring>& paths,
                                       ModuleAccess* access);
    virtual HRESULT PropertySheet(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count,
                                  PropertySheetReady* ready);
    virtual HRESULT Help(UINT id, HWND owner);
    virtual HRESULT SearchWindow(const wchar_t* startFile, const wchar_t* lookIn);
    virtual void AboutBox(HWND owner);
};
// The search window and its About box live in a layer above this one; the
// library hands them over when it loads.
using SearchWindowOpener = HRESULT (*)(const wchar_t* startFile, const wchar_t* lookIn);
using AboutBoxShower = void (*)(HWND owner);
void SetSearchEntryPoints(SearchWindowOpener open, AboutBoxShower about);

// Installs `table` (null: the library's own) and returns the one it replaces.
OperationTable* InstallOperationTable(OperationTable* table);
