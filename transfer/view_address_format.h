// "QEL SNE View Address": which view made a module data object, so that a
// drop target can tell a drop back onto the same view. 8 bytes: DWORD token
// of the view (the low 32 bits of its address; 0 without a view), then the
// DWORD id of the process that served the request.
#pragma once
#include <windows.h>
#include <objidl.h>

struct ViewAddress {
    DWORD viewToken = 0;
    DWORD processId = 0;
};

DWORD ViewToken(const void* view);
// The block for a view token, with the calling process's id.
HRESULT BuildViewAddress(DWORD viewToken, HGLOBAL* block);
HRESULT ReadViewAddress(IDataObject* object, ViewAddress* address);
// Whether the object was made by `view` in this process.
bool IsFromView(IDataObject* object, const void* view);
