// The store's records and ListFolder's answer made from them.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <vector>

#include "tools/module_server/module_store.h"

namespace store {

// A record from the PC's facts and the metadata (short name empty when the
// metadata has none).
FileRecord MakeRecord(const WIN32_FIND_DATAW& data, const substitute::ItemMetadata* meta);

// The 2-D answer; with no rows VT_EMPTY, or, when `emptyArray` is set, an
// array of no entries (what a single-item lookup of a missing item gets, so
// that callers tell "not there" from a malformed answer).
HRESULT MakeListing(const std::vector<FileRecord>& rows, VARIANT* out, bool emptyArray = false);

}  // namespace store
