// Loading and unloading of the library, and its exported entry points.
#include <windows.h>

#include "common/resource_module.h"
#include "module_access/com_thread.h"
#include "server/module_state.h"
#include "server/object_map.h"
#include "server/registration.h"
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
