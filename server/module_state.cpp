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

}  // namespace

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


bool InitializeModuleState(HINSTANCE instance) {
    g_state.instance = instance;
    if (!ShellAllocator()) return false;
    InitCommonControls();
    ReadVersions();
    WindowsFamily();
    if (!RegisterModuleClipboardFormats()) return false;
    return RegisterModuleWindowClasses();
}

void TerminateModuleState() {
    DestroyViewMenus();
    UnregisterModuleWindowClasses();
}
