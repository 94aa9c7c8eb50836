#include "transfer/hdrop_format.h"

#include <shlobj.h>

#include "common/holders.h"
#include "transfer/block_reader.h"
#include "transfer/clipboard_formats.h"

namespace {

HRESULT ParseWide(const BlockReader& block, SIZE_T at, std::vector<std::wstring>* paths) {
    for (;;) {
        // Characters that still fit the block from here.
        const SIZE_T chars = (block.size() - at) / sizeof(wchar_t);
        if (chars == 0) return E_BAD_FORMAT_BLOCK;
        const wchar_t* text = reinterpret_cast<const wchar_t*>(block.At(at));
        SIZE_T length = 0;
        wchar_t c;
        for (;;) {
            if (length == chars) return E_BAD_FORMAT_BLOCK;
            memcpy(&c, text + length, sizeof(c));   // the block need not be aligned
            if (c == 0) break;
            ++length;
        }
        if (length == 0) return S_OK;
        std::wstring path(length, L'\0');
        memcpy(&path[0], text, length * sizeof(wchar_t));
        paths->push_back(std::move(path));
        at += (length + 1) * sizeof(wchar_t);
    }
}

HRESULT ParseAnsi(const BlockReader& block, SIZE_T at, std::vector<std::wstring>* paths) {
    for (;;) {
        const SIZE_T left = block.size() - at;
        if (left == 0) return E_BAD_FORMAT_BLOCK;
        const char* text = reinterpret_cast<const char*>(block.At(at));
        const void* end = memchr(text, 0, left);
        if (!end) return E_BAD_FORMAT_BLOCK;
        const SIZE_T length = static_cast<const char*>(end) - text;
        if (length == 0) return S_OK;
        if (length > INT_MAX) return E_BAD_FORMAT_BLOCK;
        const int chars = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
        if (chars <= 0) return E_BAD_FORMAT_BLOCK;
        std::wstring path(static_cast<size_t>(chars), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), &path[0], chars);
        paths->push_back(std::move(path));
        at += length + 1;
    }
}

}  // namespace

HRESULT ParseDropFiles(const void* data, SIZE_T size, std::vector<std::wstring>* paths) {
    if (!paths) return E_POINTER;
    paths->clear();
    BlockReader block(data, size);
    DROPFILES header;
    if (!block.Contains(0, sizeof(header))) return E_BAD_FORMAT_BLOCK;
    memcpy(&header, block.At(0), sizeof(header));
    if (header.pFiles < sizeof(header) || header.pFiles > block.size()) return E_BAD_FORMAT_BLOCK;
    HRESULT hr = header.fWide ? ParseWide(block, header.pFiles, paths)
                              : ParseAnsi(block, header.pFiles, paths);
    if (FAILED(hr)) paths->clear();
    return hr;
}

HRESULT BuildDropFiles(const std::vector<std::wstring>& paths, HGLOBAL* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    SIZE_T chars = 1;   // the closing NUL
    for (const std::wstring& path : paths) {
        if (path.empty()) return E_INVALIDARG;   // would end the list early
        chars += path.size() + 1;
    }
    return WriteGlobalBlock(sizeof(DROPFILES) + chars * sizeof(wchar_t), out, [&](BYTE* bytes) {
        DROPFILES header = {};
        header.pFiles = sizeof(DROPFILES);
        header.fWide = TRUE;
        memcpy(bytes, &header, sizeof(header));
        wchar_t* text = reinterpret_cast<wchar_t*>(bytes + sizeof(DROPFILES));
        for (const std::wstring& path : paths) {
            memcpy(text, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
            text += path.size() + 1;
        }
    });
}

HRESULT ReadDropFiles(IDataObject* object, std::vector<std::wstring>* paths) {
    if (!paths) return E_POINTER;
    paths->clear();
    UniqueStgMedium medium;
    HRESULT hr = GetFormat(object, kHdropFormat, medium.out());
    if (FAILED(hr)) return hr;
    GlobalLocked<BYTE> block(medium.get()->hGlobal);
    if (!block) return E_UNEXPECTED;
    return ParseDropFiles(block.get(), block.size(), paths);
}
