// The ModuleAccess object that each client creates: a thin COM shell that
// checks arguments, applies the configured faults, and hands the work to the
// store of the configured tree.
#pragma once
#include <windows.h>

HRESULT CreateModuleAccessObject(REFIID riid, void** out);
