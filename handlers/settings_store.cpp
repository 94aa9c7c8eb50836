#include "handlers/settings_store.h"

#include <shlwapi.h>

#include "common/holders.h"
#include "common/resource_module.h"

namespace {

const wchar_t kPortValue[] = L"Port";
const wchar_t kSaveResultValue[] = L"SaveResult";

UniqueRegKey OpenSettings(REGSAM access, bool create) {
    HKEY raw = nullptr;
    LONG status = create ? RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0,
                                           access, nullptr, &raw, nullptr)
                         : RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKeyPath, 0, access, &raw);
    SetLastError(static_cast<DWORD>(status));
    return UniqueRegKey(status == ERROR_SUCCESS ? raw : nullptr);
}

std::wstring HistoryValueName(int index) { return L"Searched" + std::to_wstring(index); }

}  // namespace

std::wstring PortName(int index) {
    if (index < 0 || index >= kPortCount) return std::wstring();
    return L"COM" + std::to_wstring(index + 1);
}

int PortIndexOf(const std::wstring& name) {
    for (int i = 0; i < kPortCount; ++i)
        if (lstrcmpiW(PortName(i).c_str(), name.c_str()) == 0) return i;
    return -1;
}

bool ReadSettingString(const wchar_t* name, std::wstring* value) {
    value->clear();
    UniqueRegKey key = OpenSettings(KEY_QUERY_VALUE, false);
    if (!key) return false;
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]),
                         &bytes) != ERROR_SUCCESS)
        return false;
    text.resize(wcsnlen(text.c_str(), bytes / sizeof(wchar_t)));
    *value = text;
    return true;
}

HRESULT WriteSettingString(const wchar_t* name, const std::wstring& value) {
    UniqueRegKey key = OpenSettings(KEY_ALL_ACCESS, true);
    if (!key) return HRESULT_FROM_WIN32(GetLastError());
    LONG status = RegSetValueExW(key.get(), name, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(status);
}

int ReadPortIndex() {
    std::wstring port;
    if (!ReadSettingString(kPortValue, &port)) return 0;
    int index = PortIndexOf(port);
    return index < 0 ? 0 : index;
}

HRESULT WritePortSetting(const std::wstring& portName) {
    return WriteSettingString(kPortValue, portName);
}

bool ReadSaveResult() {
    std::wstring value;
    return ReadSettingString(kSaveResultValue, &value) && !value.empty() && value[0] == L'1';
}

HRESULT WriteSaveResult(bool on) { return WriteSettingString(kSaveResultValue, on ? L"1" : L"0"); }

std::vector<std::wstring> ReadSearchHistory() {
    std::vector<std::wstring> names;
    // Each place is its own: a gap keeps the names after it where they are.
    for (int i = 0; i < kSearchHistoryLength; ++i) {
        std::wstring name;
        ReadSettingString(HistoryValueName(i).c_str(), &name);
        names.push_back(name);
    }
    return names;
}

HRESULT WriteSearchHistory(const std::vector<std::wstring>& names) {
    UniqueRegKey key = OpenSettings(KEY_ALL_ACCESS, true);
    if (!key) return HRESULT_FROM_WIN32(GetLastError());
    for (int i = 0; i < kSearchHistoryLength; ++i) {
        std::wstring valueName = HistoryValueName(i);
        if (i < static_cast<int>(names.size())) {
            const std::wstring& name = names[i];
            LONG status = RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(name.c_str()),
                                         static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
            if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
        } else {
            RegDeleteValueW(key.get(), valueName.c_str());
        }
    }
    return S_OK;
}
