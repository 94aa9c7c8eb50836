#include "tools/module_server/change_hub.h"

#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstring>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "module_access/module_access_h.h"
#include "tools/substitute_common/server_host.h"

using Microsoft::WRL::ComPtr;

namespace change_hub {

namespace {

struct Registration {
    LONG cookie;
    std::wstring root;
    ModulePath folder;
    ComPtr<IModuleChangeSink> sink;
    IUnknown* owner;  // not owned: its destructor drops its registrations
    std::shared_ptr<void> client;  // the sink's process, when it can be known
};

struct PendingCall {
    LONG cookie;
    ComPtr<IModuleChangeSink> sink;
    std::wstring message;
};

// The server is one single-threaded apartment: these are touched only on its thread.
std::vector<Registration> g_registrations;
std::deque<PendingCall> g_pending;
LONG g_nextCookie = 0;
bool g_delivering = false;
bool g_posted = false;

bool IsRegistered(LONG cookie) {
    for (const Registration& r : g_registrations)
        if (r.cookie == cookie) return true;
    return false;
}

bool ClientGone(HRESULT hr) {
    return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED || hr == RPC_E_SERVER_DIED_DNE ||
           hr == CO_E_OBJNOTCONNECTED || hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
           hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) || hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE);
}

// Unregisters a sink whose client has gone and lets its ModuleAccess
// object go too, so the server can still end when the rest leave.
void DropDeadSink(LONG cookie) {
    IUnknown* owner = nullptr;
    for (const Registration& r : g_registrations)
        if (r.cookie == cookie) owner = r.owner;
    Unadvise(cookie);
    if (owner) CoDisconnectObject(owner, 0);
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The process a sink lives in, to tell later whether it is still there.
// Only under Wine, whose apartment identifier (the OXID) holds the process id
// in its upper half; Windows makes it random but pings clients itself and
// lets go of a dead one's references. The identifier is read from the
// sink's marshalled form: "MEOW", the standard-reference flag, the IID, then
// the reference's flags and count and the 64-bit OXID at byte 32.
std::shared_ptr<void> ClientProcessOf(IUnknown* sink) {
    if (!RunningUnderWine()) return nullptr;
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) ||
        FAILED(CoMarshalInterface(stream.Get(), IID_IUnknown, sink, MSHCTX_LOCAL, nullptr,
                                  MSHLFLAGS_NORMAL)))
        return nullptr;
    DWORD header[10] = {};
    HGLOBAL memory = nullptr;
    if (SUCCEEDED(GetHGlobalFromStream(stream.Get(), &memory)) && GlobalSize(memory) >= sizeof(header)) {
        if (const void* bytes = GlobalLock(memory)) {
            memcpy(header, bytes, sizeof(header));
            GlobalUnlock(memory);
        }
    }
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CoReleaseMarshalData(stream.Get());
    const DWORD kObjRefSignature = 0x574F454D, kObjRefStandard = 1;
    const DWORD pid = header[0] == kObjRefSignature && header[1] == kObjRefStandard ? header[9] : 0;
    if (pid == 0 || pid == GetCurrentProcessId()) return nullptr;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return nullptr;
    return std::shared_ptr<void>(process, CloseHandle);
}

void Deliver(void*) {
    g_posted = false;
    // A delivery already running further up this thread's stack (we are
    // inside its outgoing call) finishes the queue in order.
    if (g_delivering) return;
    g_delivering = true;
    while (!g_pending.empty()) {
        PendingCall call = std::move(g_pending.front());
        g_pending.pop_front();
        if (!IsRegistered(call.cookie)) continue;
        BSTR message = SysAllocStringLen(call.message.data(), static_cast<UINT>(call.message.size()));
        HRESULT hr = call.sink->OnChange(message);
        SysFreeString(message);
        if (ClientGone(hr)) DropDeadSink(call.cookie);
    }
    g_delivering = false;
}

}  // namespace

HRESULT Advise(const std::wstring& root, const ModulePath& folder, IUnknown* sink, IUnknown* owner,
               LONG* cookie) {
    ComPtr<IModuleChangeSink> changeSink;
    HRESULT hr = sink->QueryInterface(IID_IModuleChangeSink, reinterpret_cast<void**>(changeSink.GetAddressOf()));
    if (FAILED(hr)) return hr;
    Registration r;
    r.cookie = ++g_nextCookie;
    r.root = root;
    r.folder = folder;
    r.sink = changeSink;
    r.owner = owner;
    r.client = ClientProcessOf(changeSink.Get());
    g_registrations.push_back(std::move(r));
    *cookie = g_nextCookie;
    return S_OK;
}

HRESULT Unadvise(LONG cookie) {
    for (auto it = g_registrations.begin(); it != g_registrations.end(); ++it) {
        if (it->cookie == cookie) {
            // Released outside the table: a release may call out.
            ComPtr<IModuleChangeSink> sink = std::move(it->sink);
            g_registrations.erase(it);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

void DropOwner(const void* owner) {
    std::vector<ComPtr<IModuleChangeSink>> released;
    for (auto it = g_registrations.begin(); it != g_registrations.end();) {
        if (it->owner == owner) {
            released.push_back(std::move(it->sink));
            it = g_registrations.erase(it);
        } else {
            ++it;
        }
    }
}

bool AnyLiveSink() {
    std::vector<LONG> dead;
    bool live = false;
    for (const Registration& r : g_registrations) {
        if (r.client && WaitForSingleObject(r.client.get(), 0) == WAIT_OBJECT_0)
            dead.push_back(r.cookie);
        else
            live = true;  // alive, or no way to tell
    }
    for (LONG cookie : dead) DropDeadSink(cookie);
    return live;
}

void NotifyChange(const std::wstring& root, const ModulePath& item, bool deleted) {
    ModulePath parent = item.Parent();
    std::wstring message = (deleted ? L"D:" : L"U:") + item.Text();
    for (const Registration& r : g_registrations) {
        if (CompareStringOrdinal(r.root.c_str(), -1, root.c_str(), -1, TRUE) != CSTR_EQUAL) continue;
        if (r.folder.SameAs(parent) || r.folder.IsWithin(item))
            g_pending.push_back(PendingCall{r.cookie, r.sink, message});
    }
    if (!g_pending.empty() && !g_posted) {
        g_posted = true;
        substitute::PostToServerThread(Deliver, nullptr);
    }
}

}  // namespace change_hub
