#include "search/file_types.h"

#include <algorithm>

#include "common/holders.h"

namespace {

std::wstring DefaultValue(HKEY root, const wchar_t* subkey) {
    wchar_t buffer[MAX_PATH];
    LONG bytes = sizeof(buffer);
    if (RegQueryValueW(root, subkey, buffer, &bytes) != ERROR_SUCCESS) return std::wstring();
    buffer[ARRAYSIZE(buffer) - 1] = L'\0';
    return buffer;
}

}  // namespace

std::vector<FileTypeEntry> ReadFileTypes(HKEY classes, const std::wstring& allFiles) {
    std::vector<FileTypeEntry> types;
    for (DWORD index = 0;; ++index) {
        wchar_t name[MAX_PATH];
        DWORD length = ARRAYSIZE(name);
        LONG status = RegEnumKeyExW(classes, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) break;
        if (name[0] != L'.') continue;
        std::wstring className = DefaultValue(classes, name);
        if (className.empty()) continue;
        std::wstring description = DefaultValue(classes, className.c_str());
        if (description.empty()) continue;
        std::wstring pattern = name[0] == L'*' ? std::wstring(name) : L"*" + std::wstring(name);
        int existing = FindFileType(types, description);
        if (existing >= 0) {
            types[existing].pattern += L"|" + pattern;
        } else {
            types.push_back({description, pattern});
        }
    }
    std::stable_sort(types.begin(), types.end(), [](const FileTypeEntry& a, const FileTypeEntry& b) {
        return lstrcmpiW(a.description.c_str(), b.description.c_str()) < 0;
    });
    types.insert(types.begin(), FileTypeEntry{allFiles, L"*"});
    return types;
}

int FindFileType(const std::vector<FileTypeEntry>& types, const std::wstring& description) {
    for (size_t i = 0; i < types.size(); ++i) {
        if (lstrcmpiW(types[i].description.c_str(), description.c_str()) == 0) return static_cast<int>(i);
    }
    return -1;
}
