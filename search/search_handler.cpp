#include "search/search_handler.h"

#include <shlobj.h>

#include <cstring>

#include "common/com_aggregation.h"
#include "common/com_object.h"
#include "module_access/com_thread.h"
#include "search/search_window.h"

namespace {

const char kVerb[] = "search";

class SearchHandler final : public IContextMenu, public Aggregatable, public RefCounted<SearchHandler> {
public:
    SearchHandler() { entered_ = SUCCEEDED(EnterComThread()); }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        return outer_ ? outer_->QueryInterface(iid, out) : InternalQueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return outer_ ? outer_->AddRef() : AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return outer_ ? outer_->Release() : ReleaseImpl(); }
    HRESULT InternalQueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IContextMenu) {
            *out = static_cast<IContextMenu*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG InternalRelease() override { return ReleaseImpl(); }

    // IContextMenu: the entry itself comes from the registry.
    STDMETHODIMP QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) override { return 1; }
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO*) override {
        return OpenSearchWindow(std::wstring(), std::wstring());
    }
    STDMETHODIMP GetCommandString(UINT_PTR, UINT type, UINT*, CHAR* name, UINT size) override {
        switch (type) {
            case GCS_VERBA:
            case GCS_HELPTEXTA:
                if (!name) return E_POINTER;
                if (size) lstrcpynA(name, kVerb, static_cast<int>(size));
                return S_OK;
            case GCS_VERBW:
            case GCS_HELPTEXTW:
                if (!name) return E_POINTER;
                if (size) lstrcpynW(reinterpret_cast<wchar_t*>(name), L"search", static_cast<int>(size));
                return S_OK;
            case GCS_VALIDATEA:
            case GCS_VALIDATEW:
                return S_OK;
            default:
                return E_INVALIDARG;
        }
    }

private:
    friend class RefCounted<SearchHandler>;
    ~SearchHandler() override {
        if (entered_) LeaveComThread();
    }
    bool entered_ = false;
};

}  // namespace

HRESULT CreateSearchHandlerInstance(IUnknown* outer, REFIID iid, void** out) {
    return CreateAggregatableInstance<SearchHandler>(outer, iid, out);
}
