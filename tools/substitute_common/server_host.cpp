#include "tools/substitute_common/server_host.h"

#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <vector>

#include "common/holders.h"
#include "module_access/module_access_h.h"
#include "tools/substitute_common/error_info_hook.h"
#include "tools/substitute_common/settings.h"

namespace substitute {

namespace {

constexpr UINT kRunPosted = WM_APP + 1;
constexpr UINT kQuit = WM_APP + 2;
constexpr UINT_PTR kIdleTimer = 1;
constexpr UINT_PTR kClientCheckTimer = 2;
constexpr UINT kClientCheckPeriodMs = 1000;
// A server started by COM whose client never arrives (it died in between)
// must not stay forever.
constexpr UINT kFirstClientTimeoutMs = 30000;

HWND g_window = nullptr;
bool g_everHeld = false;
ULONGLONG g_lastActivity = 0;
bool (*g_anyLiveSink)() = nullptr;
bool g_probing = false;

// Ends the server when nothing has called for the idle limit and no sink
// answers; a live sink counts as activity, so sinks are asked once a period.
void CheckClients() {
    if (!g_everHeld || g_probing) return;
    const ULONGLONG limit = static_cast<ULONGLONG>(ReadSettings().idleSeconds) * 1000;
    const ULONGLONG now = GetTickCount64();
    if (limit == 0 || now - g_lastActivity < limit) return;
    // Asking about sinks may call out: this timer can fire again meanwhile.
    g_probing = true;
    const bool live = g_anyLiveSink && g_anyLiveSink();
    g_probing = false;
    if (live)
        g_lastActivity = GetTickCount64();
    else
        PostQuitMessage(0);
}

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

LRESULT CALLBACK ServerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kRunPosted:
        reinterpret_cast<void (*)(void*)>(wParam)(reinterpret_cast<void*>(lParam));
        return 0;
    case kQuit:
        PostQuitMessage(0);
        return 0;
    case WM_TIMER:
        if (wParam == kIdleTimer) {
            KillTimer(window, kIdleTimer);
            if (!g_everHeld) PostQuitMessage(0);
        } else if (wParam == kClientCheckTimer) {
            CheckClients();
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Rejects calls as busy while the configuration asks for it. Only calls on
// the served interfaces are rejected, never COM's own reference counting.
class BusyFilter : public IMessageFilter {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMessageFilter) {
            *out = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO info) override {
        NoteActivity();
        if (!info || (info->iid != IID_ModuleAccess && info->iid != IID_DeviceInfo))
            return SERVERCALL_ISHANDLED;
        DWORD reply = SERVERCALL_ISHANDLED;
        if (TakeBusyRejection(&reply) &&
            (reply == SERVERCALL_REJECTED || reply == SERVERCALL_RETRYLATER))
            return reply;
        return SERVERCALL_ISHANDLED;
    }
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK, DWORD, DWORD) override { return static_cast<DWORD>(-1); }
    STDMETHODIMP_(DWORD) MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

BusyFilter g_filter;

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on main's stack for the whole message loop.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(riid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            HoldServer();
        else
            ReleaseServer();
        return S_OK;
    }

private:
    CreateFunction create_;
};

LONG SetKeyDefault(HKEY parent, const std::wstring& path, const std::wstring& value) {
    HKEY raw = nullptr;
    LONG rc = RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    UniqueRegKey key(raw);
    return WriteString(raw, nullptr, value);
}

bool ClassRegistered(REFCLSID clsid) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(clsid)).c_str(), 0, KEY_READ,
                      &raw) != ERROR_SUCCESS)
        return false;
    RegCloseKey(raw);
    return true;
}

HRESULT Register(const ServerClass& server, const std::wstring& defaultRoot) {
    std::wstring exe = ProgramPath();
    std::wstring command = exe.find(L' ') != std::wstring::npos ? L"\"" + exe + L"\"" : exe;
    std::wstring clsidKey = L"CLSID\\" + GuidText(*server.clsid);
    LONG rc = SetKeyDefault(HKEY_CLASSES_ROOT, clsidKey, server.description);
    if (rc == ERROR_SUCCESS) rc = SetKeyDefault(HKEY_CLASSES_ROOT, clsidKey + L"\\LocalServer32", command);
    if (rc == ERROR_SUCCESS)
        rc = SetKeyDefault(HKEY_CLASSES_ROOT, clsidKey + L"\\TypeLib", GuidText(LIBID_ModuleAccessLib));
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    // Registering the type library registers its interfaces with the
    // type-library marshaller as their proxy and stub.
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(exe.c_str(), REGKIND_REGISTER, &library);
    if (FAILED(hr)) return hr;
    library->Release();
    if (!defaultRoot.empty()) {
        HKEY raw = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                            nullptr, &raw, nullptr) == ERROR_SUCCESS) {
            UniqueRegKey key(raw);
            std::wstring existing;
            if (!ReadString(raw, L"Root", &existing) || existing.empty())
                WriteString(raw, L"Root", defaultRoot);
        }
    }
    return S_OK;
}

HRESULT Unregister(const ServerClass& server) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(*server.clsid)).c_str());
    // The type library is shared with the other substitute; it goes with the last one.
    if (!ClassRegistered(CLSID_ModuleAccessServer) && !ClassRegistered(CLSID_DeviceInfoServer))
        UnRegisterTypeLib(LIBID_ModuleAccessLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    return S_OK;
}

int Serve(const ServerClass& server) {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return 1;
    RegisterErrorInfoHook();
    IMessageFilter* previous = nullptr;
    CoRegisterMessageFilter(&g_filter, &previous);

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ServerWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KTXSubstituteServerWindow";
    RegisterClassW(&windowClass);
    g_window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                               nullptr, windowClass.hInstance, nullptr);
    SetTimer(g_window, kIdleTimer, kFirstClientTimeoutMs, nullptr);
    g_lastActivity = GetTickCount64();
    SetTimer(g_window, kClientCheckTimer, kClientCheckPeriodMs, nullptr);

    ClassFactory factory(server.create);
    DWORD cookie = 0;
    hr = CoRegisterClassObject(*server.clsid, &factory, CLSCTX_LOCAL_SERVER,
                               REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookie);
    if (SUCCEEDED(hr)) hr = CoResumeClassObjects();
    if (SUCCEEDED(hr)) {
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (cookie) CoRevokeClassObject(cookie);
    DestroyWindow(g_window);
    g_window = nullptr;
    CoRegisterMessageFilter(previous, nullptr);
    if (previous) previous->Release();
    CoUninitialize();
    return SUCCEEDED(hr) ? 0 : 1;
}

}  // namespace

std::wstring ProgramPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

void SetClientProbe(bool (*anyLiveSink)()) { g_anyLiveSink = anyLiveSink; }

void NoteActivity() { g_lastActivity = GetTickCount64(); }

void HoldServer() {
    g_everHeld = true;
    CoAddRefServerProcess();
}

void ReleaseServer() {
    // COM suspends the class objects itself when the count reaches zero, so no
    // new activation can race with the shutdown.
    if (CoReleaseServerProcess() == 0 && g_window) PostMessageW(g_window, kQuit, 0, 0);
}

HRESULT GetServerTypeInfo(REFIID iid, ITypeInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    static ITypeLib* library = nullptr;
    if (!library) {
        HRESULT hr = LoadTypeLibEx(ProgramPath().c_str(), REGKIND_NONE, &library);
        if (FAILED(hr)) return hr;
    }
    return library->GetTypeInfoOfGuid(iid, out);
}

void PostToServerThread(void (*work)(void* context), void* context) {
    if (g_window)
        PostMessageW(g_window, kRunPosted, reinterpret_cast<WPARAM>(work),
                     reinterpret_cast<LPARAM>(context));
}

int ServerMain(const ServerClass& server, const wchar_t* commandLine) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool doRegister = false, doUnregister = false;
    std::wstring defaultRoot;
    for (int i = 1; argv && i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg.size() > 1 && (arg[0] == L'/' || arg[0] == L'-')) arg = arg.substr(1);
        if (_wcsicmp(arg.c_str(), L"RegServer") == 0) doRegister = true;
        else if (_wcsicmp(arg.c_str(), L"UnregServer") == 0) doUnregister = true;
        else if (_wcsnicmp(arg.c_str(), L"DefaultRoot:", 12) == 0) defaultRoot = arg.substr(12);
    }
    LocalFree(argv);
    if (doRegister || doUnregister) {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        HRESULT hr = doRegister ? Register(server, defaultRoot) : Unregister(server);
        CoUninitialize();
        return SUCCEEDED(hr) ? 0 : 1;
    }
    return Serve(server);
}

}  // namespace substitute
