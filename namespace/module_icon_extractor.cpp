#include "namespace/module_icon_extractor.h"

#include <shellapi.h>

namespace {

constexpr UINT kOpenIconIndex = 1;

}  // namespace

HRESULT ModuleIconExtractor::Create(LPCITEMIDLIST list, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!list || CountItems(list) == 0) return E_INVALIDARG;
    ModuleIconExtractor* created = new (std::nothrow) ModuleIconExtractor();
    if (!created) return E_OUTOFMEMORY;
    HRESULT hr = created->list_.Assign(list);
    if (SUCCEEDED(hr)) hr = created->QueryInterface(iid, out);
    created->Release();
    return hr;
}

STDMETHODIMP ModuleIconExtractor::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IExtractIconW)) {
        *out = static_cast<IExtractIconW*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

LPCITEMIDLIST ModuleIconExtractor::Item() const {
    LPCITEMIDLIST last = LastItem(list_.get());
    return last && IsValidItemId(last) ? last : nullptr;
}

STDMETHODIMP ModuleIconExtractor::GetIconLocation(UINT flags, LPWSTR, UINT, int* index,
                                                  UINT* resultFlags) {
    if (!index || !resultFlags) return E_INVALIDARG;
    LPCITEMIDLIST item = Item();
    if (!item) return E_FAIL;
    if (IsDriveItem(item)) {
        *resultFlags = 0;
        return S_OK;
    }
    *resultFlags = GIL_NOTFILENAME;
    *index = (flags & GIL_OPENICON) ? static_cast<int>(kOpenIconIndex) : 0;
    return S_OK;
}

STDMETHODIMP ModuleIconExtractor::Extract(LPCWSTR, UINT index, HICON* large, HICON* small,
                                          UINT) {
    if (large) *large = nullptr;
    if (small) *small = nullptr;
    if (!large || !small) return E_INVALIDARG;
    LPCITEMIDLIST item = Item();
    if (!item) return E_FAIL;
    const bool open = index == kOpenIconIndex;
    *large = ItemIcon(item, false, open);
    *small = ItemIcon(item, true, open);
    return S_OK;
}
