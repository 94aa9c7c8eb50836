// Single user-level operations on the module: one server call each, a few
// checks before it and, on failure, the message that belongs to the
// operation in a box owned by `owner`. Every failure comes back unchanged;
// E_OPERATION_CANCELLED comes back without a message. Call them on the
// thread that owns `access`, inside EnterComThread.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <string>

#include "module_access/module_access_h.h"

// The drive argument may be a drive path ("\A:", "\A:\...") or "A:"; the
// server gets the letter and colon.
HRESULT SetDriveLabel(ModuleAccess* access, HWND owner, const wchar_t* drive, const wchar_t* label);
HRESULT SetItemAttributes(ModuleAccess* access, HWND owner, const wchar_t* path, DWORD attributes);
HRESULT CreateStandardFoldersOn(ModuleAccess* access, HWND owner, const wchar_t* drive);
HRESULT FormatDrive(ModuleAccess* access, HWND owner, const wchar_t* drive);

// Creates "New folder", or the first free "New folder (n)" from n = 2, in
// parentPath and returns its path; empty on failure (*result says why).
std::wstring CreateNewFolder(ModuleAccess* access, HWND owner, const wchar_t* parentPath,
                             HRESULT* result = nullptr);

// Renames `item` (a ModuleItemId) to newName within its folder. Drives give
// E_FAIL silently; a name with one of \ / : * ? " < > | or a name already
// taken gives its message and E_FAIL without a server call, and so does a
// path or name longer than the module can hold (the rename message, with
// ERROR_FILENAME_EXCED_RANGE). *newPath gets the renamed item's path on
// success.
HRESULT RenameItem(ModuleAccess* access, HWND owner, LPCITEMIDLIST item, const wchar_t* newName,
                   std::wstring* newPath = nullptr);

// True when a name holds a character the module's file system refuses.
bool HasInvalidNameCharacter(const wchar_t* name);
// "A:" for "\A:", "\A:\Data" or "A:".
std::wstring DriveArgument(const wchar_t* drive);
