#include "server/object_map.h"

#include "common/module_count.h"
#include "handlers/module_context_menu.h"
#include "handlers/property_sheet_handler.h"
#include "namespace/module_folder.h"
#include "resources/registration_ids.h"
#include "common/class_ids.h"
#include "search/search_handler.h"

namespace {

const ClassEntry kClasses[] = {
    {&CLSID_ModuleFolder, CreateModuleFolderInstance, IDR_MODULE_FOLDER_SCRIPT, true},
    {&CLSID_ModuleContextMenu, CreateModuleContextMenuInstance, IDR_CONTEXT_MENU_SCRIPT, true},
    {&CLSID_ModulePropertySheet, CreatePropertySheetHandlerInstance, IDR_PROPERTY_SHEET_SCRIPT,
     true},
    // A failing search handler script does not fail the registration.
    {&CLSID_ModuleSearchHandler, CreateSearchHandlerInstance, IDR_SEARCH_HANDLER_SCRIPT, false},
};
constexpr size_t kClassCount = ARRAYSIZE(kClasses);

ClassFactory* g_factories[kClassCount] = {};

// Guards the creation of class objects; set up once, whoever comes first.
CRITICAL_SECTION g_factoryLock;
INIT_ONCE g_factoryLockOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK InitializeFactoryLock(PINIT_ONCE, PVOID, PVOID*) {
    InitializeCriticalSection(&g_factoryLock);
    return TRUE;
}

void EnsureFactoryLock() {
    InitOnceExecuteOnce(&g_factoryLockOnce, InitializeFactoryLock, nullptr, nullptr);
}

}  // namespace

const ClassEntry* ObjectMapEntries(size_t* count) {
    *count = kClassCount;
    return kClasses;
}

void InitializeObjectMap() { EnsureFactoryLock(); }

void TerminateObjectMap() {
    EnsureFactoryLock();
    EnterCriticalSection(&g_factoryLock);
    for (ClassFactory*& factory : g_factories) {
        if (factory) factory->ReleaseFromMap();
        factory = nullptr;
    }
    LeaveCriticalSection(&g_factoryLock);
}

HRESULT GetModuleClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    size_t index = 0;
    while (index < kClassCount && !IsEqualCLSID(clsid, *kClasses[index].clsid)) ++index;
    if (index == kClassCount) return CLASS_E_CLASSNOTAVAILABLE;

    EnsureFactoryLock();
    EnterCriticalSection(&g_factoryLock);
    if (!g_factories[index])
        g_factories[index] = new (std::nothrow) ClassFactory(kClasses[index].create);
    ClassFactory* factory = g_factories[index];
    HRESULT hr = factory ? factory->QueryInterface(iid, out) : E_OUTOFMEMORY;
    LeaveCriticalSection(&g_factoryLock);
    return hr;
}

HRESULT CanUnloadModule() { return ModuleObjectCount() == 0 ? S_OK : S_FALSE; }
