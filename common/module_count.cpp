#include "common/module_count.h"

namespace {
volatile LONG g_objectCount = 0;
}

LONG ModuleAddRef() { return InterlockedIncrement(&g_objectCount); }
LONG ModuleRelease() { return InterlockedDecrement(&g_objectCount); }
LONG ModuleObjectCount() { return InterlockedCompareExchange(&g_objectCount, 0, 0); }
