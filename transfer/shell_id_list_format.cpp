#include "transfer/shell_id_list_format.h"

#include <cstring>

#include "common/holders.h"
#include "transfer/block_reader.h"
#include "transfer/clipboard_formats.h"

namespace {

HRESULT CopyListAt(const BlockReader& block, DWORD offset, IdListHolder* list) {
    SIZE_T size = 0;
    if (!block.IdListSizeAt(offset, &size)) return E_BAD_FORMAT_BLOCK;
    LPITEMIDLIST copy = static_cast<LPITEMIDLIST>(ShellAlloc(size));
    if (!copy) return E_OUTOFMEMORY;
    memcpy(copy, block.At(offset), size);
    list->reset(copy);
    return S_OK;
}

}  // namespace

LPITEMIDLIST ShellIdListArray::AbsoluteItem(size_t i) const {
    return i < items.size() ? JoinIdLists(parent.get(), items[i].get()) : nullptr;
}

SIZE_T ShellIdListArraySize(LPCITEMIDLIST parent, const LPCITEMIDLIST* items, UINT count) {
    if (!parent || (count && !items)) return 0;
    unsigned long long size = 4ull * (count + 2) + IdListSize(parent);
    for (UINT i = 0; i < count; ++i) {
        if (!items[i]) return 0;
        size += IdListSize(items[i]);
    }
    return size > 0xFFFFFFFFull ? 0 : static_cast<SIZE_T>(size);
}

HRESULT BuildShellIdListArray(LPCITEMIDLIST parent, const LPCITEMIDLIST* items, UINT count,
                              HGLOBAL* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const SIZE_T size = ShellIdListArraySize(parent, items, count);
    if (!size) return E_INVALIDARG;
    return WriteGlobalBlock(size, out, [&](BYTE* bytes) {
        auto put = [bytes](SIZE_T at, UINT value) { memcpy(bytes + at, &value, sizeof(value)); };
        put(0, count);
        SIZE_T at = 4 * (static_cast<SIZE_T>(count) + 2);
        for (UINT i = 0; i <= count; ++i) {
            LPCITEMIDLIST list = i == 0 ? parent : items[i - 1];
            put(4 + 4 * static_cast<SIZE_T>(i), static_cast<UINT>(at));
            const UINT listSize = IdListSize(list);
            memcpy(bytes + at, list, listSize);
            at += listSize;
        }
    });
}

HRESULT ParseShellIdListArray(const void* data, SIZE_T size, ShellIdListArray* array) {
    if (!array) return E_POINTER;
    array->parent.reset();
    array->items.clear();
    BlockReader block(data, size);
    DWORD count = 0;
    if (!block.ReadDword(0, &count)) return E_BAD_FORMAT_BLOCK;
    // The offsets alone need 4 (count + 1) bytes after the count.
    if (count >= (block.size() - 4) / 4) return E_BAD_FORMAT_BLOCK;
    ShellIdListArray result;
    DWORD offset = 0;
    block.ReadDword(4, &offset);
    HRESULT hr = CopyListAt(block, offset, &result.parent);
    if (FAILED(hr)) return hr;
    result.items.reserve(count);
    for (DWORD i = 1; i <= count; ++i) {
        block.ReadDword(4 + 4 * static_cast<SIZE_T>(i), &offset);
        IdListHolder item;
        hr = CopyListAt(block, offset, &item);
        if (FAILED(hr)) return hr;
        result.items.push_back(std::move(item));
    }
    *array = std::move(result);
    return S_OK;
}

HRESULT ReadShellIdListArray(IDataObject* object, ShellIdListArray* array) {
    if (!array) return E_POINTER;
    UniqueStgMedium medium;
    HRESULT hr = GetFormat(object, ClipboardFormat(ModuleClipboardFormat::ShellIdListArray),
                           medium.out());
    if (FAILED(hr)) return hr;
    GlobalLocked<BYTE> block(medium.get()->hGlobal);
    if (!block) return E_UNEXPECTED;
    return ParseShellIdListArray(block.get(), block.size(), array);
}
