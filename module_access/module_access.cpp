#include "module_access/module_access.h"

#include <objbase.h>

namespace {
ModuleAccessFactory* volatile g_factory = nullptr;
}

ModuleAccessFactory* SetModuleAccessFactory(ModuleAccessFactory* factory) {
    return static_cast<ModuleAccessFactory*>(InterlockedExchangePointer(
        reinterpret_cast<PVOID volatile*>(&g_factory), factory));
}

HRESULT CreateModuleAccess(ModuleAccess** access) {
    if (!access) return E_POINTER;
    *access = nullptr;
    if (ModuleAccessFactory* factory = g_factory) return factory->Create(access);
    return CoCreateInstance(CLSID_ModuleAccessServer, nullptr, CLSCTX_LOCAL_SERVER,
                            IID_ModuleAccess, reinterpret_cast<void**>(access));
}
