// The shape of ListFolder's answer, shared by the client that decodes it, the
// server that writes it and the in-process fake: a 2-D SAFEARRAY of VARIANTs,
// one entry per listed item, seven fields per entry, stored entry-major
// (entry i, field j at linear position i + entries * j). Header only, so that
// the substitute server can write answers without linking the client.
#pragma once
#include <windows.h>
#include <oleauto.h>

namespace listing_layout {

enum Field : ULONG {
    kName,        // BSTR: within the listed folder ("A:" for a drive)
    kShortName,   // BSTR: 8.3 name
    kSize,        // I4: bytes (a drive's capacity)
    kAttributes,  // I4: FILE_ATTRIBUTE_*
    kCreated,     // DATE
    kAccessed,    // DATE
    kModified,    // DATE
    kFieldCount
};

// The VARIANT type each field is sent as.
constexpr VARTYPE kFieldType[kFieldCount] = {VT_BSTR, VT_BSTR, VT_I4,  VT_I4,
                                             VT_DATE, VT_DATE, VT_DATE};

inline SIZE_T Position(ULONG entries, ULONG entry, ULONG field) {
    return entry + static_cast<SIZE_T>(entries) * field;
}

// One entry as it is written; the texts are copied.
struct Row {
    const wchar_t* name = L"";
    UINT nameLength = 0;
    const wchar_t* shortName = L"";
    UINT shortNameLength = 0;
    DWORD size = 0;
    DWORD attributes = 0;
    double created = 0;
    double accessed = 0;
    double modified = 0;
};

// An answer of `count` entries, entry i from `rowAt(i)` (a Row); with no
// entries an array of none. E_OUTOFMEMORY leaves `out` empty.
template <class RowAt>
HRESULT WriteListing(ULONG count, RowAt rowAt, VARIANT* out) {
    VariantInit(out);
    SAFEARRAYBOUND bounds[2] = {{count, 0}, {kFieldCount, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!array) return E_OUTOFMEMORY;
    VARIANT* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
    }
    for (ULONG i = 0; i < count && SUCCEEDED(hr); ++i) {
        const Row row = rowAt(i);
        auto field = [&](Field f) -> VARIANT& {
            VARIANT& v = data[Position(count, i, f)];
            V_VT(&v) = kFieldType[f];
            return v;
        };
        VARIANT& name = field(kName);
        VARIANT& shortName = field(kShortName);
        V_BSTR(&name) = SysAllocStringLen(row.name, row.nameLength);
        V_BSTR(&shortName) = SysAllocStringLen(row.shortName, row.shortNameLength);
        if (!V_BSTR(&name) || !V_BSTR(&shortName)) hr = E_OUTOFMEMORY;
        V_I4(&field(kSize)) = static_cast<LONG>(row.size);
        V_I4(&field(kAttributes)) = static_cast<LONG>(row.attributes);
        V_DATE(&field(kCreated)) = row.created;
        V_DATE(&field(kAccessed)) = row.accessed;
        V_DATE(&field(kModified)) = row.modified;
    }
    SafeArrayUnaccessData(array);
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
    }
    V_VT(out) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(out) = array;
    return S_OK;
}

}  // namespace listing_layout
