// CF_HDROP, the files of the PC: a DROPFILES header whose pFiles gives the
// offset of the paths, then each path NUL-terminated and one more NUL
// (UTF-16 when fWide is set, else the ANSI code page). Building it, and
// reading it back from an untrusted block.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

// The paths of a block of `size` bytes. E_BAD_FORMAT_BLOCK when the header
// or the list does not fit the block or the list is not terminated in it.
HRESULT ParseDropFiles(const void* block, SIZE_T size, std::vector<std::wstring>* paths);

// A wide block for `paths` (none: an empty list).
HRESULT BuildDropFiles(const std::vector<std::wstring>& paths, HGLOBAL* block);

// CF_HDROP of a data object, read and checked.
HRESULT ReadDropFiles(IDataObject* object, std::vector<std::wstring>* paths);
