// The substitute device-information server's object: the module's model and
// the usable serial ports, from the substitutes' configuration.
#include "tools/device_info_server/device_info_object.h"

#include <oleauto.h>

#include <new>
#include <string>

#include "module_access/module_access_h.h"
#include "tools/substitute_common/server_errors.h"
#include "tools/substitute_common/server_host.h"
#include "tools/substitute_common/settings.h"

namespace {

// The port kind whose mask has bit n set for a usable COM(n+1).
constexpr LONG kSerialPorts = 5;

class DeviceInfoObject final : public substitute::TypeLibDispatch<DeviceInfo, &IID_DeviceInfo> {
public:
    DeviceInfoObject() { substitute::HoldServer(); }
    ~DeviceInfoObject() { substitute::ReleaseServer(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_DeviceInfo) {
            *out = static_cast<DeviceInfo*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP GetModel(BSTR* model) override {
        SetErrorInfo(0, nullptr);
        if (!model) return E_POINTER;
        *model = nullptr;
        substitute::InjectedFault fault;
        if (substitute::TakeCall(L"GetModel", &fault))
            return substitute::ReportFailure(fault.result, fault.description);
        std::wstring name = substitute::ReadSettings().model;
        *model = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
        return *model ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP GetPorts(BSTR* text, LONG kind, LONG* mask) override {
        SetErrorInfo(0, nullptr);
        if (!text || !mask) return E_POINTER;
        *text = nullptr;
        *mask = 0;
        substitute::InjectedFault fault;
        if (substitute::TakeCall(L"GetPorts", &fault))
            return substitute::ReportFailure(fault.result, fault.description);
        if (kind != kSerialPorts)
            return substitute::ReportFailure(E_INVALIDARG, L"Only serial ports (kind 5) can be listed.");
        DWORD ports = substitute::ReadSettings().portMask;
        std::wstring names;
        for (unsigned n = 0; n < 32; ++n) {
            if (!(ports & (1u << n))) continue;
            if (!names.empty()) names += L";";
            names += L"COM" + std::to_wstring(n + 1);
        }
        *text = SysAllocStringLen(names.data(), static_cast<UINT>(names.size()));
        if (!*text) return E_OUTOFMEMORY;
        *mask = static_cast<LONG>(ports);
        return S_OK;
    }

private:
    volatile LONG refs_ = 1;
};

}  // namespace

HRESULT CreateDeviceInfoObject(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    DeviceInfoObject* object = new (std::nothrow) DeviceInfoObject();
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
}
