// The info tip of one module item: its name.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include "common/com_object.h"
#include "item_id/module_item_id.h"

class ModuleInfoTip final : public IQueryInfo, public RefCounted<ModuleInfoTip> {
public:
    // Keeps a copy of `list`; an empty list gives E_INVALIDARG.
    static HRESULT Create(LPCITEMIDLIST list, REFIID iid, void** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP GetInfoTip(DWORD flags, LPWSTR* text) override;
    STDMETHODIMP GetInfoFlags(DWORD* flags) override;

private:
    friend class RefCounted<ModuleInfoTip>;
    ModuleInfoTip() = default;
    ~ModuleInfoTip() override = default;

    IdListHolder list_;
};
