#include "search/item_tests.h"

#include <cstdint>

#include "common/item_time.h"
#include "search/wildcard.h"

namespace {

constexpr uint64_t kTicksPerDay = 10000000ULL * 86400ULL;

bool LocalMidnightTicks(SYSTEMTIME date, uint64_t* ticks) {
    date.wDayOfWeek = 0;
    date.wHour = 0;
    date.wMinute = 0;
    date.wSecond = 0;
    date.wMilliseconds = 0;
    FILETIME ft;
    if (!SystemTimeToFileTime(&date, &ft)) return false;
    *ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return true;
}

bool WithinMonths(double time, LONG months, const SYSTEMTIME& now) {
    double nowTime = 0;
    if (!LocalSystemTimeToTime(now, &nowTime) || time > nowTime) return false;
    SYSTEMTIME item;
    if (!TimeToLocalSystemTime(time, &item)) return false;
    int64_t count = (static_cast<int64_t>(now.wYear) - item.wYear) * 12 +
                    (static_cast<int64_t>(now.wMonth) - item.wMonth);
    if (now.wDay > item.wDay) ++count;
    return count <= months;
}

bool WithinDays(double time, LONG days, const SYSTEMTIME& now) {
    SYSTEMTIME item;
    uint64_t today = 0, itemDay = 0;
    if (!TimeToLocalSystemTime(time, &item) || !LocalMidnightTicks(now, &today) ||
        !LocalMidnightTicks(item, &itemDay) || itemDay > today)
        return false;
    return static_cast<int64_t>((today - itemDay) / kTicksPerDay) <= days;
}

bool Between(double time, SYSTEMTIME lower, SYSTEMTIME higher) {
    SetStartOfDay(&lower);
    SetEndOfDay(&higher);
    double low = 0, high = 0;
    if (!LocalSystemTimeToTime(lower, &low) || !LocalSystemTimeToTime(higher, &high)) return false;
    return low <= time && time <= high;
}

}  // namespace

bool PassesNameTest(const std::wstring& criteriaName, const std::wstring& fileName) {
    if (criteriaName.empty()) return true;
    if (criteriaName.find(L'*') == std::wstring::npos)
        return WildcardMatch(fileName, L"*" + criteriaName + L"*");
    return WildcardMatch(fileName, criteriaName);
}

bool PassesTypeTest(const std::wstring& pattern, const std::wstring& fileName) {
    if (pattern.empty() || pattern == L"*") return true;
    const std::wstring name = FoldToLower(fileName);
    const std::wstring patterns = FoldToLower(pattern);
    size_t start = 0;
    for (;;) {
        size_t bar = patterns.find(L'|', start);
        size_t end = bar == std::wstring::npos ? patterns.size() : bar;
        if (WildcardMatchFolded(name, patterns.substr(start, end - start))) return true;
        if (bar == std::wstring::npos) return false;
        start = bar + 1;
    }
}

bool PassesSizeTest(LONG sizeType, LONG limit, LONG size) {
    if (sizeType == 0 || limit < 0) return true;
    const int64_t bytes = static_cast<int64_t>(limit) * 1024;
    if (sizeType == 1) return limit > 0 ? size >= bytes : size != 0;
    if (sizeType == 2) return limit > 0 && size <= bytes;
    return true;
}

bool PassesDateTest(const SearchCriteria& criteria, double created, double accessed,
                    double modified, const SYSTEMTIME& now) {
    if (!criteria.considerFileDates) return true;
    const double time = criteria.dateType == 1 ? created
                        : criteria.dateType == 2 ? accessed
                                                 : modified;
    switch (criteria.timeType) {
    case 0: return Between(time, criteria.lowerDate, criteria.higherDate);
    case 1: return WithinMonths(time, criteria.months, now);
    case 2: return WithinDays(time, criteria.days, now);
    default: return false;
    }
}

bool PassesAllTests(const SearchCriteria& criteria, const SearchItemValues& item,
                    const SYSTEMTIME& now) {
    return PassesNameTest(criteria.name, item.fileName) &&
           PassesTypeTest(criteria.fileTypePattern, item.fileName) &&
           PassesSizeTest(criteria.sizeType, criteria.limit, item.size) &&
           PassesDateTest(criteria, item.created, item.accessed, item.modified, now);
}
