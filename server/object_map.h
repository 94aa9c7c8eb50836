// The library's creatable classes: their class objects and registry scripts.
#pragma once
#include <windows.h>

#include "server/class_factory.h"

struct ClassEntry {
    const CLSID* clsid;
    InstanceCreator create;
    UINT scriptId;            // REGISTRY resource
    bool scriptMustSucceed;   // registration stops at its failure
};

// The classes in registration order.
const ClassEntry* ObjectMapEntries(size_t* count);

void InitializeObjectMap();
// Releases the kept class objects.
void TerminateObjectMap();

// DllGetClassObject: the class object of `clsid`, created once and kept.
HRESULT GetModuleClassObject(REFCLSID clsid, REFIID iid, void** out);
// DllCanUnloadNow.
HRESULT CanUnloadModule();
