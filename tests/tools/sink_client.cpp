// A client of the substitute module server that the lifetime tests kill:
// it takes a ModuleAccess object (and, with "sink", registers a change sink
// for \A:), signals the named event given after the mode, and then only
// answers calls until it is killed. It never lets go of anything.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>

#include "module_access/module_access_h.h"

namespace {

class Sink : public IModuleChangeSink {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IModuleChangeSink) {
            *out = static_cast<IModuleChangeSink*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives as long as the process.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnChange(BSTR) override { return S_OK; }
};

Sink g_sink;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    const bool withSink = std::wstring(argv[1]) == L"sink";
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (!ready || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    ModuleAccess* server = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ModuleAccessServer, nullptr, CLSCTX_LOCAL_SERVER,
                                  IID_ModuleAccess, reinterpret_cast<void**>(&server));
    LONG cookie = 0;
    BSTR folder = SysAllocString(L"\\A:");
    if (SUCCEEDED(hr) && withSink) hr = server->Advise(folder, &g_sink, &cookie);
    SysFreeString(folder);
    if (FAILED(hr)) return 4;
    SetEvent(ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
