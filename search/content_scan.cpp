#include "search/content_scan.h"

#include <cstring>
#include <vector>

namespace {

// One byte's fold, for code pages where every character is one byte: then
// a table of 256 answers does the whole block at memory speed.
struct SingleByteFold {
    bool usable = false;
    unsigned char table[256] = {};

    SingleByteFold() {
        CPINFO info = {};
        if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return;
        for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(i);
        char folded[256];
        for (int i = 0; i < 256; ++i) folded[i] = static_cast<char>(i);
        // Byte 0 ends a string for the case APIs; it folds to itself anyway.
        CharUpperBuffA(folded + 1, 255);
        CharLowerBuffA(folded + 1, 255);
        for (int i = 1; i < 256; ++i) table[i] = static_cast<unsigned char>(folded[i]);
        usable = true;
    }
};

const SingleByteFold& Fold() {
    static const SingleByteFold fold;
    return fold;
}

}  // namespace

std::string ToAnsi(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string ansi(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &ansi[0], n,
                        nullptr, nullptr);
    return ansi;
}

void FoldAnsiCase(char* bytes, size_t size) {
    const SingleByteFold& fold = Fold();
    if (fold.usable) {
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>(fold.table[static_cast<unsigned char>(bytes[i])]);
        return;
    }
    // Multi-byte code pages: the platform folds, in pieces its DWORD lengths take.
    const size_t piece = 1u << 30;
    for (size_t done = 0; done < size; done += piece) {
        DWORD length = static_cast<DWORD>(size - done < piece ? size - done : piece);
        CharUpperBuffA(bytes + done, length);
        CharLowerBuffA(bytes + done, length);
    }
}

bool ContainsBytes(const char* block, size_t size, const char* pattern, size_t patternSize) {
    if (patternSize == 0 || size < patternSize) return false;
    const char first = pattern[0];
    const char last = pattern[patternSize - 1];
    const size_t lastOffset = size - patternSize;
    const char* at = block;
    const char* end = block + lastOffset + 1;
    // First and last byte before the bytes between.
    while (at < end) {
        at = static_cast<const char*>(memchr(at, first, static_cast<size_t>(end - at)));
        if (!at) return false;
        if (at[patternSize - 1] == last &&
            (patternSize <= 2 || memcmp(at + 1, pattern + 1, patternSize - 2) == 0))
            return true;
        ++at;
    }
    return false;
}
