// The four detail columns of a module folder: the namespace root lists drives
// (Name, Type, Total Size, Free Space), every other folder lists files and
// folders (Name, Size, Type, Modified).
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <string>

constexpr UINT kFolderColumnCount = 4;

struct FolderColumn {
    UINT headerId;          // string id of the header text
    int format;             // LVCFMT_LEFT or LVCFMT_RIGHT
    SHCOLSTATEF state;      // type and default visibility
    DWORD storageProperty;  // property id in FMTID_Storage
};

// The column `column` (< kFolderColumnCount) of the root or of other folders.
const FolderColumn& FolderColumnAt(bool namespaceRoot, UINT column);

// FMTID_Storage, the property set the columns map to.
extern const GUID kStoragePropertySet;
constexpr DWORD kStorageType = 4;        // type name
constexpr DWORD kStorageName = 10;       // name
constexpr DWORD kStorageSize = 12;       // size
constexpr DWORD kStorageFreeSpace = 13;  // a drive's free bytes
constexpr DWORD kStorageModified = 14;   // last-write time

// A drive item's free bytes, kept in its last-write field as a double.
uint64_t FreeBytesOfDrive(LPCITEMIDLIST item);

// The text of one cell of a valid item's row and its alignment: a drive row
// shows name, type, capacity and free space; any other row name, size (files
// only), type and modification time.
std::wstring ItemColumnText(LPCITEMIDLIST item, UINT column, int* format);
