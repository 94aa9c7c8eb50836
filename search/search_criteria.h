// The criteria of one module search, and their `.ssc` file: a UTF-16 text
// file of KEY=value lines that holds the criteria and, when asked, the items
// the search found.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>

// What Save needs of the results list: its items in list order. Each entry
// is an identifier list whose first identifier is the item's ModuleItemId.
class SearchResultItems {
public:
    virtual size_t ResultCount() const = 0;
    virtual LPCITEMIDLIST ResultAt(size_t index) const = 0;

protected:
    ~SearchResultItems() = default;
};

// Save's two forms of the description of a search.
struct SearchDescription {
    std::wstring plain;      // window title, the New Search question
    std::wstring fileName;   // the save dialog's default name, at most 259 characters
};

constexpr size_t kMaxDescriptionFileName = 259;

class SearchCriteria {
public:
    // The values a new search window starts with; both dates are now.
    SearchCriteria();

    // Writes the file, replacing one that exists. `results` may be null; its
    // items are written only when saveResult is set. A failure leaves a
    // partly written file behind and gives the system's error, or E_FAIL for
    // a short write.
    HRESULT Save(const wchar_t* path, const SearchResultItems* results) const;

    // Reads the file into this record: a key that is absent keeps its value,
    // and when reading stops at a bad line the lines before it stay applied.
    // The saved items come back as a array from the shell allocator of `capacity` entries,
    // `count` of them used, each a one-item ModuleItemId list; the caller
    // frees them with FreeLoadedItems. Items are returned even with a failure
    // status. E_INVALIDARG for a missing out-parameter, E_FAIL for a file that
    // cannot be read or is not one, E_INVALIDARG for a bad line (a bad ITEM=
    // line is skipped and reading goes on), E_OUTOFMEMORY.
    HRESULT Load(const wchar_t* path, LPITEMIDLIST** items, UINT* capacity, UINT* count);
    // The same from the file's bytes already in memory (`size` bytes, none
    // read beyond them).
    HRESULT LoadFromMemory(const void* bytes, size_t size, LPITEMIDLIST** items, UINT* capacity,
                           UINT* count);

    SearchDescription Describe() const;

    std::wstring name;
    std::wstring text;
    std::wstring path;
    LONG includeSubfolders = 1;
    LONG considerFileDates = 0;
    LONG dateType = 0;   // 0 modified, 1 created, 2 last accessed
    LONG timeType = 2;   // 0 between the dates, 1 previous months, 2 previous days
    SYSTEMTIME lowerDate;    // local time; 00:00:00.000 once read from the pages or a file
    SYSTEMTIME higherDate;   // local time; 23:59:59.999 likewise
    LONG months = 1;
    LONG days = 1;
    std::wstring fileTypeName;
    std::wstring fileTypePattern = L"*";   // never stored: derived from fileTypeName
    LONG sizeType = 0;   // 0 none, 1 minimum, 2 maximum
    LONG limit = 0;      // KB
    LONG caseSensitive = 0;
    LONG saveResult = 0;
};

// Frees what Load handed out.
void FreeLoadedItems(LPITEMIDLIST* items, UINT count);

// The time of day a date takes as the first or last day of a range.
void SetStartOfDay(SYSTEMTIME* date);
void SetEndOfDay(SYSTEMTIME* date);
