// Reads ListFolder's answer back into rows, checking its layout on the way.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

struct ListedRow {
    std::wstring name, shortName;
    DWORD size = 0, attributes = 0;
    double created = 0, accessed = 0, modified = 0;
};

// Entry-major decoding of the 2-D array; `layoutError` names the first thing
// that does not match the documented layout (empty when all is well).
std::vector<ListedRow> ReadListing(const VARIANT& result, std::wstring* layoutError);

const ListedRow* FindRow(const std::vector<ListedRow>& rows, const std::wstring& name);
