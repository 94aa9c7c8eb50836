#include "tools/module_server/short_names.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "tools/substitute_common/module_metadata.h"

namespace store {
namespace {

std::wstring Upper(const std::wstring& text) { return substitute::MetadataKey(text); }

bool IsShortChar(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || wcschr(L"!#$%&'()-@^_`{}~", c);
}

// Upper case, blanks and dots dropped, characters 8.3 names cannot hold as "_".
std::wstring ShortPart(const std::wstring& part, size_t limit) {
    std::wstring out;
    for (wchar_t c : Upper(part)) {
        if (out.size() == limit) break;
        if (c == L' ' || c == L'.') continue;
        out += IsShortChar(c) ? c : L'_';
    }
    return out;
}

bool IsShortForm(const std::wstring& upper) {
    size_t dot = upper.find(L'.');
    std::wstring base = upper.substr(0, dot);
    std::wstring ext = dot == std::wstring::npos ? std::wstring() : upper.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 ||
        (dot != std::wstring::npos && (ext.empty() || ext.find(L'.') != std::wstring::npos)))
        return false;
    for (wchar_t c : base + ext)
        if (!IsShortChar(c)) return false;
    return true;
}

}  // namespace

void ShortNamer::Reserve(const std::wstring& shortName) { taken_.insert(Upper(shortName)); }

std::wstring ShortNamer::Make(const std::wstring& name) {
    std::wstring upper = Upper(name);
    if (IsShortForm(upper) && taken_.insert(upper).second) return upper;
    size_t dot = name.rfind(L'.');
    bool hasExt = dot != std::wstring::npos && dot > 0;
    std::wstring base = ShortPart(hasExt ? name.substr(0, dot) : name, 6);
    std::wstring ext = hasExt ? ShortPart(name.substr(dot + 1), 3) : std::wstring();
    if (base.empty()) base = L"_";
    std::wstring key = base + L"." + ext;
    unsigned& n = next_[key];
    for (;;) {
        ++n;
        std::wstring tail = L"~" + std::to_wstring(n);
        std::wstring candidate = base.substr(0, std::min(base.size(), 8 - std::min<size_t>(tail.size(), 7))) + tail;
        if (!ext.empty()) candidate += L"." + ext;
        if (taken_.insert(candidate).second) return candidate;
    }
}

}  // namespace store
