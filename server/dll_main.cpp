// Loading and unloading of the library, and its exported entry points.
#include <windows.h>

#include "common/resource_module.h"
#include "module_access/com_thread.h"
#include "server/module_state.h"
#include "server/object_map.h"
#include "server/registration.h"
#include "handlers/operation_hooks.h"
#include "search/about_box.h"
#include "search/search_window.h"
#include "transfer/hdrop_staging.h"

namespace {
HINSTANCE g_instance = nullptr;
}

// Exported data, read by the search application to recognise the library.
extern "C" {
LONG hallole = 32;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        SelectResourceLanguage(true, instance);
        if (!InitializeModuleState(instance)) {
            TerminateModuleState();
            return FALSE;
        }
        InitializeObjectMap();
        // The menus and the view reach the search window through their hooks.
        SetSearchEntryPoints(OpenSearchWindowFor, ShowAboutBox);
        DisableThreadLibraryCalls(instance);
        InitComThreadSlot();
        WriteSearchCommand();
        SweepStaleStagingFolders();
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Only when the library is freed; a process that ends takes it all.
        FreeComThreadSlot();
        // Unregisters the window classes too: a class left behind would point
        // into the freed code the next time the library is loaded.
        TerminateModuleState();
        ReleaseResourceLanguage();
        TerminateObjectMap();
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return GetModuleClassObject(clsid, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return CanUnloadModule(); }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return RegisterModuleServer(g_instance); }

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return UnregisterModuleServer(g_instance);
}

// Called by the search application with the path on its command line;
// returns when every search window of the process has closed.
extern "C" int STDAPICALLTYPE StartSearch(const wchar_t* file) {
    RunSearchWindowsFor(file);
    return 0;
}
