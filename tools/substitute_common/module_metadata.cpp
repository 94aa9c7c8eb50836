#include "tools/substitute_common/module_metadata.h"

#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "common/holders.h"

namespace substitute {

namespace {

std::vector<std::wstring> SplitTabs(const std::wstring& line) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos) break;
        start = tab + 1;
    }
    return fields;
}

bool IsUnder(const std::wstring& key, const std::wstring& parentKey) {
    return key.size() > parentKey.size() && key.compare(0, parentKey.size(), parentKey) == 0 &&
           key[parentKey.size()] == L'\\';
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring MetadataKey(const std::wstring& path) {
    std::wstring key = path;
    if (!key.empty())
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, key.c_str(), static_cast<int>(key.size()),
                     &key[0], static_cast<int>(key.size()));
    return key;
}

std::wstring FormatMetadataTime(double time) {
    SYSTEMTIME st = {};
    if (time == 0 || !VariantTimeToSystemTime(time, &st)) return std::wstring();
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
             st.wMinute, st.wSecond);
    return text;
}

double ParseMetadataTime(const std::wstring& text) {
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (swscanf(text.c_str(), L"%u-%u-%u %u:%u:%u", &y, &mo, &d, &h, &mi, &s) != 6) return 0;
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    double time = 0;
    return SystemTimeToVariantTime(&st, &time) ? time : 0;
}

double OleDateFromFileTime(const FILETIME& utc) {
    FILETIME local;
    SYSTEMTIME st;
    double time = 0;
    if ((utc.dwLowDateTime == 0 && utc.dwHighDateTime == 0) || !FileTimeToLocalFileTime(&utc, &local) ||
        !FileTimeToSystemTime(&local, &st) || !SystemTimeToVariantTime(&st, &time))
        return 0;
    return time;
}

double OleDateNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    st.wMilliseconds = 0;
    double time = 0;
    SystemTimeToVariantTime(&st, &time);
    return time;
}

HRESULT ModuleMetadata::Load(const std::wstring& file) {
    items_.clear();
    drives_.clear();
    UniqueHandle handle(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                    FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!handle.valid()) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? S_FALSE
                                                                                : HRESULT_FROM_WIN32(error);
    }
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(handle.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::wstring text = FromUtf8(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        start = end == std::wstring::npos ? text.size() : end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        if (line.empty() || line[0] == L'#') continue;
        std::vector<std::wstring> f = SplitTabs(line);
        if (f[0] == L"drive" && f.size() >= 3 && f[1].size() == 1 && iswalpha(f[1][0])) {
            DriveMetadata& drive = drives_[static_cast<wchar_t>(towupper(f[1][0]))];
            if (!f[2].empty()) {
                drive.hasCapacity = true;
                drive.capacity = static_cast<DWORD>(wcstoul(f[2].c_str(), nullptr, 10));
            }
            if (f.size() >= 4) drive.label = f[3];
        } else if (f[0] == L"item" && f.size() >= 3 && !f[1].empty()) {
            ItemMetadata& item = Ensure(f[1]);
            item.shortName = f[2];
            if (f.size() >= 4 && !f[3].empty()) {
                item.hasAttributes = true;
                item.attributes = static_cast<DWORD>(wcstoul(f[3].c_str(), nullptr, 16));
            }
            if (f.size() >= 5) item.created = ParseMetadataTime(f[4]);
            if (f.size() >= 6) item.accessed = ParseMetadataTime(f[5]);
            if (f.size() >= 7) item.modified = ParseMetadataTime(f[6]);
        }
    }
    return S_OK;
}

HRESULT ModuleMetadata::Save(const std::wstring& file) const {
    std::wstring text = L"# Module metadata: drive <TAB> letter <TAB> capacity <TAB> label;\n"
                        L"# item <TAB> path <TAB> short name <TAB> attributes (hex) <TAB> created "
                        L"<TAB> accessed <TAB> modified\n";
    for (const auto& d : drives_) {
        text += L"drive\t";
        text += d.first;
        text += L"\t" + (d.second.hasCapacity ? std::to_wstring(d.second.capacity) : std::wstring()) +
                L"\t" + d.second.label + L"\n";
    }
    for (const auto& entry : items_) {
        const ItemMetadata& item = entry.second;
        wchar_t attributes[16] = L"";
        if (item.hasAttributes) swprintf(attributes, 16, L"%02X", static_cast<unsigned>(item.attributes));
        text += L"item\t" + item.path + L"\t" + item.shortName + L"\t" + attributes + L"\t" +
                FormatMetadataTime(item.created) + L"\t" + FormatMetadataTime(item.accessed) + L"\t" +
                FormatMetadataTime(item.modified) + L"\n";
    }
    std::string bytes = ToUtf8(text);
    std::wstring temp = file + L".new";
    {
        UniqueHandle handle(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.valid()) return HRESULT_FROM_WIN32(GetLastError());
        DWORD written = 0;
        if (!::WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            return HRESULT_FROM_WIN32(GetLastError());
    }
    if (!MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        DeleteFileW(temp.c_str());
        return hr;
    }
    return S_OK;
}

ItemMetadata* ModuleMetadata::Find(const std::wstring& path) {
    auto it = items_.find(MetadataKey(path));
    return it == items_.end() ? nullptr : &it->second;
}

ItemMetadata& ModuleMetadata::Ensure(const std::wstring& path) {
    ItemMetadata& item = items_[MetadataKey(path)];
    item.path = path;
    return item;
}

void ModuleMetadata::Remove(const std::wstring& path) { items_.erase(MetadataKey(path)); }

void ModuleMetadata::RemoveTree(const std::wstring& path) {
    std::wstring key = MetadataKey(path);
    for (auto it = items_.begin(); it != items_.end();) {
        if (it->first == key || IsUnder(it->first, key))
            it = items_.erase(it);
        else
            ++it;
    }
}

void ModuleMetadata::MoveTree(const std::wstring& from, const std::wstring& to) {
    std::wstring key = MetadataKey(from);
    std::vector<ItemMetadata> moved;
    for (auto it = items_.begin(); it != items_.end();) {
        if (it->first == key || IsUnder(it->first, key)) {
            ItemMetadata item = it->second;
            item.path = to + it->second.path.substr(from.size());
            moved.push_back(item);
            it = items_.erase(it);
        } else {
            ++it;
        }
    }
    for (const ItemMetadata& item : moved) items_[MetadataKey(item.path)] = item;
}

const DriveMetadata* ModuleMetadata::FindDrive(wchar_t letter) const {
    auto it = drives_.find(letter);
    return it == drives_.end() ? nullptr : &it->second;
}

}  // namespace substitute
