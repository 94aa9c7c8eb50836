#include "tools/module_server/module_path.h"

#include <windows.h>

#include <cwctype>

#include "module_access/module_limits.h"

namespace {

wchar_t Upper(wchar_t c) {
    wchar_t out = c;
    LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &c, 1, &out, 1);
    return out;
}

bool MatchFrom(const wchar_t* p, const wchar_t* pEnd, const wchar_t* s, const wchar_t* sEnd) {
    // Iterative matcher with one backtrack point for the last "*".
    const wchar_t* starP = nullptr;
    const wchar_t* starS = nullptr;
    while (s < sEnd) {
        if (p < pEnd && *p == L'*') {
            starP = ++p;
            starS = s;
        } else if (p < pEnd && (*p == L'?' || Upper(*p) == Upper(*s))) {
            ++p;
            ++s;
        } else if (starP) {
            p = starP;
            s = ++starS;
        } else {
            return false;
        }
    }
    while (p < pEnd && *p == L'*') ++p;
    return p == pEnd;
}

}  // namespace

std::wstring ModulePath::Text() const {
    if (IsTop()) return std::wstring();
    std::wstring text = L"\\";
    text += drive;
    text += L':';
    for (const std::wstring& name : names) text += L"\\" + name;
    return text;
}

std::wstring ModulePath::Leaf() const {
    if (!names.empty()) return names.back();
    if (drive) return std::wstring(1, drive) + L":";
    return std::wstring();
}

ModulePath ModulePath::Parent() const {
    ModulePath parent = *this;
    if (!parent.names.empty())
        parent.names.pop_back();
    else
        parent.drive = 0;
    return parent;
}

ModulePath ModulePath::Child(const std::wstring& name) const {
    ModulePath child = *this;
    child.names.push_back(name);
    return child;
}

bool ModulePath::IsWithin(const ModulePath& other) const {
    if (other.IsTop()) return true;
    if (drive != other.drive || names.size() < other.names.size()) return false;
    for (size_t i = 0; i < other.names.size(); ++i)
        if (!SameName(names[i], other.names[i])) return false;
    return true;
}

bool ModulePath::SameAs(const ModulePath& other) const {
    return drive == other.drive && names.size() == other.names.size() && IsWithin(other);
}

bool IsTooLongForModule(const std::wstring& path) {
    // One trailing "\" is tolerated and not counted.
    const size_t length = !path.empty() && path.back() == L'\\' ? path.size() - 1 : path.size();
    return length > kMaxModulePathLength;
}

bool IsValidItemName(const std::wstring& name) {
    if (name.empty() || name.size() > kMaxModuleNameLength || name == L"." || name == L"..") return false;
    if (name.back() == L' ' || name.back() == L'.') return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const wchar_t c = name[i];
        if (c < 32 || wcschr(L"<>:\"/\\|?*", c)) return false;
        // Half a surrogate pair has no UTF-8 form: the PC file would get
        // another name than the one asked for.
        const bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (low) return false;
        if (high) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        }
    }
    return true;
}

bool ParseModulePath(const std::wstring& input, bool allowTop, ModulePath* out) {
    *out = ModulePath();
    if (IsTooLongForModule(input)) return false;
    if (input.find(L'\0') != std::wstring::npos) return false;
    std::wstring text = input;
    if (!text.empty() && text[0] == L'\\') text.erase(0, 1);
    if (text.size() > 1 && text.back() == L'\\') text.pop_back();
    if (text.empty()) return allowTop;
    if (text.size() < 2 || !iswalpha(text[0]) || text[0] > 0x7F || text[1] != L':') return false;
    out->drive = static_cast<wchar_t>(towupper(text[0]));
    if (text.size() == 2) return true;
    if (text[2] != L'\\') return false;
    size_t start = 3;
    for (;;) {
        size_t slash = text.find(L'\\', start);
        std::wstring name = text.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start);
        if (!IsValidItemName(name)) return false;
        out->names.push_back(name);
        if (slash == std::wstring::npos) break;
        start = slash + 1;
    }
    return true;
}

bool SameName(const std::wstring& a, const std::wstring& b) { return CompareNames(a, b) == 0; }

int CompareNames(const std::wstring& a, const std::wstring& b) {
    int r = CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                 static_cast<int>(b.size()), TRUE);
    return r - CSTR_EQUAL;
}

bool MatchesPattern(const std::wstring& pattern, const std::wstring& name) {
    if (pattern == L"*" || pattern == L"*.*") return true;
    return MatchFrom(pattern.data(), pattern.data() + pattern.size(), name.data(), name.data() + name.size());
}
