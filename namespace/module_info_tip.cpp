#include "namespace/module_info_tip.h"

#include <cwchar>

HRESULT ModuleInfoTip::Create(LPCITEMIDLIST list, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!list || CountItems(list) == 0) return E_INVALIDARG;
    ModuleInfoTip* created = new (std::nothrow) ModuleInfoTip();
    if (!created) return E_OUTOFMEMORY;
    HRESULT hr = created->list_.Assign(list);
    if (SUCCEEDED(hr)) hr = created->QueryInterface(iid, out);
    created->Release();
    return hr;
}

STDMETHODIMP ModuleInfoTip::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IQueryInfo)) {
        *out = static_cast<IQueryInfo*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ModuleInfoTip::GetInfoTip(DWORD, LPWSTR* text) {
    if (!text) return E_POINTER;
    *text = nullptr;
    LPCITEMIDLIST item = LastItem(list_.get());
    if (!item || !IsValidItemId(item)) return E_FAIL;
    const wchar_t* name = ItemName(item);
    size_t bytes = (wcslen(name) + 1) * sizeof(wchar_t);
    *text = static_cast<LPWSTR>(ShellAlloc(bytes));
    if (!*text) return E_OUTOFMEMORY;
    memcpy(*text, name, bytes);
    return S_OK;
}

STDMETHODIMP ModuleInfoTip::GetInfoFlags(DWORD* flags) {
    if (!flags) return E_POINTER;
    *flags = 0;
    return S_OK;
}
