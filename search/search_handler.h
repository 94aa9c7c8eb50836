// The search handler: the entry of Explorer's Search menu that opens a
// search window over the whole module.
#pragma once
#include <windows.h>
#include <unknwn.h>

// The class object's creator (aggregation as the other classes do it).
HRESULT CreateSearchHandlerInstance(IUnknown* outer, REFIID iid, void** out);
