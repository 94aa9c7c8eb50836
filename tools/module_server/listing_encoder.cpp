#include "tools/module_server/listing_encoder.h"

#include <algorithm>

#include "module_access/listing_layout.h"
#include "tools/module_server/store_support.h"

namespace store {

FileRecord MakeRecord(const WIN32_FIND_DATAW& data, const substitute::ItemMetadata* meta) {
    bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    FileRecord r;
    r.name = data.cFileName;
    r.size = isFolder ? 0 : (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    r.attributes = EffectiveAttributes(meta, isFolder);
    r.created = meta && meta->created ? meta->created : substitute::OleDateFromFileTime(data.ftCreationTime);
    r.accessed = meta && meta->accessed ? meta->accessed : substitute::OleDateFromFileTime(data.ftLastAccessTime);
    r.modified = meta && meta->modified ? meta->modified : substitute::OleDateFromFileTime(data.ftLastWriteTime);
    if (meta) r.shortName = meta->shortName;
    return r;
}

HRESULT MakeListing(const std::vector<FileRecord>& rows, VARIANT* out, bool emptyArray) {
    VariantInit(out);
    if (rows.empty() && !emptyArray) return S_OK;
    auto rowAt = [&rows](ULONG i) {
        const FileRecord& r = rows[i];
        listing_layout::Row row;
        row.name = r.name.c_str();
        row.nameLength = static_cast<UINT>(r.name.size());
        row.shortName = r.shortName.c_str();
        row.shortNameLength = static_cast<UINT>(r.shortName.size());
        row.size = static_cast<DWORD>(std::min<ULONGLONG>(r.size, 0xFFFFFFFFull));
        row.attributes = r.attributes;
        row.created = r.created;
        row.accessed = r.accessed;
        row.modified = r.modified;
        return row;
    };
    return listing_layout::WriteListing(static_cast<ULONG>(rows.size()), rowAt, out);
}

}  // namespace store
