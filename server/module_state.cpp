#include "server/module_state.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "common/window_classes.h"
#include "handlers/view_menus.h"
#include "item_id/module_item_id.h"

namespace {

struct ModuleState {
    HINSTANCE instance = nullptr;
    LibraryVersion shell32;
    LibraryVersion comctl32;
    bool versionsRead = false;
    int windowsFamily = -1;
};
ModuleState g_state;

LibraryVersion ReadLibraryVersion(const wchar_t* name) {
    LibraryVersion version;
    // Both are imported by the library, so they are loaded already; no
    // LoadLibrary under the loader lock.
    HMODULE library = GetModuleHandleW(name);
    auto get = library ? reinterpret_cast<DLLGETVERSIONPROC>(
                             reinterpret_cast<void*>(GetProcAddress(library, "DllGetVersion")))
                       : nullptr;
    if (!get) return version;
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof(info);
    if (SUCCEEDED(get(&info))) {
        version.major = info.dwMajorVersion;
        version.minor = info.dwMinorVersion;
    }
    return version;
}

void ReadVersions() {
    if (g_state.versionsRead) return;
    g_state.shell32 = ReadLibraryVersion(L"shell32.dll");
    g_state.comctl32 = ReadLibraryVersion(L"comctl32.dll");
    g_state.versionsRead = true;
}

int ReadWindowsFamily() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    if (!GetVersionExW(&info)) return 0;
    return ClassifyWindowsFamily(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

}  // namespace

int ClassifyWindowsFamily(DWORD platformId, DWORD majorVersion, DWORD minorVersion) {
    switch (platformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
        return (majorVersion > 4 || (majorVersion == 4 && minorVersion != 0)) ? 1 : 0;
    case VER_PLATFORM_WIN32_NT:
        return majorVersion > 4 ? 3 : 2;
    default:
        return 0;
    }
}

HINSTANCE ModuleInstance() {
    return g_state.instance ? g_state.instance : GetModuleHandleW(nullptr);
}

LibraryVersion Shell32Version() {
    ReadVersions();
    return g_state.shell32;
}

LibraryVersion Comctl32Version() {
    ReadVersions();
    return g_state.comctl32;
}

int WindowsFamily() {
    if (g_state.windowsFamily < 0) g_state.windowsFamily = ReadWindowsFamily();
    return g_state.windowsFamily;
}


bool InitializeModuleState(HINSTANCE instance) {
    g_state.instance = instance;
    if (!ShellAllocator()) return false;
    InitCommonControls();
    ReadVersions();
    g_state.windowsFamily = ReadWindowsFamily();
    if (!RegisterModuleClipboardFormats()) return false;
    return RegisterModuleWindowClasses();
}

void TerminateModuleState() {
    DestroyViewMenus();
    UnregisterModuleWindowClasses();
}
