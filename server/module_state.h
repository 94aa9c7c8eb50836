// Module-wide state set up when the library is loaded: the shell and
// common-control versions, the Windows family, the registered clipboard
// formats, the window classes (common/window_classes.h) and the shared menu.
// Read-only after load; the accessors also work in programs that link the
// library's code without loading the DLL (they fill in what they need on
// first use).
#pragma once
#include <windows.h>

// The clipboard formats (ModuleClipboardFormat, ClipboardFormatId) are
// registered from here but owned by the transfer code.
#include "transfer/clipboard_formats.h"

struct LibraryVersion {
    DWORD major = 4;
    DWORD minor = 0;
};


HINSTANCE ModuleInstance();
LibraryVersion Shell32Version();
LibraryVersion Comctl32Version();
// 0 and 1: the consumer line (1 from Windows 98 on); 2 and 3: the NT line
// (3 from Windows 2000 on).
int WindowsFamily();
int ClassifyWindowsFamily(DWORD platformId, DWORD majorVersion, DWORD minorVersion);

// The load sequence after the resource language: false when the library must
// not load (no shell allocator, a required clipboard format or a window class
// missing).
bool InitializeModuleState(HINSTANCE instance);
void TerminateModuleState();
