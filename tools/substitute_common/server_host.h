// What both substitute servers share as local COM servers: the process
// lifetime (every object and lock holds the server process; the last release
// ends the message loop), the class factory, the busy-rejecting message
// filter, registration and the type information for IDispatch.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <oleauto.h>

#include <string>

namespace substitute {

// Creates an object of the served class for IID `riid`.
using CreateFunction = HRESULT (*)(REFIID riid, void** out);

struct ServerClass {
    const CLSID* clsid;
    const IID* iid;              // the class's dual interface
    const wchar_t* description;  // default value of the CLSID key
    CreateFunction create;
};

// WinMain's body: handles /RegServer and /UnregServer, otherwise serves the
// class until the last client lets go. Returns the process exit code.
int ServerMain(const ServerClass& server, const wchar_t* commandLine);

// Hold and release the server process (objects, streams, LockServer).
void HoldServer();
void ReleaseServer();

// Wine never tells a server that a client died, and a killed client's
// references stay counted for good. So the server also ends once its clients
// look gone: no incoming call for the idle limit (setting IdleSeconds) and
// no live change sink, as `anyLiveSink` finds (it drops the dead ones). A
// server with no sinks to ask passes null.
void SetClientProbe(bool (*anyLiveSink)());
// Marks server activity (a call that ends counts as well as one that starts).
void NoteActivity();

// Type information of `iid` from the type library embedded in this program.
HRESULT GetServerTypeInfo(REFIID iid, ITypeInfo** out);

// IDispatch of a served dual interface, answered from that type information.
template <class Interface, const IID* InterfaceId>
class TypeLibDispatch : public Interface {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return index != 0 ? DISP_E_BADINDEX : GetServerTypeInfo(*InterfaceId, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ITypeInfo* info = nullptr;
        HRESULT hr = GetServerTypeInfo(*InterfaceId, &info);
        if (FAILED(hr)) return hr;
        hr = DispGetIDsOfNames(info, names, count, ids);
        info->Release();
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError) override {
        ITypeInfo* info = nullptr;
        HRESULT hr = GetServerTypeInfo(*InterfaceId, &info);
        if (FAILED(hr)) return hr;
        hr = DispInvoke(static_cast<Interface*>(this), info, id, flags, params, result, exception,
                        argError);
        info->Release();
        return hr;
    }
};

// The full path of this program.
std::wstring ProgramPath();

// Runs `work` once the current call has returned, on the server's own thread
// (posted to its message window). Used to call out to clients' sinks.
void PostToServerThread(void (*work)(void* context), void* context);

}  // namespace substitute
