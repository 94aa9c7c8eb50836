// Builds module trees for benchmarks and tests: many files in one folder, or
// much data in many files, with the drive's capacity set to hold them.
#pragma once
#include <windows.h>

#include <string>

namespace substitute {

// Creates drive `drive` under `root` if needed and records its capacity and
// label in the metadata.
HRESULT PrepareDrive(const std::wstring& root, wchar_t drive, DWORD capacity, const std::wstring& label);

// Creates `count` files of `size` bytes named "<prefix>NNNNN<extension>" in
// the folder `folder` of `drive` ("" for the drive itself; created as
// needed). The bytes of file n at offset i are (n * 7 + i) mod 251.
HRESULT BuildFiles(const std::wstring& root, wchar_t drive, const std::wstring& folder, unsigned count,
                   DWORD size, const std::wstring& prefix, const std::wstring& extension);

// The byte a built file holds at `offset`.
inline BYTE BuiltFileByte(unsigned fileIndex, ULONGLONG offset) {
    return static_cast<BYTE>((fileIndex * 7ull + offset) % 251);
}

}  // namespace substitute
