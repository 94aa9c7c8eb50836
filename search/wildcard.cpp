#include "search/wildcard.h"

#include <windows.h>

namespace {

// `?` in the pattern stands for any one character.
bool SegmentMatchesAt(const wchar_t* s, const wchar_t* segment, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (segment[i] != L'?' && segment[i] != s[i]) return false;
    }
    return true;
}

}  // namespace

std::wstring FoldToLower(const std::wstring& text) {
    std::wstring folded = text;
    if (!folded.empty()) CharLowerBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    return folded;
}

bool WildcardMatch(const std::wstring& name, const std::wstring& pattern) {
    return WildcardMatchFolded(FoldToLower(name), FoldToLower(pattern));
}

bool WildcardMatchFolded(const std::wstring& name, const std::wstring& pattern) {
    // s and p are windows onto name and pattern: [sBegin, sEnd) and [pBegin, pEnd).
    const wchar_t* s = name.c_str();
    size_t sBegin = 0, sEnd = name.size();
    const wchar_t* p = pattern.c_str();
    size_t pBegin = 0, pEnd = pattern.size();

    // A trailing `?` or `.` on a name without an extension is dropped and
    // remembered, the way short names were matched.
    size_t tail = 0;
    size_t lastSolid = pattern.find_last_not_of(L'*');
    if (lastSolid != std::wstring::npos && (p[lastSolid] == L'?' || p[lastSolid] == L'.') &&
        name.find(L'.') == std::wstring::npos) {
        tail = pEnd - lastSolid;
        pEnd = lastSolid;
    }
    const size_t cutBegin = pEnd;

    // The part before the first `*` is anchored at the name's start.
    if (pBegin < pEnd && p[pBegin] != L'*') {
        size_t star = pattern.find(L'*', pBegin);
        size_t k = (star == std::wstring::npos || star > pEnd) ? pEnd - pBegin : star - pBegin;
        if (k > sEnd - sBegin || !SegmentMatchesAt(s + sBegin, p + pBegin, k)) return false;
        sBegin += k;
        pBegin += k;
    }

    if (pBegin == pEnd) {
        if (sBegin == sEnd) return true;
        return tail > 0 && p[cutBegin] != L'.' && (tail > 1 || sEnd - sBegin <= 1);
    }

    for (;;) {
        while (pBegin < pEnd && p[pBegin] == L'*') ++pBegin;
        if (pBegin == pEnd) return true;
        size_t star = pattern.find(L'*', pBegin);
        size_t segEnd = (star == std::wstring::npos || star > pEnd) ? pEnd : star;
        size_t length = segEnd - pBegin;
        if (length > sEnd - sBegin) return false;

        if (segEnd == pEnd) {
            if (SegmentMatchesAt(s + sEnd - length, p + pBegin, length)) return true;
            if (tail == 0) return false;
            // Give the segment back the first character that was cut off.
            pEnd = cutBegin + tail;
            tail = 0;
            ++segEnd;
            ++length;
            if (length > sEnd - sBegin) return false;
            if (segEnd == pEnd) return SegmentMatchesAt(s + sEnd - length, p + pBegin, length);
        }

        size_t at = sBegin;
        while (at + length <= sEnd && !SegmentMatchesAt(s + at, p + pBegin, length)) ++at;
        if (at + length > sEnd) return false;
        sBegin = at + length;
        pBegin = segEnd;
    }
}
