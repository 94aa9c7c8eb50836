// The icon of one module item, as Explorer asks for it through GetUIObjectOf.
// Module items have no icon files: Explorer is told to call Extract, which
// hands out the icons the shell shows for such a name (drives look like C:\).
#pragma once
#include <windows.h>
#include <shlobj.h>

#include "common/com_object.h"
#include "item_id/module_item_id.h"

class ModuleIconExtractor final : public IExtractIconW, public RefCounted<ModuleIconExtractor> {
public:
    // Keeps a copy of `list` (one item, possibly several levels); an empty
    // list gives E_INVALIDARG.
    static HRESULT Create(LPCITEMIDLIST list, REFIID iid, void** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP GetIconLocation(UINT flags, LPWSTR iconFile, UINT size, int* index,
                                 UINT* resultFlags) override;
    STDMETHODIMP Extract(LPCWSTR file, UINT index, HICON* large, HICON* small,
                         UINT sizes) override;

private:
    friend class RefCounted<ModuleIconExtractor>;
    ModuleIconExtractor() = default;
    ~ModuleIconExtractor() override = default;
    // The item the icon is for, or null when the list holds no valid one.
    LPCITEMIDLIST Item() const;

    IdListHolder list_;
};
