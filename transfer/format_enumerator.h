// The enumerator a data object hands out from EnumFormatEtc: a fixed list
// of FORMATETC records, copied, with its own position.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <vector>

#include "common/com_object.h"

class FormatEnumerator final : public IEnumFORMATETC, public RefCounted<FormatEnumerator> {
public:
    // The records must have no target device.
    static HRESULT Create(std::vector<FORMATETC> formats, IEnumFORMATETC** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP Next(ULONG count, FORMATETC* formats, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumFORMATETC** out) override;

private:
    friend class RefCounted<FormatEnumerator>;
    explicit FormatEnumerator(std::vector<FORMATETC> formats) : formats_(std::move(formats)) {}

    std::vector<FORMATETC> formats_;
    ULONG next_ = 0;
};
