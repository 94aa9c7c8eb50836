// Times the module-access server's ListFolder inside the library's own calls:
// while a TimedServerScope lives, every ModuleAccess the library creates is
// the real server behind a forwarder that adds each ListFolder's duration to
// a counter, so a benchmark can split one run's time between the server and
// the library instead of timing the server in a separate call.
#pragma once
#include <windows.h>
#include <objbase.h>

#include "bench/common/measure.h"
#include "module_access/module_access.h"

namespace bench {

class TimedModuleAccess : public ModuleAccess {
public:
    TimedModuleAccess(ModuleAccess* inner, double* listSeconds) : inner_(inner), seconds_(listSeconds) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_ModuleAccess) {
            *out = static_cast<ModuleAccess*>(this);
            AddRef();
            return S_OK;
        }
        return inner_->QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) {
            inner_->Release();
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override { return inner_->GetTypeInfoCount(count); }
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
        return inner_->GetTypeInfo(index, lcid, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        return inner_->GetIDsOfNames(iid, names, count, lcid, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override {
        return inner_->Invoke(id, iid, lcid, flags, params, result, exception, argError);
    }

    STDMETHODIMP ListFolder(BSTR request, VARIANT_BOOL foldersOnly, VARIANT* records) override {
        const double start = Now();
        HRESULT hr = inner_->ListFolder(request, foldersOnly, records);
        *seconds_ += Now() - start;
        return hr;
    }

    STDMETHODIMP Advise(BSTR path, IUnknown* sink, LONG* cookie) override { return inner_->Advise(path, sink, cookie); }
    STDMETHODIMP InvalidateCache(BSTR path) override { return inner_->InvalidateCache(path); }
    STDMETHODIMP CopyItem(BSTR from, BSTR to) override { return inner_->CopyItem(from, to); }
    STDMETHODIMP CreateFolder(BSTR path) override { return inner_->CreateFolder(path); }
    STDMETHODIMP CreateStandardFolders(BSTR drive) override { return inner_->CreateStandardFolders(drive); }
    STDMETHODIMP DeleteFile(BSTR path) override { return inner_->DeleteFile(path); }
    STDMETHODIMP Format(BSTR drive) override { return inner_->Format(drive); }
    STDMETHODIMP GetDiskSpace(BSTR drive, LONG* capacity, LONG* freeBytes) override {
        return inner_->GetDiskSpace(drive, capacity, freeBytes);
    }
    STDMETHODIMP OpenFile(BSTR path, IUnknown** stream) override { return inner_->OpenFile(path, stream); }
    STDMETHODIMP GetLabel(BSTR drive, BSTR* label) override { return inner_->GetLabel(drive, label); }
    STDMETHODIMP Reserved18() override { return inner_->Reserved18(); }
    STDMETHODIMP RenameFile(BSTR from, BSTR to) override { return inner_->RenameFile(from, to); }
    STDMETHODIMP RenameFolder(BSTR from, BSTR to) override { return inner_->RenameFolder(from, to); }
    STDMETHODIMP WriteFile(BSTR path, IUnknown* source, LONG attributes) override {
        return inner_->WriteFile(path, source, attributes);
    }
    STDMETHODIMP Unadvise(LONG cookie) override { return inner_->Unadvise(cookie); }
    STDMETHODIMP DeleteFolder(BSTR path) override { return inner_->DeleteFolder(path); }
    STDMETHODIMP SetAttributes(BSTR path, LONG attributes) override { return inner_->SetAttributes(path, attributes); }
    STDMETHODIMP SetLabel(BSTR drive, BSTR label) override { return inner_->SetLabel(drive, label); }
    STDMETHODIMP Reserved26() override { return inner_->Reserved26(); }
    STDMETHODIMP SetPort(BSTR port) override { return inner_->SetPort(port); }

private:
    virtual ~TimedModuleAccess() = default;
    ModuleAccess* inner_;
    double* seconds_;
    LONG refs_ = 1;
};

class TimedServerScope : private ModuleAccessFactory {
public:
    TimedServerScope() : previous_(SetModuleAccessFactory(this)) {}
    ~TimedServerScope() { SetModuleAccessFactory(previous_); }
    TimedServerScope(const TimedServerScope&) = delete;
    TimedServerScope& operator=(const TimedServerScope&) = delete;

    // Seconds spent in ListFolder since the last Reset.
    double listSeconds() const { return listSeconds_; }
    void Reset() { listSeconds_ = 0; }

private:
    HRESULT Create(ModuleAccess** access) override {
        ModuleAccess* server = nullptr;
        HRESULT hr = CoCreateInstance(CLSID_ModuleAccessServer, nullptr, CLSCTX_LOCAL_SERVER, IID_ModuleAccess,
                                      reinterpret_cast<void**>(&server));
        if (FAILED(hr)) return hr;
        *access = new TimedModuleAccess(server, &listSeconds_);
        return S_OK;
    }

    ModuleAccessFactory* previous_;
    double listSeconds_ = 0;
};

}  // namespace bench
