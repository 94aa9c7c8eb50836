#include "transfer/directory_data_format.h"

#include <cstring>

#include "common/holders.h"
#include "transfer/block_reader.h"
#include "transfer/clipboard_formats.h"

namespace {

// Every identifier of the list at offset (whose bytes are known to lie in
// the block) must be one of the module's.
bool ModuleItemsOnly(const BlockReader& block, SIZE_T offset) {
    for (SIZE_T at = offset;;) {
        USHORT cb = 0;
        block.ReadWord(at, &cb);
        if (cb == 0) return true;
        if (!IsValidItemId(reinterpret_cast<LPCITEMIDLIST>(block.At(at)))) return false;
        at += cb;
    }
}

}  // namespace

SIZE_T DirectoryDataSize(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count) {
    if (count && !items) return 0;
    unsigned long long size = 8ull + 4ull * count + 2ull * (folderPath.size() + 1);
    for (UINT i = 0; i < count; ++i) {
        if (!items[i]) return 0;
        size += IdListSize(items[i]);
    }
    return size > 0xFFFFFFFFull ? 0 : static_cast<SIZE_T>(size);
}

HRESULT BuildDirectoryData(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count,
                           HGLOBAL* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const SIZE_T size = DirectoryDataSize(folderPath, items, count);
    if (!size) return E_INVALIDARG;
    return WriteGlobalBlock(size, out, [&](BYTE* bytes) {
        auto put = [bytes](SIZE_T at, DWORD value) { memcpy(bytes + at, &value, sizeof(value)); };
        put(0, count);
        const DWORD pathChars = static_cast<DWORD>(folderPath.size() + 1);
        put(4 + 4 * static_cast<SIZE_T>(count), pathChars);
        memcpy(bytes + 8 + 4 * static_cast<SIZE_T>(count), folderPath.c_str(),
               pathChars * sizeof(wchar_t));
        SIZE_T at = 8 + 4 * static_cast<SIZE_T>(count) + 2 * static_cast<SIZE_T>(pathChars);
        for (UINT i = 0; i < count; ++i) {
            put(4 + 4 * static_cast<SIZE_T>(i), static_cast<DWORD>(at));
            const UINT listSize = IdListSize(items[i]);
            memcpy(bytes + at, items[i], listSize);
            at += listSize;
        }
    });
}

HRESULT ParseDirectoryData(const void* data, SIZE_T size, DirectoryData* result) {
    if (!result) return E_POINTER;
    result->folderPath.clear();
    result->items.clear();
    BlockReader block(data, size);
    DWORD count = 0;
    if (!block.ReadDword(0, &count)) return E_BAD_FORMAT_BLOCK;
    // Each item takes at least its offset and a terminator.
    if (count > (block.size() - 4) / 6) return E_BAD_FORMAT_BLOCK;
    const SIZE_T lengthAt = 4 + 4 * static_cast<SIZE_T>(count);
    DWORD pathChars = 0;
    if (!block.ReadDword(lengthAt, &pathChars) || pathChars == 0) return E_BAD_FORMAT_BLOCK;
    const SIZE_T pathAt = lengthAt + 4;
    if (pathChars > (block.size() - pathAt) / sizeof(wchar_t)) return E_BAD_FORMAT_BLOCK;
    std::wstring path(pathChars, L'\0');
    memcpy(&path[0], block.At(pathAt), pathChars * sizeof(wchar_t));
    if (path[pathChars - 1] != 0 || path.find(L'\0') != pathChars - 1) return E_BAD_FORMAT_BLOCK;
    path.resize(pathChars - 1);
    const SIZE_T listsAt = pathAt + 2 * static_cast<SIZE_T>(pathChars);

    std::vector<IdListHolder> items;
    items.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        DWORD offset = 0;
        block.ReadDword(4 + 4 * static_cast<SIZE_T>(i), &offset);
        SIZE_T listSize = 0;
        if (offset < listsAt || !block.IdListSizeAt(offset, &listSize) ||
            !ModuleItemsOnly(block, offset))
            return E_BAD_FORMAT_BLOCK;
        LPITEMIDLIST copy = static_cast<LPITEMIDLIST>(ShellAlloc(listSize));
        if (!copy) return E_OUTOFMEMORY;
        memcpy(copy, block.At(offset), listSize);
        items.emplace_back(copy);
    }
    result->folderPath = std::move(path);
    result->items = std::move(items);
    return S_OK;
}

HRESULT ReadDirectoryData(IDataObject* object, DirectoryData* data) {
    if (!data) return E_POINTER;
    UniqueStgMedium medium;
    HRESULT hr = GetFormat(object, ClipboardFormat(ModuleClipboardFormat::DirectoryData),
                           medium.out());
    if (FAILED(hr)) return hr;
    GlobalLocked<BYTE> block(medium.get()->hGlobal);
    if (!block) return E_UNEXPECTED;
    return ParseDirectoryData(block.get(), block.size(), data);
}
