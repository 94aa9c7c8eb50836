#include "namespace/module_item_enum.h"

HRESULT ModuleItemEnum::Create(std::vector<IdListHolder>&& items, IEnumIDList** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ModuleItemEnum* created = new (std::nothrow) ModuleItemEnum();
    if (!created) return E_OUTOFMEMORY;
    created->ownItems_ = std::move(items);
    created->items_ = &created->ownItems_;
    *out = created;
    return S_OK;
}

STDMETHODIMP ModuleItemEnum::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumIDList)) {
        *out = static_cast<IEnumIDList*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ModuleItemEnum::Next(ULONG count, LPITEMIDLIST* items, ULONG* fetched) {
    if (!items) return E_POINTER;
    if (count != 1 && !fetched) return E_POINTER;
    if (fetched) *fetched = 0;
    if (!items_) return E_FAIL;

    ULONG handed = 0;
    while (handed < count && position_ + handed < items_->size()) {
        HRESULT hr = CopyIdList((*items_)[position_ + handed].get(), &items[handed]);
        if (FAILED(hr)) {
            for (ULONG i = 0; i < handed; ++i) {
                ShellFree(items[i]);
                items[i] = nullptr;
            }
            return hr;
        }
        ++handed;
    }
    position_ += handed;
    if (fetched) *fetched = handed;
    return handed < count ? S_FALSE : S_OK;
}

STDMETHODIMP ModuleItemEnum::Skip(ULONG count) {
    size_t size = items_ ? items_->size() : 0;
    if (count >= size - position_) {
        position_ = size;
        return S_FALSE;
    }
    position_ += count;
    return S_OK;
}

STDMETHODIMP ModuleItemEnum::Reset() {
    position_ = 0;
    return S_OK;
}

STDMETHODIMP ModuleItemEnum::Clone(IEnumIDList** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ModuleItemEnum* clone = new (std::nothrow) ModuleItemEnum();
    if (!clone) return E_OUTOFMEMORY;
    clone->owner_ = owner_ ? owner_ : Microsoft::WRL::ComPtr<ModuleItemEnum>(this);
    clone->items_ = items_;
    clone->position_ = position_;
    *out = clone;
    return S_OK;
}
