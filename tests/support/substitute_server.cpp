#include "tests/support/substitute_server.h"

#include <objbase.h>
#include <oleauto.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <vector>

#include "substitute_paths.h"
#include "tools/substitute_common/error_info_hook.h"
#include "tools/substitute_common/settings.h"

namespace {

constexpr wchar_t kFixtureMutex[] = L"KTXSubstituteModuleFixture";
constexpr DWORD kFixtureWaitMs = 10 * 60 * 1000;

// ---- the keep-alive reference, on a thread of its own ----
// It lives while fixtures of this program follow one another and lets go a
// few seconds after the last one, so that other programs (and the tests of
// the server's exit) see the server end.

constexpr ULONGLONG kKeeperGraceMs = 4000;

HANDLE g_keeperThread = nullptr;
HANDLE g_keeperStop = nullptr;
HANDLE g_keeperReady = nullptr;
CRITICAL_SECTION g_keeperLock;
CRITICAL_SECTION g_trashLock;  // the deletion queue below
INIT_ONCE g_keeperOnce = INIT_ONCE_STATIC_INIT;
LONG g_liveFixtures = 0;
volatile LONGLONG g_lastFixtureEnd = 0;

DWORD WINAPI KeeperMain(void*) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    substitute::RegisterErrorInfoHook();
    IUnknown* server = nullptr;
    CoCreateInstance(CLSID_ModuleAccessServer, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                     reinterpret_cast<void**>(&server));
    SetEvent(g_keeperReady);
    while (WaitForSingleObject(g_keeperStop, 500) == WAIT_TIMEOUT) {
        if (InterlockedCompareExchange(&g_liveFixtures, 0, 0) == 0 &&
            GetTickCount64() - static_cast<ULONGLONG>(g_lastFixtureEnd) > kKeeperGraceMs)
            break;
    }
    if (server) server->Release();
    CoUninitialize();
    return 0;
}

void CloseKeeperHandles() {
    CloseHandle(g_keeperThread);
    CloseHandle(g_keeperStop);
    CloseHandle(g_keeperReady);
    g_keeperThread = g_keeperStop = g_keeperReady = nullptr;
}

void StopKeeper() {
    EnterCriticalSection(&g_keeperLock);
    if (g_keeperThread) {
        SetEvent(g_keeperStop);
        WaitForSingleObject(g_keeperThread, 30000);
        CloseKeeperHandles();
    }
    LeaveCriticalSection(&g_keeperLock);
}

void FinishTrash();

BOOL CALLBACK InitKeeper(INIT_ONCE*, void*, void**) {
    InitializeCriticalSection(&g_keeperLock);
    InitializeCriticalSection(&g_trashLock);
    atexit(StopKeeper);
    atexit(FinishTrash);
    return TRUE;
}

void StartKeeper() {
    InitOnceExecuteOnce(&g_keeperOnce, InitKeeper, nullptr, nullptr);
    EnterCriticalSection(&g_keeperLock);
    if (g_keeperThread && WaitForSingleObject(g_keeperThread, 0) == WAIT_OBJECT_0) CloseKeeperHandles();
    if (!g_keeperThread) {
        g_keeperStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_keeperReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        g_keeperThread = CreateThread(nullptr, 0, KeeperMain, nullptr, 0, nullptr);
        if (g_keeperThread) WaitForSingleObject(g_keeperReady, 60000);
    }
    LeaveCriticalSection(&g_keeperLock);
}

// ---- files ----

bool CopyTree(const std::wstring& from, const std::wstring& to) {
    if (!CreateDirectoryW(to.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return true;
    bool ok = true;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = CopyTree(from + L"\\" + name, to + L"\\" + name);
        else
            ok = CopyFileW((from + L"\\" + name).c_str(), (to + L"\\" + name).c_str(), FALSE) != FALSE;
    } while (ok && FindNextFileW(find, &data));
    FindClose(find);
    return ok;
}

void DeleteTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

std::wstring FreshTempFolder() {
    static LONG counter = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring base = temp;
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    std::wstring path = base + L"\\ktx_module_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                        std::to_wstring(InterlockedIncrement(&counter));
    DeleteTree(path);
    return path;
}

// ---- served copies are deleted behind the tests' back ----
// Deleting a tree costs a few hundred milliseconds under Wine; a thread of
// its own does it while the next test runs, and finishes before the program ends.

std::vector<std::wstring> g_trash;
HANDLE g_trashWake = nullptr;
HANDLE g_trashThread = nullptr;
bool g_trashClosing = false;

DWORD WINAPI TrashMain(void*) {
    for (;;) {
        WaitForSingleObject(g_trashWake, INFINITE);
        for (;;) {
            std::wstring next;
            bool closing = false;
            EnterCriticalSection(&g_trashLock);
            if (!g_trash.empty()) {
                next = g_trash.back();
                g_trash.pop_back();
            }
            closing = g_trashClosing;
            LeaveCriticalSection(&g_trashLock);
            if (next.empty()) {
                if (closing) return 0;
                break;
            }
            DeleteTree(next);
        }
    }
}

void FinishTrash() {
    if (!g_trashThread) return;
    EnterCriticalSection(&g_trashLock);
    g_trashClosing = true;
    LeaveCriticalSection(&g_trashLock);
    SetEvent(g_trashWake);
    WaitForSingleObject(g_trashThread, 60000);
}

void Discard(const std::wstring& folder) {
    EnterCriticalSection(&g_trashLock);
    if (!g_trashThread) {
        g_trashWake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        g_trashThread = CreateThread(nullptr, 0, TrashMain, nullptr, 0, nullptr);
    }
    bool queued = g_trashThread != nullptr;
    if (queued) g_trash.push_back(folder);
    LeaveCriticalSection(&g_trashLock);
    if (queued)
        SetEvent(g_trashWake);
    else
        DeleteTree(folder);
}

}  // namespace

// ---- the configuration, saved whole and put back ----

struct SubstituteModule::Snapshot {
    bool existed = false;
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct Key {
        std::wstring name;
        std::vector<Value> values;
        std::vector<Key> subkeys;
    } key;

    static void Capture(HKEY handle, Key* into) {
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256, type = 0, size = 0;
            if (RegEnumValueW(handle, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
            Value value{name, type, std::vector<BYTE>(size)};
            nameLength = 256;
            RegEnumValueW(handle, i, name, &nameLength, nullptr, &type, value.data.data(), &size);
            into->values.push_back(value);
        }
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLength = 256;
            if (RegEnumKeyExW(handle, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            HKEY child = nullptr;
            Key sub;
            sub.name = name;
            if (RegOpenKeyExW(handle, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
                Capture(child, &sub);
                RegCloseKey(child);
            }
            into->subkeys.push_back(sub);
        }
    }

    static void Restore(HKEY handle, const Key& from) {
        for (const Value& v : from.values)
            RegSetValueExW(handle, v.name.c_str(), 0, v.type, v.data.data(), static_cast<DWORD>(v.data.size()));
        for (const Key& sub : from.subkeys) {
            HKEY child = nullptr;
            if (RegCreateKeyExW(handle, sub.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr) ==
                ERROR_SUCCESS) {
                Restore(child, sub);
                RegCloseKey(child);
            }
        }
    }
};

SubstituteModule::SubstituteModule() : SubstituteModule(Options()) {}

SubstituteModule::SubstituteModule(const Options& options) {
    mutex_ = CreateMutexW(nullptr, FALSE, kFixtureMutex);
    if (!mutex_) return;
    DWORD wait = WaitForSingleObject(mutex_, kFixtureWaitMs);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        CloseHandle(mutex_);
        mutex_ = nullptr;
        return;
    }

    saved_ = new Snapshot;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, substitute::kSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        saved_->existed = true;
        Snapshot::Capture(key, &saved_->key);
        RegCloseKey(key);
    }

    bool copied = false;
    if (!options.serveFolder.empty()) {
        root_ = options.serveFolder;
        ownsRoot_ = false;
        DWORD attributes = GetFileAttributesW(root_.c_str());
        copied = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    } else {
        root_ = FreshTempFolder();
        copied = options.copySample ? CopyTree(SampleModuleFolder(), root_)
                                    : (CreateDirectoryW(root_.c_str(), nullptr) != FALSE);
    }

    // A clean configuration: the copy as root, every other setting at its default.
    RegDeleteTreeW(HKEY_CURRENT_USER, substitute::kSettingsKey);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, substitute::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        ok_ = copied && substitute::WriteString(key, L"Root", root_) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    InterlockedIncrement(&g_liveFixtures);
    StartKeeper();
}

SubstituteModule::~SubstituteModule() {
    if (!mutex_) return;
    RegDeleteTreeW(HKEY_CURRENT_USER, substitute::kSettingsKey);
    if (saved_ && saved_->existed) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, substitute::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr) == ERROR_SUCCESS) {
            Snapshot::Restore(key, saved_->key);
            RegCloseKey(key);
        }
    }
    delete saved_;
    if (ownsRoot_ && !root_.empty()) Discard(root_);
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
    if (!out) return E_POINTER;
    *out = nullptr;
    return CoCreateInstance(CLSID_ModuleAccessServer, nullptr, CLSCTX_LOCAL_SERVER, IID_ModuleAccess,
                            reinterpret_cast<void**>(out));
}

HRESULT SubstituteModule::CreateDeviceInfo(DeviceInfo** out) const {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CoCreateInstance(CLSID_DeviceInfoServer, nullptr, CLSCTX_LOCAL_SERVER, IID_DeviceInfo,
                            reinterpret_cast<void**>(out));
}

void SubstituteModule::WriteDword(const wchar_t* subkey, const wchar_t* name, DWORD value) const {
    std::wstring path = substitute::kSettingsKey;
    if (subkey) path += std::wstring(L"\\") + subkey;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        substitute::WriteDword(key, name, value);
        RegCloseKey(key);
    }
}

void SubstituteModule::FailNthCall(const wchar_t* operation, unsigned n, HRESULT hr, unsigned repeat,
                                   const wchar_t* description) {
    std::wstring path = std::wstring(substitute::kSettingsKey) + L"\\Faults\\" + operation;
    RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    substitute::WriteDword(key, L"Call", n);
    substitute::WriteDword(key, L"Result", static_cast<DWORD>(hr));
    substitute::WriteDword(key, L"Repeat", repeat);
    substitute::WriteDword(key, L"Seen", 0);
    if (description) substitute::WriteString(key, L"Description", description);
    RegCloseKey(key);
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

void SubstituteModule::SetModel(const std::wstring& model) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, substitute::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        substitute::WriteString(key, L"Model", model);
        RegCloseKey(key);
    }
}

void SubstituteModule::SetPortMask(DWORD mask) { WriteDword(nullptr, L"PortMask", mask); }

std::wstring SubstituteModule::StoredPort() const { return substitute::ReadStoredPort(); }

DWORD SubstituteModule::CallCount(const wchar_t* operation) const {
    HKEY key = nullptr;
    DWORD count = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(substitute::kSettingsKey) + L"\\Calls").c_str(), 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
        substitute::ReadDword(key, operation, &count);
        RegCloseKey(key);
    }
    return count;
}

void SubstituteModule::Disconnect() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, substitute::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        substitute::WriteString(key, L"Root", root_ + L"\\unplugged");
        RegCloseKey(key);
    }
}

void SubstituteModule::Reconnect() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, substitute::kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        substitute::WriteString(key, L"Root", root_);
        RegCloseKey(key);
    }
}

void SubstituteModule::StopKeepingServer() {
    InitOnceExecuteOnce(&g_keeperOnce, InitKeeper, nullptr, nullptr);
    StopKeeper();
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

std::wstring SampleModuleFolder() { return KTX_SAMPLE_MODULE_DIR; }

DWORD FindProcessId(const wchar_t* exeName) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD pid = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName) == 0) {
            pid = entry.th32ProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return pid;
}
