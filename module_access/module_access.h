// The one way the library gets a ModuleAccess instance: the out-of-process
// server, created on the calling thread (inside EnterComThread). Tests may
// put an in-process object behind the same call.
#pragma once
#include <windows.h>

#include "module_access/module_access_h.h"

// Hands out ModuleAccess instances instead of the server. Called on the
// creating thread; must be thread-safe when several threads create.
class ModuleAccessFactory {
public:
    virtual HRESULT Create(ModuleAccess** access) = 0;

protected:
    ~ModuleAccessFactory() = default;
};

// Installs a factory for the whole process (null restores the server);
// returns the previous one.
ModuleAccessFactory* SetModuleAccessFactory(ModuleAccessFactory* factory);

// A new instance for the calling thread; E_POINTER for a null out pointer,
// else CoCreateInstance's result.
HRESULT CreateModuleAccess(ModuleAccess** access);
