// Module-wide state set up when the library is loaded: the shell and
// common-control versions, the Windows family, the registered clipboard
// formats, the window classes (common/window_classes.h) and the shared menu.
// Read-only after load; the accessors also work in programs that link the
// library's code without loading the DLL (they fill in what they need on
// first use).
#pragma once
#include <windows.h>

struct LibraryVersion {
    DWORD major = 4;
    DWORD minor = 0;
};

// The clipboard formats the library uses, in registration order.
enum class ModuleClipboardFormat {
    ShellIdListArray,
    FileContents,
    FileGroupDescriptorW,
    PreferredDropEffect,
    PasteSucceeded,
    PerformedDropEffect,
    LogicalPerformedDropEffect,
    DirectoryData,
    Converted,
    ViewAddress,
    TargetClsid,
    Count
};

HINSTANCE ModuleInstance();
LibraryVersion Shell32Version();
LibraryVersion Comctl32Version();
// 0 and 1: the consumer line (1 from Windows 98 on); 2 and 3: the NT line
// (3 from Windows 2000 on).
int WindowsFamily();
int ClassifyWindowsFamily(DWORD platformId, DWORD majorVersion, DWORD minorVersion);
UINT ClipboardFormatId(ModuleClipboardFormat format);

// The menu shared by the view's menus, destroyed when the library unloads.
HMENU SharedMenu();
void SetSharedMenu(HMENU menu);

// The load sequence after the resource language: false when the library must
// not load (no shell allocator, a required clipboard format or a window class
// missing).
bool InitializeModuleState(HINSTANCE instance);
void TerminateModuleState();
