// Bounds-checked reading of a memory block that came from another program.
// Every offset and count is checked against the block's real size before a
// byte is touched, so no block, however malformed, is read past its end.
#pragma once
#include <windows.h>

#include <cstring>

class BlockReader {
public:
    BlockReader(const void* data, SIZE_T size)
        : data_(static_cast<const BYTE*>(data)), size_(data ? size : 0) {}

    SIZE_T size() const { return size_; }
    // Whether [offset, offset + length) lies inside the block.
    bool Contains(SIZE_T offset, SIZE_T length) const {
        return offset <= size_ && length <= size_ - offset;
    }
    // The byte at offset; only after Contains said so.
    const BYTE* At(SIZE_T offset) const { return data_ + offset; }

    bool ReadDword(SIZE_T offset, DWORD* value) const {
        if (!Contains(offset, sizeof(DWORD))) return false;
        memcpy(value, data_ + offset, sizeof(DWORD));
        return true;
    }
    bool ReadWord(SIZE_T offset, USHORT* value) const {
        if (!Contains(offset, sizeof(USHORT))) return false;
        memcpy(value, data_ + offset, sizeof(USHORT));
        return true;
    }

    // The bytes of the item-identifier list at offset, its 2-byte terminator
    // included, when the whole list lies inside the block. Each identifier
    // is at least its own byte count long.
    bool IdListSizeAt(SIZE_T offset, SIZE_T* listSize) const {
        SIZE_T at = offset;
        for (;;) {
            USHORT cb = 0;
            if (!ReadWord(at, &cb)) return false;
            if (cb == 0) break;
            if (cb < sizeof(USHORT) || !Contains(at, cb)) return false;
            at += cb;
        }
        *listSize = at + sizeof(USHORT) - offset;
        return true;
    }

private:
    const BYTE* data_;
    SIZE_T size_;
};
