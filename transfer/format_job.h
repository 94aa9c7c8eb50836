// Formatting a module drive from its own modeless dialog, which lives on a
// thread of its own under a hidden "KTX Parent Window" until it is closed.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/window_classes.h"  // kParentWindowClass, the dialog's owner

// Opens the format dialog for the drive at drivePath ("\A:") whose capacity
// is `capacity` bytes, and returns once the dialog is up (or could not be
// made). When `thread` is given it receives a handle to the dialog's thread.
HRESULT OpenFormatDialog(const std::wstring& drivePath, uint64_t capacity,
                         HANDLE* thread = nullptr);

// The dialog's title for a drive: the template's title, a space, the drive path.
std::wstring FormatDialogTitle(const std::wstring& templateTitle, const std::wstring& drivePath);
// The capacity as the dialog offers it: whole kilobytes, rounded up, and " KB".
std::wstring FormatCapacityText(uint64_t capacity);
