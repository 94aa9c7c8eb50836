#include "testing/substitute_server.h"

#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <cstdlib>

#include "common/holders.h"
#include "testing/scratch_tree.h"
#include "substitute_paths.h"
#include "tools/substitute_common/error_info_hook.h"
#include "tools/substitute_common/settings.h"

namespace {

constexpr wchar_t kFixtureMutex[] = L"KTXSubstituteModuleFixture";
constexpr DWORD kFixtureWaitMs = 10 * 60 * 1000;
// Where the configuration found at the start waits to be put back.
constexpr wchar_t kSavedSettingsKey[] = L"Software\\KTXSubstitute.Saved";

// The settings key, or one of its subkeys, created when missing.
UniqueRegKey SettingsKey(const wchar_t* subkey = nullptr) {
    std::wstring path = substitute::kSettingsKey;
    if (subkey) path += std::wstring(L"\\") + subkey;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return nullptr;
    return UniqueRegKey(key);
}

// Replaces the key `to` by a copy of the key `from`.
bool CopySettings(const wchar_t* from, const wchar_t* to) {
    HKEY source = nullptr, target = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, from, 0, KEY_READ, &source) != ERROR_SUCCESS) return false;
    UniqueRegKey sourceHolder(source);
    RegDeleteTreeW(HKEY_CURRENT_USER, to);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) !=
        ERROR_SUCCESS)
        return false;
    UniqueRegKey targetHolder(target);
    return RegCopyTreeW(source, nullptr, target) == ERROR_SUCCESS;
}

// ---- the keep-alive reference, on a thread of its own ----
// It lives while fixtures of this program follow one another and lets go a
// few seconds after the last one, so that other programs (and the tests of
// the server's exit) see the server end.

constexpr ULONGLONG kKeeperGraceMs = 4000;

INIT_ONCE g_initOnce = INIT_ONCE_STATIC_INIT;
CRITICAL_SECTION g_keeperLock;
HANDLE g_keeperThread = nullptr;
HANDLE g_keeperStop = nullptr;
LONG g_liveFixtures = 0;
volatile LONGLONG g_lastFixtureEnd = 0;

DWORD WINAPI KeeperMain(void* ready) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    substitute::RegisterErrorInfoHook();
    IUnknown* server = nullptr;
    CoCreateInstance(CLSID_ModuleAccessServer, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                     reinterpret_cast<void**>(&server));
    SetEvent(static_cast<HANDLE>(ready));
    while (WaitForSingleObject(g_keeperStop, 500) == WAIT_TIMEOUT) {
        if (InterlockedCompareExchange(&g_liveFixtures, 0, 0) == 0 &&
            GetTickCount64() - static_cast<ULONGLONG>(g_lastFixtureEnd) > kKeeperGraceMs)
            break;
    }
    if (server) server->Release();
    CoUninitialize();
    return 0;
}

void StopKeeper() {
    EnterCriticalSection(&g_keeperLock);
    if (g_keeperThread) {
        SetEvent(g_keeperStop);
        WaitForSingleObject(g_keeperThread, 30000);
        CloseHandle(g_keeperThread);
        g_keeperThread = nullptr;
        ResetEvent(g_keeperStop);
    }
    LeaveCriticalSection(&g_keeperLock);
}

BOOL CALLBACK InitOnce(INIT_ONCE*, void*, void**) {
    InitializeCriticalSection(&g_keeperLock);
    g_keeperStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    atexit(StopKeeper);
    return TRUE;
}

void StartKeeper() {
    EnterCriticalSection(&g_keeperLock);
    if (g_keeperThread && WaitForSingleObject(g_keeperThread, 0) == WAIT_OBJECT_0) {
        CloseHandle(g_keeperThread);
        g_keeperThread = nullptr;
    }
    if (!g_keeperThread) {
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_keeperThread = CreateThread(nullptr, 0, KeeperMain, ready, 0, nullptr);
        if (g_keeperThread) WaitForSingleObject(ready, 60000);
        CloseHandle(ready);
    }
    LeaveCriticalSection(&g_keeperLock);
}

// ---- files ----

// One shell file operation without any UI: the copy of `from` into the folder
// `to`, or the deletion of `from` with all below it.
bool ShellFileOperation(UINT function, const std::wstring& from, const std::wstring& to = std::wstring()) {
    const std::wstring source = from + L'\0', target = to + L'\0';  // lists of one, ending in two nulls
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = function;
    operation.pFrom = source.c_str();
    operation.pTo = to.empty() ? nullptr : target.c_str();
    operation.fFlags = FOF_NO_UI;
    return SHFileOperationW(&operation) == 0 && !operation.fAnyOperationsAborted;
}

}  // namespace

SubstituteModule::SubstituteModule() : SubstituteModule(Options()) {}

SubstituteModule::SubstituteModule(const Options& options) {
    InitOnceExecuteOnce(&g_initOnce, InitOnce, nullptr, nullptr);
    mutex_ = CreateMutexW(nullptr, FALSE, kFixtureMutex);
    if (!mutex_) return;
    DWORD wait = WaitForSingleObject(mutex_, kFixtureWaitMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        CloseHandle(mutex_);
        mutex_ = nullptr;
        return;
    }
    savedSettings_ = CopySettings(substitute::kSettingsKey, kSavedSettingsKey);

    bool copied = false;
    if (!options.serveFolder.empty()) {
        root_ = options.serveFolder;
        ownsRoot_ = false;
        DWORD attributes = GetFileAttributesW(root_.c_str());
        copied = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    } else {
        wchar_t temp[MAX_PATH] = {}, fresh[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        if (GetTempFileNameW(temp, L"ktx", 0, fresh) && DeleteFileW(fresh)) root_ = fresh;  // a name of its own
        const std::wstring sample = std::wstring(KTX_SAMPLE_MODULE_DIR) + L"\\*";
        copied = !root_.empty() && CreateDirectoryW(root_.c_str(), nullptr) &&
                 (!options.copySample || ShellFileOperation(FO_COPY, sample, root_));
    }

    // A clean configuration: the copy as root, every other setting at its default.
    RegDeleteTreeW(HKEY_CURRENT_USER, substitute::kSettingsKey);
    UniqueRegKey key = SettingsKey();
    ok_ = copied && key && substitute::WriteString(key.get(), L"Root", root_) == ERROR_SUCCESS;
    InterlockedIncrement(&g_liveFixtures);
    StartKeeper();
}

SubstituteModule::~SubstituteModule() {
    if (!mutex_) return;
    RegDeleteTreeW(HKEY_CURRENT_USER, substitute::kSettingsKey);
    if (savedSettings_ && CopySettings(kSavedSettingsKey, substitute::kSettingsKey))
        RegDeleteTreeW(HKEY_CURRENT_USER, kSavedSettingsKey);
    if (ownsRoot_ && !root_.empty()) DeleteScratchTree(root_);
    g_lastFixtureEnd = static_cast<LONGLONG>(GetTickCount64());
    InterlockedDecrement(&g_liveFixtures);
    ReleaseMutex(mutex_);
    CloseHandle(mutex_);
}

std::wstring SubstituteModule::PcPath(const std::wstring& modulePath) const {
    std::wstring path = modulePath;
    if (!path.empty() && path[0] == L'\\') path.erase(0, 1);
    if (path.size() >= 2 && path[1] == L':') path.erase(1, 1);
    return path.empty() ? root_ : root_ + L"\\" + path;
}

HRESULT SubstituteModule::Create(ModuleAccess** out) const {
    return CoCreateInstance(CLSID_ModuleAccessServer, nullptr, CLSCTX_LOCAL_SERVER, IID_ModuleAccess,
                            reinterpret_cast<void**>(out));
}

HRESULT SubstituteModule::CreateDeviceInfo(DeviceInfo** out) const {
    return CoCreateInstance(CLSID_DeviceInfoServer, nullptr, CLSCTX_LOCAL_SERVER, IID_DeviceInfo,
                            reinterpret_cast<void**>(out));
}

void SubstituteModule::WriteDword(const wchar_t* subkey, const wchar_t* name, DWORD value) const {
    UniqueRegKey key = SettingsKey(subkey);
    if (key) substitute::WriteDword(key.get(), name, value);
}

void SubstituteModule::WriteString(const wchar_t* name, const std::wstring& value) const {
    UniqueRegKey key = SettingsKey();
    if (key) substitute::WriteString(key.get(), name, value);
}

void SubstituteModule::FailNthCall(const wchar_t* operation, unsigned n, HRESULT hr, unsigned repeat,
                                   const wchar_t* description) {
    const std::wstring subkey = std::wstring(L"Faults\\") + operation;
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(substitute::kSettingsKey) + L"\\" + subkey).c_str());
    UniqueRegKey key = SettingsKey(subkey.c_str());
    if (!key) return;
    substitute::WriteDword(key.get(), L"Call", n);
    substitute::WriteDword(key.get(), L"Result", static_cast<DWORD>(hr));
    substitute::WriteDword(key.get(), L"Repeat", repeat);
    substitute::WriteDword(key.get(), L"Seen", 0);
    if (description) substitute::WriteString(key.get(), L"Description", description);
}

void SubstituteModule::ClearFaults() {
    RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(substitute::kSettingsKey) + L"\\Faults").c_str());
}

void SubstituteModule::RejectBusy(unsigned calls, DWORD reply) {
    WriteDword(nullptr, L"BusyReply", reply);
    WriteDword(nullptr, L"BusyCalls", calls);
}

void SubstituteModule::SetLinkSpeed(DWORD bytesPerSecond) { WriteDword(nullptr, L"LinkSpeed", bytesPerSecond); }

void SubstituteModule::SetCapacity(wchar_t drive, DWORD bytes) {
    wchar_t name[2] = {drive, L'\0'};
    WriteDword(L"Capacities", name, bytes);
}

void SubstituteModule::SetModel(const std::wstring& model) { WriteString(L"Model", model); }

void SubstituteModule::SetPortMask(DWORD mask) { WriteDword(nullptr, L"PortMask", mask); }

DWORD SubstituteModule::CallCount(const wchar_t* operation) const {
    DWORD count = 0;
    UniqueRegKey key = SettingsKey(L"Calls");
    if (key) substitute::ReadDword(key.get(), operation, &count);
    return count;
}

std::wstring TakeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return std::wstring();
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    std::wstring description = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return description;
}
