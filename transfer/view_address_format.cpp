#include "transfer/view_address_format.h"

#include "transfer/clipboard_formats.h"

DWORD ViewToken(const void* view) {
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(view));
}

HRESULT BuildViewAddress(DWORD viewToken, HGLOBAL* block) {
    const DWORD words[2] = {viewToken, GetCurrentProcessId()};
    return MakeGlobalBlock(words, sizeof(words), block);
}

HRESULT ReadViewAddress(IDataObject* object, ViewAddress* address) {
    if (!address) return E_POINTER;
    *address = ViewAddress();
    DWORD words[2] = {};
    HRESULT hr = ReadFormatBytes(object, ClipboardFormat(ModuleClipboardFormat::ViewAddress), words,
                                 sizeof(words));
    if (FAILED(hr)) return hr;
    address->viewToken = words[0];
    address->processId = words[1];
    return S_OK;
}

bool IsFromView(IDataObject* object, const void* view) {
    ViewAddress address;
    return view && SUCCEEDED(ReadViewAddress(object, &address)) &&
           address.viewToken == ViewToken(view) && address.processId == GetCurrentProcessId();
}
