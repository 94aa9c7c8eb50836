#include "search/saved_item.h"

#include <cwchar>

#include "common/formatting.h"

namespace {

std::wstring Decimal(LONG value) {
    wchar_t buf[16];
    swprintf(buf, ARRAYSIZE(buf), L"%d", static_cast<int>(value));
    return buf;
}

}  // namespace

std::wstring FormatSavedItem(const SavedItemFields& item) {
    return item.path + L"|" + item.shortName + L"|" + Decimal(item.size) + L"|" +
           Decimal(item.attributes) + L"|" + FormatItemTime(item.created) + L"|" +
           FormatItemTime(item.accessed) + L"|" + FormatItemTime(item.modified);
}

bool ParseSavedItem(const wchar_t* text, size_t length, SavedItemFields* item) {
    std::wstring fields[7];
    size_t start = 0;
    for (int i = 0; i < 7; ++i) {
        const wchar_t* bar = static_cast<const wchar_t*>(
            wmemchr(text + start, L'|', length - start));
        const bool last = i == 6;
        if (last != (bar == nullptr)) return false;
        size_t end = last ? length : static_cast<size_t>(bar - text);
        fields[i].assign(text + start, end - start);
        start = end + 1;
    }
    SavedItemFields parsed;
    if (!ParseItemTime(fields[4], &parsed.created) || !ParseItemTime(fields[5], &parsed.accessed) ||
        !ParseItemTime(fields[6], &parsed.modified))
        return false;
    parsed.path = std::move(fields[0]);
    parsed.shortName = std::move(fields[1]);
    parsed.size = static_cast<LONG>(ReadLenientInteger(fields[2]));
    parsed.attributes = static_cast<LONG>(ReadLenientInteger(fields[3]));
    *item = std::move(parsed);
    return true;
}

bool SavedItemFromIdList(LPCITEMIDLIST, SavedItemFields*) { return false; }
LPITEMIDLIST IdListFromSavedItem(const SavedItemFields&) { return nullptr; }
