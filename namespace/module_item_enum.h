// The enumerator of one folder's items: a snapshot taken when the folder
// listed itself. Clones share the snapshot and keep its owner alive.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <vector>

#include "common/com_object.h"
#include "item_id/module_item_id.h"

class ModuleItemEnum final : public IEnumIDList, public RefCounted<ModuleItemEnum> {
public:
    // Takes the items (copies made by the caller) as its own snapshot.
    static HRESULT Create(std::vector<IdListHolder>&& items, IEnumIDList** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP Next(ULONG count, LPITEMIDLIST* items, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumIDList** out) override;

private:
    friend class RefCounted<ModuleItemEnum>;
    ModuleItemEnum() = default;
    ~ModuleItemEnum() override = default;

    std::vector<IdListHolder> ownItems_;
    const std::vector<IdListHolder>* items_ = nullptr;  // ownItems_ or the owner's
    Microsoft::WRL::ComPtr<ModuleItemEnum> owner_;       // set for clones
    size_t position_ = 0;
};
