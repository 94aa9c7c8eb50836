// Helpers the store's files share: failures reported as a device would
// report them, and the attributes an item keeps.
#pragma once
#include <windows.h>

#include <string>

#include "tools/module_server/module_path.h"
#include "tools/substitute_common/module_metadata.h"
#include "tools/substitute_common/server_errors.h"

namespace store {

// The attributes the module keeps; the PC's others are not the module's.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

inline HRESULT Win32(DWORD error, const std::wstring& description) {
    return substitute::ReportFailure(HRESULT_FROM_WIN32(error), description);
}

inline HRESULT LastError(const std::wstring& description) {
    DWORD error = GetLastError();
    return Win32(error ? error : ERROR_GEN_FAILURE, description);
}

inline std::wstring Quoted(const ModulePath& path) { return path.Text(); }

// What the metadata says, or what a new item has: files are archived.
inline DWORD EffectiveAttributes(const substitute::ItemMetadata* meta, bool folder) {
    DWORD attributes = meta && meta->hasAttributes ? (meta->attributes & kKeptAttributes)
                                                   : (folder ? 0 : FILE_ATTRIBUTE_ARCHIVE);
    return folder ? attributes | FILE_ATTRIBUTE_DIRECTORY : attributes;
}

}  // namespace store
