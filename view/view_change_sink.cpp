#include "view/view_change_sink.h"

STDMETHODIMP ViewChangeSink::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IModuleChangeSink) {
        *out = static_cast<IModuleChangeSink*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ViewChangeSink::OnChange(BSTR message) {
    if (!target_) return S_OK;
    UINT length = message ? SysStringLen(message) : 0;
    if (deleteMessages_) {
        if (length >= 2 && message[0] == L'D' && message[1] == L':')
            target_->RemoveItemByPath(std::wstring(message + 2, length - 2));
        return S_OK;
    }
    target_->RefreshForChange();
    return S_OK;
}
