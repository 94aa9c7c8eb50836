#include "common/formatting.h"

#include <cstdio>
#include <vector>

#include "common/item_time.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"

namespace {

std::wstring LocaleInfo(LCTYPE type) {
    wchar_t buf[16] = {};
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, ARRAYSIZE(buf))) return std::wstring();
    return buf;
}

// value is a plain number ("-1234.5"); groups of three, leading zero, the
// user's separators and negative order.
std::wstring FormatWithUserNumberFormat(const std::wstring& value, int decimals) {
    std::wstring decimalSep = LocaleInfo(LOCALE_SDECIMAL);
    std::wstring thousandSep = LocaleInfo(LOCALE_STHOUSAND);
    if (decimalSep.empty()) decimalSep = L".";
    DWORD negativeOrder = 1;
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_INEGNUMBER | LOCALE_RETURN_NUMBER,
                   reinterpret_cast<LPWSTR>(&negativeOrder), sizeof(negativeOrder) / sizeof(WCHAR));
    NUMBERFMTW fmt = {};
    fmt.NumDigits = decimals;
    fmt.LeadingZero = 1;
    fmt.Grouping = 3;
    fmt.lpDecimalSep = &decimalSep[0];
    fmt.lpThousandSep = &thousandSep[0];
    fmt.NegativeOrder = negativeOrder;
    wchar_t buf[64];
    int n = GetNumberFormatW(LOCALE_USER_DEFAULT, 0, value.c_str(), &fmt, buf, ARRAYSIZE(buf));
    return n > 0 ? std::wstring(buf, n - 1) : value;
}

// size * 100 / 2^shift, rounded half up, without overflowing 64 bits.
uint64_t ScaledHundredths(uint64_t size, int shift) {
    uint64_t whole = size >> shift;
    uint64_t rest = size & ((1ULL << shift) - 1);
    return whole * 100 + ((rest * 100 + (1ULL << (shift - 1))) >> shift);
}

}  // namespace

ByteSizeParts SplitByteSize(uint64_t size) {
    ByteSizeParts parts;
    if (size < 1000) {
        parts = {size * 100, IDS_SIZE_BYTES, 0};
    } else if (size < 1024000ULL) {
        parts = {ScaledHundredths(size, 10), IDS_SIZE_KB, 0};
    } else if (size < 1048576000ULL) {
        parts = {ScaledHundredths(size, 20), IDS_SIZE_MB, 0};
    } else if (size < 1073741824000ULL) {
        parts = {ScaledHundredths(size, 30), IDS_SIZE_GB, 0};
    } else if (size < 256000ULL << 32) {
        parts = {ScaledHundredths(size, 40), IDS_SIZE_TB, 0};
    } else {
        parts = {ScaledHundredths(size, 50), IDS_SIZE_PB, 0};
    }
    uint64_t v = parts.hundredths;
    if (v < 1000) {
        parts.decimals = v % 100 == 0 ? 0 : (v % 10 == 0 ? 1 : 2);
    } else if (v < 10000) {
        parts.decimals = (v / 10) % 10 == 0 ? 0 : 1;
    }
    return parts;
}

std::wstring FormatByteSize(uint64_t size) {
    if (size == 1) return Resources().LoadString(IDS_SIZE_ONE_BYTE);
    ByteSizeParts parts = SplitByteSize(size);
    wchar_t number[40];
    uint64_t whole = parts.hundredths / 100, fraction = parts.hundredths % 100;
    if (parts.decimals == 2)
        swprintf(number, ARRAYSIZE(number), L"%llu.%02llu", whole, fraction);
    else if (parts.decimals == 1)
        swprintf(number, ARRAYSIZE(number), L"%llu.%llu", whole, fraction / 10);
    else
        swprintf(number, ARRAYSIZE(number), L"%llu", whole);
    return FormatWithUserNumberFormat(number, parts.decimals) +
           Resources().LoadString(parts.unitStringId);
}

std::wstring FormatNumber(int64_t value) {
    wchar_t number[32];
    swprintf(number, ARRAYSIZE(number), L"%lld", static_cast<long long>(value));
    return FormatWithUserNumberFormat(number, 0);
}

std::wstring FormatDateTime(double time, bool shortDate, bool noSeconds, bool dateOnly) {
    SYSTEMTIME st;
    if (time == 0 || !TimeToLocalSystemTime(time, &st)) return std::wstring();
    wchar_t date[128] = {};
    if (!GetDateFormatW(LOCALE_USER_DEFAULT, shortDate ? DATE_SHORTDATE : DATE_LONGDATE, &st,
                        nullptr, date, ARRAYSIZE(date)))
        return std::wstring();
    std::wstring result = date;
    bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0 && st.wMilliseconds == 0;
    if (!dateOnly && (shortDate || !midnight)) {
        wchar_t clock[64] = {};
        if (GetTimeFormatW(LOCALE_USER_DEFAULT, noSeconds ? TIME_NOSECONDS : 0, &st, nullptr,
                           clock, ARRAYSIZE(clock))) {
            result += shortDate ? L" " : L", ";
            result += clock;
        }
    }
    return result;
}

std::wstring FormatYmd(const SYSTEMTIME& date) {
    wchar_t buf[32];
    swprintf(buf, ARRAYSIZE(buf), L"%04d/%02d/%02d", date.wYear, date.wMonth, date.wDay);
    return buf;
}

int64_t ReadLenientInteger(const wchar_t* text, size_t length) {
    char ansi[21] = {};
    if (text && length) {
        // A multi-byte character cut at the 20-byte limit is simply not converted.
        std::vector<char> full(length * 2 + 1);
        int n = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), full.data(),
                                    static_cast<int>(full.size()), nullptr, nullptr);
        if (n > 20) n = 20;
        if (n > 0) memcpy(ansi, full.data(), n);
    }
    const char* p = ansi;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t value = 0;
    const uint64_t limit = static_cast<uint64_t>(INT64_MAX);
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > limit) value = limit;   // saturate rather than wrap
    }
    return negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value);
}

int64_t ReadLenientInteger(const std::wstring& text) {
    return ReadLenientInteger(text.c_str(), text.size());
}

bool ParseYmd(const std::wstring& text, WORD* year, WORD* month, WORD* day) {
    if (text.size() != 10 || text[4] != L'/' || text[7] != L'/') return false;
    int64_t y = ReadLenientInteger(text.c_str(), 4);
    int64_t m = ReadLenientInteger(text.c_str() + 5, 2);
    int64_t d = ReadLenientInteger(text.c_str() + 8, 2);
    if (y < 0 || m < 1 || m > 12 || d < 1 || d > 31) return false;
    *year = static_cast<WORD>(y);
    *month = static_cast<WORD>(m);
    *day = static_cast<WORD>(d);
    return true;
}

std::wstring FormatItemTime(double time) {
    SYSTEMTIME st;
    if (!TimeToLocalSystemTime(time, &st)) return std::wstring();
    wchar_t buf[64];
    swprintf(buf, ARRAYSIZE(buf), L"%u/%u/%u/%u/%u/%u/%u", st.wYear, st.wMonth, st.wDay,
             st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
    return buf;
}

bool ParseItemTime(const std::wstring& text, double* time) {
    WORD fields[7];
    size_t start = 0;
    for (int i = 0; i < 7; ++i) {
        size_t slash = text.find(L'/', start);
        bool last = i == 6;
        if (last != (slash == std::wstring::npos)) return false;
        size_t end = last ? text.size() : slash;
        fields[i] = static_cast<WORD>(ReadLenientInteger(text.c_str() + start, end - start));
        start = end + 1;
    }
    SYSTEMTIME st = {};
    st.wYear = fields[0];
    st.wMonth = fields[1];
    st.wDay = fields[2];
    st.wHour = fields[3];
    st.wMinute = fields[4];
    st.wSecond = fields[5];
    st.wMilliseconds = fields[6];
    if (!LocalSystemTimeToTime(st, time)) *time = 0;
    return true;
}

std::wstring WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

void SetItemText(HWND dialog, int id, const wchar_t* text) {
    SetDlgItemTextW(dialog, id, text ? text : L"");
}
