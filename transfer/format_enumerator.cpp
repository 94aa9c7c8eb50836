#include "transfer/format_enumerator.h"

#include <new>

HRESULT FormatEnumerator::Create(std::vector<FORMATETC> formats, IEnumFORMATETC** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) FormatEnumerator(std::move(formats));
    return *out ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP FormatEnumerator::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumFORMATETC)) {
        *out = static_cast<IEnumFORMATETC*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP FormatEnumerator::Next(ULONG count, FORMATETC* formats, ULONG* fetched) {
    if (count > 1 && !fetched) return E_POINTER;
    if (count && !formats) return E_POINTER;
    ULONG given = 0;
    while (given < count && next_ < formats_.size()) formats[given++] = formats_[next_++];
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP FormatEnumerator::Skip(ULONG count) {
    const ULONG left = static_cast<ULONG>(formats_.size()) - next_;
    if (count > left) {
        next_ = static_cast<ULONG>(formats_.size());
        return S_FALSE;
    }
    next_ += count;
    return S_OK;
}

STDMETHODIMP FormatEnumerator::Reset() {
    next_ = 0;
    return S_OK;
}

STDMETHODIMP FormatEnumerator::Clone(IEnumFORMATETC** out) {
    if (!out) return E_POINTER;
    FormatEnumerator* copy = new (std::nothrow) FormatEnumerator(formats_);
    *out = copy;
    if (!copy) return E_OUTOFMEMORY;
    copy->next_ = next_;
    return S_OK;
}
