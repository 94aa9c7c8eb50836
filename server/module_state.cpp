#include "server/module_state.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "common/window_classes.h"
#include "item_id/module_item_id.h"

namespace {

const wchar_t* const kClipboardFormatNames[] = {
    L"Shell IDList Array",
    L"FileContents",
    L"FileGroupDescriptorW",
    L"Preferred DropEffect",
    L"Paste Succeeded",
    L"Performed DropEffect",
    L"Logical Performed DropEffect",
    L"QEL SNE Directory Data",
    L"QEL SNE Converted",
    L"QEL SNE View Address",
    L"TargetCLSID",
};
static_assert(ARRAYSIZE(kClipboardFormatNames) == static_cast<size_t>(ModuleClipboardFormat::Count),
              "one name per format");
// The formats the library cannot work without; TargetCLSID is optional.
constexpr size_t kRequiredClipboardFormats = 10;

struct ModuleState {
    HINSTANCE instance = nullptr;
    LibraryVersion shell32;
    LibraryVersion comctl32;
    bool versionsRead = false;
    int windowsFamily = -1;
    UINT clipboardFormats[static_cast<size_t>(ModuleClipboardFormat::Count)] = {};
    HMENU sharedMenu = nullptr;
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

bool RegisterClipboardFormats() {
    for (size_t i = 0; i < ARRAYSIZE(kClipboardFormatNames); ++i) {
        g_state.clipboardFormats[i] = RegisterClipboardFormatW(kClipboardFormatNames[i]);
        if (!g_state.clipboardFormats[i] && i < kRequiredClipboardFormats) return false;
    }
    return true;
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

UINT ClipboardFormatId(ModuleClipboardFormat format) {
    size_t index = static_cast<size_t>(format);
    if (index >= ARRAYSIZE(kClipboardFormatNames)) return 0;
    if (!g_state.clipboardFormats[index])
        g_state.clipboardFormats[index] = RegisterClipboardFormatW(kClipboardFormatNames[index]);
    return g_state.clipboardFormats[index];
}

HMENU SharedMenu() { return g_state.sharedMenu; }
void SetSharedMenu(HMENU menu) { g_state.sharedMenu = menu; }

bool InitializeModuleState(HINSTANCE instance) {
    g_state.instance = instance;
    if (!ShellAllocator()) return false;
    InitCommonControls();
    ReadVersions();
    g_state.windowsFamily = ReadWindowsFamily();
    if (!RegisterClipboardFormats()) return false;
    return RegisterModuleWindowClasses();
}

void TerminateModuleState() {
    if (g_state.sharedMenu) {
        DestroyMenu(g_state.sharedMenu);
        g_state.sharedMenu = nullptr;
    }
    UnregisterModuleWindowClasses();
}
