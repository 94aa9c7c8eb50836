#include "tools/substitute_common/tree_builder.h"

#include <cwchar>
#include <vector>

#include "common/holders.h"
#include "tools/substitute_common/module_metadata.h"

namespace substitute {

namespace {

HRESULT MakeFolders(const std::wstring& path) {
    size_t start = path.size() > 2 && path[1] == L':' ? 3 : 0;
    for (size_t slash = path.find(L'\\', start);; slash = path.find(L'\\', slash + 1)) {
        std::wstring part = path.substr(0, slash);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return HRESULT_FROM_WIN32(GetLastError());
        if (slash == std::wstring::npos) return S_OK;
    }
}

}  // namespace

HRESULT PrepareDrive(const std::wstring& root, wchar_t drive, DWORD capacity, const std::wstring& label) {
    HRESULT hr = MakeFolders(root + L"\\" + std::wstring(1, drive));
    if (FAILED(hr)) return hr;
    ModuleMetadata metadata;
    std::wstring file = root + L"\\" + kMetadataFileName;
    hr = metadata.Load(file);
    if (FAILED(hr)) return hr;
    DriveMetadata& meta = metadata.Drive(drive);
    meta.hasCapacity = true;
    meta.capacity = capacity;
    meta.label = label;
    return metadata.Save(file);
}

HRESULT BuildFiles(const std::wstring& root, wchar_t drive, const std::wstring& folder, unsigned count,
                   DWORD size, const std::wstring& prefix, const std::wstring& extension) {
    std::wstring dir = root + L"\\" + std::wstring(1, drive);
    if (!folder.empty()) dir += L"\\" + folder;
    HRESULT hr = MakeFolders(dir);
    if (FAILED(hr)) return hr;
    std::vector<BYTE> data(size);
    for (unsigned n = 0; n < count; ++n) {
        wchar_t number[16];
        swprintf(number, 16, L"%05u", n);
        std::wstring path = dir + L"\\" + prefix + number + extension;
        for (DWORD i = 0; i < size; ++i) data[i] = BuiltFileByte(n, i);
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return HRESULT_FROM_WIN32(GetLastError());
        DWORD written = 0;
        if (size && (!::WriteFile(file.get(), data.data(), size, &written, nullptr) || written != size))
            return HRESULT_FROM_WIN32(GetLastError());
    }
    return S_OK;
}

}  // namespace substitute
