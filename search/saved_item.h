// A found item as an `.ssc` file keeps it: the seven fields of its
// ModuleItemId, path|short name|size|attributes|created|accessed|modified,
// each time as year/month/day/hour/minute/second/millisecond.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>

struct SavedItemFields {
    std::wstring path;
    std::wstring shortName;
    LONG size = 0;
    LONG attributes = 0;
    double created = 0;
    double accessed = 0;
    double modified = 0;
};

std::wstring FormatSavedItem(const SavedItemFields& item);
// False unless there are exactly seven fields and each time has seven numbers.
bool ParseSavedItem(const wchar_t* text, size_t length, SavedItemFields* item);

// From and to a one-item ModuleItemId list (the first identifier counts).
// False / null for an identifier that is not a valid ModuleItemId, or one
// that cannot be made (out of memory, too long for an identifier).
bool SavedItemFromIdList(LPCITEMIDLIST item, SavedItemFields* fields);
LPITEMIDLIST IdListFromSavedItem(const SavedItemFields& fields);
