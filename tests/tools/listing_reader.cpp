#include "tests/tools/listing_reader.h"

#include <oleauto.h>

std::vector<ListedRow> ReadListing(const VARIANT& result, std::wstring* layoutError) {
    std::vector<ListedRow> rows;
    layoutError->clear();
    if (result.vt == VT_EMPTY) return rows;
    if (result.vt != (VT_ARRAY | VT_VARIANT) || !result.parray) {
        *layoutError = L"not an array of VARIANTs";
        return rows;
    }
    SAFEARRAY* array = result.parray;
    if (SafeArrayGetDim(array) != 2) {
        *layoutError = L"not two-dimensional";
        return rows;
    }
    LONG lower1 = 0, upper1 = -1, lower2 = 0, upper2 = -1;
    SafeArrayGetLBound(array, 1, &lower1);
    SafeArrayGetUBound(array, 1, &upper1);
    SafeArrayGetLBound(array, 2, &lower2);
    SafeArrayGetUBound(array, 2, &upper2);
    if (upper2 - lower2 + 1 != 7) {
        *layoutError = L"second dimension is not 7 fields";
        return rows;
    }
    const LONG n = upper1 - lower1 + 1;
    VARIANT* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        *layoutError = L"no data";
        return rows;
    }
    const VARTYPE expected[7] = {VT_BSTR, VT_BSTR, VT_I4, VT_I4, VT_DATE, VT_DATE, VT_DATE};
    for (LONG i = 0; i < n; ++i) {
        const VARIANT* f[7];
        for (LONG j = 0; j < 7; ++j) {
            f[j] = &data[i + n * j];
            if (f[j]->vt != expected[j] && layoutError->empty())
                *layoutError = L"field " + std::to_wstring(j) + L" has the wrong type";
        }
        ListedRow row;
        row.name = f[0]->bstrVal ? f[0]->bstrVal : L"";
        row.shortName = f[1]->bstrVal ? f[1]->bstrVal : L"";
        row.size = static_cast<DWORD>(f[2]->lVal);
        row.attributes = static_cast<DWORD>(f[3]->lVal);
        row.created = f[4]->date;
        row.accessed = f[5]->date;
        row.modified = f[6]->date;
        rows.push_back(row);
    }
    SafeArrayUnaccessData(array);
    return rows;
}

const ListedRow* FindRow(const std::vector<ListedRow>& rows, const std::wstring& name) {
    for (const ListedRow& row : rows)
        if (row.name == name) return &row;
    return nullptr;
}
