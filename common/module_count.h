// The one module-wide count of live COM objects and server locks. The library
// may be unloaded only while it is zero.
#pragma once
#include <windows.h>

LONG ModuleAddRef();
LONG ModuleRelease();
LONG ModuleObjectCount();
