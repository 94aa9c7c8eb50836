#include "transfer/item_data_object.h"

#include <oleidl.h>

#include "item_id/module_item_id.h"
#include "transfer/module_data_object.h"

HRESULT CreateItemDataObject(const std::wstring& folderPath, UINT count, LPCITEMIDLIST* items,
                             void** out) {
    if (!out || !items) return E_POINTER;
    *out = nullptr;
    if (count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) {
        LPCITEMIDLIST last = items[i] ? LastItem(items[i]) : nullptr;
        if (!last || !IsValidItemId(last)) return E_INVALIDARG;
    }
    IDataObject* object = nullptr;
    HRESULT hr = CreateModuleDataObject(folderPath, nullptr, items, count, DROPEFFECT_COPY,
                                        nullptr, false, &object);
    if (FAILED(hr)) return hr;
    *out = object;
    return S_OK;
}
