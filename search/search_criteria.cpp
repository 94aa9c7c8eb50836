#include "search/search_criteria.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>
#include <vector>

#include "common/formatting.h"
#include "common/holders.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "item_id/module_item_id.h"

namespace {

constexpr wchar_t kVersionLine[] = L"QEL_SEARCH_CONFIG_VERSION=1-0";
constexpr size_t kVersionLineLength = ARRAYSIZE(kVersionLine) - 1;
// The mark and the version line: a file of this size or less holds nothing.
constexpr DWORD kSmallestUsefulFile = 2 * kVersionLineLength + 2;
constexpr UINT kItemGrowth = 32;

const wchar_t* TrueFalse(LONG flag) { return flag ? L"TRUE" : L"FALSE"; }

std::wstring Decimal(LONG value) {
    wchar_t buf[16];
    swprintf(buf, ARRAYSIZE(buf), L"%d", static_cast<int>(value));
    return buf;
}

// One write of the whole line and its CR LF; a short write is E_FAIL.
HRESULT WriteLine(HANDLE file, std::wstring line) {
    line += L"\r\n";
    DWORD bytes = static_cast<DWORD>(line.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!WriteFile(file, line.data(), bytes, &written, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    return written == bytes ? S_OK : E_FAIL;
}

bool EqualsNoCase(const wchar_t* a, size_t aLength, const wchar_t* b, size_t bLength) {
    return CompareStringOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength),
                                TRUE) == CSTR_EQUAL;
}

bool EqualsNoCase(const wchar_t* a, size_t aLength, const wchar_t* b) {
    return EqualsNoCase(a, aLength, b, wcslen(b));
}

// The items Load hands out: an array of zeroed entries whose capacity is a
// multiple of 32. It grows by 32, or by half once that is more, so that a
// file of many thousand results is not copied again every 32 items.
class LoadedItems {
public:
    LoadedItems(LPITEMIDLIST** items, UINT* capacity, UINT* count)
        : items_(items), capacity_(capacity), count_(count) {}

    HRESULT Append(LPITEMIDLIST item) {
        if (*count_ == *capacity_) {
            const UINT step = std::max(kItemGrowth, *capacity_ / 2 / kItemGrowth * kItemGrowth);
            if (*capacity_ > 0xFFFFFFFFu / sizeof(LPITEMIDLIST) - step) {
                ShellFree(item);
                FreeAll();
                return E_OUTOFMEMORY;
            }
            UINT grown = *capacity_ + step;
            auto* bigger = static_cast<LPITEMIDLIST*>(ShellAlloc(grown * sizeof(LPITEMIDLIST)));
            if (!bigger) {
                ShellFree(item);
                FreeAll();
                return E_OUTOFMEMORY;
            }
            ZeroMemory(bigger, grown * sizeof(LPITEMIDLIST));
            if (*count_) CopyMemory(bigger, *items_, *count_ * sizeof(LPITEMIDLIST));
            ShellFree(*items_);
            *items_ = bigger;
            *capacity_ = grown;
        }
        (*items_)[(*count_)++] = item;
        return S_OK;
    }

    void FreeAll() {
        FreeLoadedItems(*items_, *count_);
        *items_ = nullptr;
        *capacity_ = 0;
        *count_ = 0;
    }

private:
    LPITEMIDLIST** items_;
    UINT* capacity_;
    UINT* count_;
};

// The file mapped read-only as a whole, for as long as the reader needs it.
class MappedFile {
public:
    ~MappedFile() {
        if (view_) UnmapViewOfFile(view_);
    }
    bool Open(const wchar_t* path) {
        file_.reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file_.valid()) return false;
        LARGE_INTEGER size = {};
        if (!GetFileSizeEx(file_.get(), &size)) return false;
        if (size.QuadPart == 0) return false;   // an empty file cannot be mapped
        mapping_.reset(CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        if (!mapping_.valid()) return false;
        view_ = MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0);
        if (!view_) return false;
        size_ = static_cast<ULONGLONG>(size.QuadPart);
        return true;
    }
    const void* data() const { return view_; }
    ULONGLONG size() const { return size_; }

private:
    UniqueHandle file_;
    UniqueHandle mapping_;
    void* view_ = nullptr;
    ULONGLONG size_ = 0;
};

enum class Key {
    Unknown, Name, Text, Path, FileTypeName, IncludeSubfolders, ConsiderFileDates, CaseSensitive,
    SaveResult, DateType, TimeType, SizeType, Months, Days, Limit, LowerDate, HigherDate, Item
};

struct KeyName {
    const wchar_t* text;
    Key key;
};

const KeyName kKeys[] = {
    {L"NAME=", Key::Name},
    {L"TEXT=", Key::Text},
    {L"PATH=", Key::Path},
    {L"INCLUDE_SUBFOLDERS=", Key::IncludeSubfolders},
    {L"CONSIDER_FILEDATES=", Key::ConsiderFileDates},
    {L"SEARCH_DATE_TYPE=", Key::DateType},
    {L"SEARCH_TIME_TYPE=", Key::TimeType},
    {L"LOWER_DATE=", Key::LowerDate},
    {L"HIGHER_DATE=", Key::HigherDate},
    {L"MONTHS=", Key::Months},
    {L"DAYS=", Key::Days},
    {L"FILETYPE_NAME=", Key::FileTypeName},
    {L"SEARCH_SIZE_TYPE=", Key::SizeType},
    {L"LIMIT=", Key::Limit},
    {L"CASESENSITIVE=", Key::CaseSensitive},
    {L"SAVE_RESULT=", Key::SaveResult},
    {L"ITEM=", Key::Item},
};

Key FindKey(const wchar_t* key, size_t length) {
    for (const KeyName& candidate : kKeys) {
        if (EqualsNoCase(key, length, candidate.text)) return candidate.key;
    }
    return Key::Unknown;
}

bool ReadFlag(const wchar_t* value, size_t length, LONG* flag) {
    if (EqualsNoCase(value, length, L"TRUE")) {
        *flag = 1;
    } else if (EqualsNoCase(value, length, L"FALSE")) {
        *flag = 0;
    } else {
        return false;
    }
    return true;
}

bool ReadRanged(const wchar_t* value, size_t length, LONG low, LONG high, LONG* field) {
    int64_t number = ReadLenientInteger(value, length);
    if (number < low || number > high) return false;
    *field = static_cast<LONG>(number);
    return true;
}

bool ReadDate(const wchar_t* value, size_t length, bool endOfDay, SYSTEMTIME* date) {
    SYSTEMTIME parsed = {};
    if (!ParseYmd(std::wstring(value, length), &parsed.wYear, &parsed.wMonth, &parsed.wDay))
        return false;
    if (endOfDay) {
        SetEndOfDay(&parsed);
    } else {
        SetStartOfDay(&parsed);
    }
    *date = parsed;
    return true;
}

// Replaces what a file name cannot hold; wildcards keep a look-alike.
std::wstring FileNameSafe(const std::wstring& text) {
    std::wstring safe = text;
    for (wchar_t& c : safe) {
        switch (c) {
        case L'?': c = L'!'; break;
        case L'*': c = L'@'; break;
        case L'"': case L'.': case L'/': case L':': case L'<': case L'>': case L'\\': case L'|':
            c = L'_';
            break;
        default: break;
        }
    }
    return safe;
}

}  // namespace

void SetStartOfDay(SYSTEMTIME* date) {
    date->wDayOfWeek = 0;
    date->wHour = 0;
    date->wMinute = 0;
    date->wSecond = 0;
    date->wMilliseconds = 0;
}

void SetEndOfDay(SYSTEMTIME* date) {
    date->wDayOfWeek = 0;
    date->wHour = 23;
    date->wMinute = 59;
    date->wSecond = 59;
    date->wMilliseconds = 999;
}

SearchCriteria::SearchCriteria() {
    GetLocalTime(&lowerDate);
    higherDate = lowerDate;
    fileTypeName = Resources().LoadString(IDS_SEARCH_ALL_FILES_AND_FOLDERS);
}

HRESULT SearchCriteria::Save(const wchar_t* filePath, const SearchResultItems* results) const {
    UniqueHandle file(CreateFileW(filePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return HRESULT_FROM_WIN32(GetLastError());

    const wchar_t mark = 0xFEFF;
    DWORD written = 0;
    if (!WriteFile(file.get(), &mark, sizeof(mark), &written, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    if (written != sizeof(mark)) return E_FAIL;

    const std::wstring lines[] = {
        kVersionLine,
        L"NAME=" + name,
        L"TEXT=" + text,
        L"PATH=" + path,
        std::wstring(L"INCLUDE_SUBFOLDERS=") + TrueFalse(includeSubfolders),
        std::wstring(L"CONSIDER_FILEDATES=") + TrueFalse(considerFileDates),
        L"SEARCH_DATE_TYPE=" + Decimal(dateType),
        L"SEARCH_TIME_TYPE=" + Decimal(timeType),
        L"LOWER_DATE=" + FormatYmd(lowerDate),
        L"HIGHER_DATE=" + FormatYmd(higherDate),
        L"MONTHS=" + Decimal(months),
        L"DAYS=" + Decimal(days),
        L"FILETYPE_NAME=" + fileTypeName,
        L"SEARCH_SIZE_TYPE=" + Decimal(sizeType),
        L"LIMIT=" + Decimal(limit),
        std::wstring(L"CASESENSITIVE=") + TrueFalse(caseSensitive),
        std::wstring(L"SAVE_RESULT=") + TrueFalse(saveResult),
    };
    for (const std::wstring& line : lines) {
        HRESULT hr = WriteLine(file.get(), line);
        if (FAILED(hr)) return hr;
    }

    if (saveResult && results) {
        for (size_t i = 0; i < results->ResultCount(); ++i) {
            LPCITEMIDLIST item = results->ResultAt(i);
            if (!item || !IsValidItemId(item)) continue;
            HRESULT hr = WriteLine(file.get(), L"ITEM=" + ItemToText(item));
            if (FAILED(hr)) return hr;
        }
    }
    return S_OK;
}

HRESULT SearchCriteria::Load(const wchar_t* filePath, LPITEMIDLIST** items, UINT* capacity,
                             UINT* count) {
    if (!items || !capacity || !count) return E_INVALIDARG;
    *items = nullptr;
    *capacity = 0;
    *count = 0;

    WIN32_FILE_ATTRIBUTE_DATA entry = {};
    if (!filePath || !GetFileAttributesExW(filePath, GetFileExInfoStandard, &entry)) return E_FAIL;
    MappedFile file;
    if (!file.Open(filePath)) return E_FAIL;
    // The directory's size decides, but never more than what is mapped.
    ULONGLONG size = entry.nFileSizeLow;
    if (size > file.size()) size = file.size();
    return LoadFromMemory(file.data(), static_cast<size_t>(size), items, capacity, count);
}

HRESULT SearchCriteria::LoadFromMemory(const void* bytes, size_t size, LPITEMIDLIST** items,
                                       UINT* capacity, UINT* count) {
    if (!items || !capacity || !count) return E_INVALIDARG;
    *items = nullptr;
    *capacity = 0;
    *count = 0;
    if (!bytes || size <= kSmallestUsefulFile) return E_FAIL;
    const wchar_t* units = static_cast<const wchar_t*>(bytes);
    if (units[0] != 0xFEFF) return E_FAIL;

    // The units after the mark without the very last one (the final LF),
    // each line ended by a zero in place of its CR and LF.
    const size_t length = static_cast<size_t>(size / 2 - 2);
    std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[length + 1]);
    if (!buffer) return E_OUTOFMEMORY;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = units[i + 1];
        buffer[i] = (c == L'\r' || c == L'\n') ? L'\0' : c;
    }
    buffer[length] = L'\0';

    LoadedItems loaded(items, capacity, count);
    HRESULT status = S_OK;
    bool firstLine = true;
    size_t pos = 0;
    while (pos < length && status != E_OUTOFMEMORY) {
        if (buffer[pos] == L'\0') {
            ++pos;
            continue;
        }
        const wchar_t* line = &buffer[pos];
        const size_t lineLength = wcslen(line);
        pos += lineLength + 1;

        if (firstLine) {
            if (!EqualsNoCase(line, lineLength, kVersionLine, kVersionLineLength))
                return E_INVALIDARG;
            firstLine = false;
            continue;
        }

        const wchar_t* equals = wmemchr(line, L'=', lineLength);
        if (!equals) return E_INVALIDARG;
        const size_t keyLength = static_cast<size_t>(equals - line) + 1;
        const wchar_t* value = line + keyLength;
        const size_t valueLength = lineLength - keyLength;

        bool good = true;
        switch (FindKey(line, keyLength)) {
        case Key::Name: name.assign(value, valueLength); break;
        case Key::Text: text.assign(value, valueLength); break;
        case Key::Path: path.assign(value, valueLength); break;
        case Key::FileTypeName: fileTypeName.assign(value, valueLength); break;
        case Key::IncludeSubfolders: good = ReadFlag(value, valueLength, &includeSubfolders); break;
        case Key::ConsiderFileDates: good = ReadFlag(value, valueLength, &considerFileDates); break;
        case Key::CaseSensitive: good = ReadFlag(value, valueLength, &caseSensitive); break;
        case Key::SaveResult: good = ReadFlag(value, valueLength, &saveResult); break;
        case Key::DateType: good = ReadRanged(value, valueLength, 0, 2, &dateType); break;
        case Key::TimeType: good = ReadRanged(value, valueLength, 0, 2, &timeType); break;
        case Key::SizeType: good = ReadRanged(value, valueLength, 0, 2, &sizeType); break;
        case Key::Months: good = ReadRanged(value, valueLength, 0, 999, &months); break;
        case Key::Days: good = ReadRanged(value, valueLength, 0, 999, &days); break;
        case Key::Limit: good = ReadRanged(value, valueLength, 0, 999999, &limit); break;
        case Key::LowerDate: good = ReadDate(value, valueLength, false, &lowerDate); break;
        case Key::HigherDate: good = ReadDate(value, valueLength, true, &higherDate); break;
        case Key::Item: {
            // A bad item is skipped; the status remembers it.
            LPITEMIDLIST item = ItemFromText(std::wstring(value, valueLength));
            if (!item) {
                status = E_INVALIDARG;
                break;
            }
            if (FAILED(loaded.Append(item))) status = E_OUTOFMEMORY;
            break;
        }
        case Key::Unknown: good = false; break;
        }
        if (!good) return E_INVALIDARG;
    }
    return status;
}

SearchDescription SearchCriteria::Describe() const {
    const ResourceModule& res = Resources();
    SearchDescription d;
    const std::wstring allTypes = res.LoadString(IDS_SEARCH_ALL_FILES_AND_FOLDERS);
    const std::wstring files = res.LoadString(IDS_SEARCH_DESC_FILES);
    if (!EqualsNoCase(fileTypeName.c_str(), fileTypeName.size(), allTypes.c_str(),
                      allTypes.size())) {
        const std::wstring lead = files + L" " + res.LoadString(IDS_SEARCH_DESC_OF_TYPE) + L" ";
        d.plain = lead + fileTypeName;
        d.fileName = lead + FileNameSafe(fileTypeName);
    } else {
        d.plain = name.empty() ? res.LoadString(IDS_SEARCH_DESC_ALL_FILES) : files;
        d.fileName = d.plain;
    }
    if (!name.empty()) {
        const std::wstring lead = L" " + res.LoadString(IDS_SEARCH_DESC_WITH_NAMES) + L" ";
        d.plain += lead + name;
        d.fileName += lead + FileNameSafe(name);
    }
    if (!text.empty()) {
        const std::wstring lead = L" " + res.LoadString(IDS_SEARCH_DESC_WITH_TEXT) + L" ";
        d.plain += lead + text;
        d.fileName += lead + FileNameSafe(text);
    }
    if (d.fileName.size() > kMaxDescriptionFileName) d.fileName.resize(kMaxDescriptionFileName);
    return d;
}

void FreeLoadedItems(LPITEMIDLIST* items, UINT count) {
    if (!items) return;
    for (UINT i = 0; i < count; ++i) ShellFree(items[i]);
    ShellFree(items);
}
