#include "search/search_settings.h"

#include "common/holders.h"
#include "common/resource_module.h"

namespace {

std::wstring HistoryValueName(size_t index) {
    wchar_t name[32];
    wsprintfW(name, L"%s%d", L"Searched", static_cast<int>(index));
    return name;
}

// Reads a string value with a buffer of `bytes` bytes; empty when missing.
std::wstring ReadString(HKEY key, const wchar_t* name, DWORD bytes) {
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD type = 0, size = bytes;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::wstring();
    buffer[size / sizeof(wchar_t) < buffer.size() ? size / sizeof(wchar_t) : buffer.size() - 1] = L'\0';
    return buffer.data();
}

void WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

UniqueRegKey OpenSettings(HKEY root, bool create) {
    HKEY raw = nullptr;
    LONG status = create ? RegCreateKeyExW(root, kSettingsKeyPath, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                                           &raw, nullptr)
                         : RegOpenKeyExW(root, kSettingsKeyPath, 0, KEY_READ, &raw);
    return UniqueRegKey(status == ERROR_SUCCESS ? raw : nullptr);
}

}  // namespace

bool ReadSaveResultSetting(HKEY root) {
    UniqueRegKey key = OpenSettings(root, false);
    if (!key) return false;
    std::wstring value = ReadString(key.get(), L"SaveResult", 260);
    return !value.empty() && value[0] == L'1';
}

void StoreSaveResultSetting(bool on, HKEY root) {
    UniqueRegKey key = OpenSettings(root, true);
    if (key) WriteString(key.get(), L"SaveResult", on ? L"1" : L"0");
}

std::vector<std::wstring> ReadNameHistory(HKEY root) {
    std::vector<std::wstring> history(kNameHistorySize);
    UniqueRegKey key = OpenSettings(root, false);
    if (!key) return history;
    for (size_t i = 0; i < kNameHistorySize; ++i)
        history[i] = ReadString(key.get(), HistoryValueName(i).c_str(), 260);
    return history;
}

void StoreNameHistory(const std::vector<std::wstring>& history, HKEY root) {
    UniqueRegKey key = OpenSettings(root, true);
    if (!key) return;
    for (size_t i = 0; i < kNameHistorySize; ++i)
        WriteString(key.get(), HistoryValueName(i).c_str(), i < history.size() ? history[i] : std::wstring());
}

std::vector<std::wstring> AddToNameHistory(std::vector<std::wstring> history, const std::wstring& name) {
    history.resize(kNameHistorySize);
    if (name.empty()) return history;
    for (size_t i = 0; i < history.size(); ++i) {
        if (lstrcmpiW(history[i].c_str(), name.c_str()) == 0) {
            history.erase(history.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    history.insert(history.begin(), name);
    history.resize(kNameHistorySize);
    return history;
}
