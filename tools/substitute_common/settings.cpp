#include "tools/substitute_common/settings.h"

#include <vector>

#include "common/holders.h"

namespace substitute {

namespace {

UniqueRegKey OpenSettings(const wchar_t* subkey, bool write) {
    std::wstring path = kSettingsKey;
    if (subkey && *subkey) path += std::wstring(L"\\") + subkey;
    HKEY key = nullptr;
    LONG rc = write ? RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                                      KEY_READ | KEY_WRITE, nullptr, &key, nullptr)
                    : RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    return UniqueRegKey(rc == ERROR_SUCCESS ? key : nullptr);
}

}  // namespace

bool ReadDword(HKEY key, const wchar_t* name, DWORD* value) {
    DWORD type = 0, data = 0, size = sizeof(data);
    if (!key || RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
                    ERROR_SUCCESS ||
        type != REG_DWORD)
        return false;
    *value = data;
    return true;
}

bool ReadString(HKEY key, const wchar_t* name, std::wstring* value) {
    DWORD type = 0, size = 0;
    if (!key || RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    *value = buffer.data();
    return true;
}

LONG WriteDword(HKEY key, const wchar_t* name, DWORD value) {
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

LONG WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

Settings ReadSettings() {
    Settings settings;
    UniqueRegKey key = OpenSettings(nullptr, false);
    if (!key) return settings;
    ReadString(key.get(), L"Root", &settings.root);
    ReadString(key.get(), L"Model", &settings.model);
    ReadDword(key.get(), L"PortMask", &settings.portMask);
    ReadDword(key.get(), L"LinkSpeed", &settings.linkSpeed);
    ReadDword(key.get(), L"IdleSeconds", &settings.idleSeconds);
    return settings;
}

bool ReadCapacityOverride(wchar_t drive, DWORD* capacity) {
    UniqueRegKey key = OpenSettings(L"Capacities", false);
    wchar_t name[2] = {drive, L'\0'};
    return ReadDword(key.get(), name, capacity);
}

std::wstring ReadStoredPort() {
    std::wstring port;
    UniqueRegKey key = OpenSettings(nullptr, false);
    ReadString(key.get(), L"Port", &port);
    return port;
}

HRESULT StorePort(const std::wstring& port) {
    UniqueRegKey key = OpenSettings(nullptr, true);
    if (!key) return E_ACCESSDENIED;
    return HRESULT_FROM_WIN32(WriteString(key.get(), L"Port", port));
}

bool TakeCall(const wchar_t* operation, InjectedFault* fault) {
    {
        UniqueRegKey calls = OpenSettings(L"Calls", true);
        if (calls) {
            DWORD count = 0;
            ReadDword(calls.get(), operation, &count);
            WriteDword(calls.get(), operation, count + 1);
        }
    }
    UniqueRegKey key = OpenSettings((std::wstring(L"Faults\\") + operation).c_str(), false);
    if (!key) return false;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(key.get(), nullptr, 0, KEY_READ | KEY_WRITE, &raw) != ERROR_SUCCESS)
        return false;
    UniqueRegKey writable(raw);
    DWORD first = 0, result = 0, repeat = 1, seen = 0;
    if (!ReadDword(raw, L"Call", &first) || !ReadDword(raw, L"Result", &result)) return false;
    ReadDword(raw, L"Repeat", &repeat);
    ReadDword(raw, L"Seen", &seen);
    ++seen;
    WriteDword(raw, L"Seen", seen);
    if (seen < first || (repeat != 0 && seen >= first + repeat)) return false;
    fault->result = static_cast<HRESULT>(result);
    fault->description.clear();
    ReadString(raw, L"Description", &fault->description);
    return true;
}

bool HasFault(const wchar_t* operation) {
    return static_cast<bool>(OpenSettings((std::wstring(L"Faults\\") + operation).c_str(), false));
}

bool TakeBusyRejection(DWORD* reply) {
    UniqueRegKey key = OpenSettings(nullptr, false);
    DWORD pending = 0;
    if (!ReadDword(key.get(), L"BusyCalls", &pending) || pending == 0) return false;
    UniqueRegKey writable = OpenSettings(nullptr, true);
    if (!writable) return false;
    WriteDword(writable.get(), L"BusyCalls", pending - 1);
    DWORD answer = SERVERCALL_REJECTED;
    ReadDword(key.get(), L"BusyReply", &answer);
    *reply = answer;
    return true;
}

}  // namespace substitute
