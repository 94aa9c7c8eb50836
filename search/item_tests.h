// The four tests an item must pass to be found: name, type, size and date,
// as plain functions of the criteria and the item's own values.
#pragma once
#include <windows.h>

#include <string>

#include "search/search_criteria.h"

// An empty name passes everything; a name without `*` is searched anywhere
// in the file name, as if it were *name*.
bool PassesNameTest(const std::wstring& criteriaName, const std::wstring& fileName);

// `pattern` is a list such as *.htm|*.html; empty or "*" passes everything.
bool PassesTypeTest(const std::wstring& pattern, const std::wstring& fileName);

// `size` is the item's signed 32-bit size in bytes, `limit` in KB.
bool PassesSizeTest(LONG sizeType, LONG limit, LONG size);

// `now` is the local time the test measures from (months and days ranges).
bool PassesDateTest(const SearchCriteria& criteria, double created, double accessed,
                    double modified, const SYSTEMTIME& now);

// The name, type, size and date tests in that order, on one item. The file
// name is the last component of the path.
struct SearchItemValues {
    std::wstring fileName;
    LONG size = 0;
    DWORD attributes = 0;
    double created = 0;
    double accessed = 0;
    double modified = 0;
};
bool PassesAllTests(const SearchCriteria& criteria, const SearchItemValues& item,
                    const SYSTEMTIME& now);
