// The texts handed to the list on demand: five fixed buffers used in turn,
// so a text stays valid for the next four requests and painting a cell
// allocates nothing.
#pragma once
#include <cstddef>
#include <cwchar>

class CellTextRing {
public:
    static constexpr int kBuffers = 5;
    static constexpr size_t kChars = 261;   // 260 and the terminator

    // Copies `text` (cut to 260 characters) into the next buffer and returns it.
    wchar_t* Put(const wchar_t* text, size_t length) {
        wchar_t* buffer = buffers_[next_];
        next_ = (next_ + 1) % kBuffers;
        if (length > kChars - 1) length = kChars - 1;
        if (text && length) wmemcpy(buffer, text, length);
        buffer[length] = L'\0';
        return buffer;
    }
    wchar_t* Put(const wchar_t* text) { return Put(text, text ? wcslen(text) : 0); }

private:
    wchar_t buffers_[kBuffers][kChars] = {};
    int next_ = 0;
};
