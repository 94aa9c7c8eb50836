// Loading and unloading of the library.
#include <windows.h>

#include "common/resource_module.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        SelectResourceLanguage(true, instance);
    }
    return TRUE;
}
