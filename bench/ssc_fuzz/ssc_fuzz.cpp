// Feeds the search-file reader mutated files: truncated, odd sizes, lines
// without terminators, huge lines, bad dates, thousands of ITEM= lines and
// random damage. Every load must return one of the reader's own results,
// hand back a consistent item array and leave the criteria in range. The
// bytes are read from memory (one file in a thousand goes through the disk).
//   ssc_fuzz [count] [seed]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/resource_module.h"
#include "item_id/module_item_id.h"
#include "search/search_criteria.h"

namespace {

const wchar_t kCriteriaLines[] =
    L"QEL_SEARCH_CONFIG_VERSION=1-0\r\nNAME=*.txt\r\nTEXT=hello\r\nPATH=\\A:\\Data\r\n"
    L"INCLUDE_SUBFOLDERS=TRUE\r\nCONSIDER_FILEDATES=TRUE\r\nSEARCH_DATE_TYPE=1\r\n"
    L"SEARCH_TIME_TYPE=0\r\nLOWER_DATE=2007/03/09\r\nHIGHER_DATE=2008/12/31\r\n"
    L"MONTHS=12\r\nDAYS=30\r\nFILETYPE_NAME=Text Document\r\nSEARCH_SIZE_TYPE=1\r\n"
    L"LIMIT=100\r\nCASESENSITIVE=FALSE\r\nSAVE_RESULT=TRUE\r\n";

// Item lines made once: formatting their times is the slow part.
const std::vector<std::wstring>& ItemLines() {
    static std::vector<std::wstring> lines;
    if (lines.empty()) {
        std::mt19937 rng(7);
        for (int i = 0; i < 5000; ++i) {
            std::wstring path = L"\\A:\\Data\\file" + std::to_wstring(i) + L".txt";
            std::wstring shortName = L"FILE" + std::to_wstring(i % 1000) + L".TXT";
            DWORD size = rng();
            DWORD attributes = rng() & 0x37;
            IdListHolder item(MakeItemId(path.c_str(), shortName.c_str(), size, attributes,
                                         39000 + (rng() % 10000) / 7.0, (i % 5) ? 39000.5 : 0,
                                         40000.25));
            if (item) lines.push_back(L"ITEM=" + ItemToText(item.get()) + L"\r\n");
        }
    }
    return lines;
}

std::wstring ValidLines(std::mt19937& rng, int items) {
    std::wstring text = kCriteriaLines;
    const std::vector<std::wstring>& pool = ItemLines();
    for (int i = 0; i < items; ++i) text += pool[(rng() % pool.size())];
    return text;
}

std::string Bytes(const std::wstring& text) {
    std::string bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    return bytes;
}

const wchar_t* const kBadValues[] = {
    L"2007/2/31", L"2007/02/31", L"0000/01/01", L"9999/12/31", L"2007/13/01", L"abcd/ef/gh",
    L"-1", L"1000", L"999999", L"1000000", L"TRUE", L"false", L"tru", L"", L"=", L"|||||||",
    L"0/0/0/0/0/0/0", L"99999999999999999999999", L"\x00e4\x00f6\x00fc", L"\xD800", L"2", L" 2",
};
const wchar_t* const kKeys[] = {
    L"NAME=", L"TEXT=", L"PATH=", L"INCLUDE_SUBFOLDERS=", L"CONSIDER_FILEDATES=",
    L"SEARCH_DATE_TYPE=", L"SEARCH_TIME_TYPE=", L"LOWER_DATE=", L"HIGHER_DATE=", L"MONTHS=",
    L"DAYS=", L"FILETYPE_NAME=", L"SEARCH_SIZE_TYPE=", L"LIMIT=", L"CASESENSITIVE=",
    L"SAVE_RESULT=", L"ITEM=", L"item=", L"UNKNOWN=",
};

std::wstring RandomItemValue(std::mt19937& rng) {
    std::wstring value;
    int fields = 5 + static_cast<int>(rng() % 4);
    for (int f = 0; f < fields; ++f) {
        if (f) value += L'|';
        if (f >= 4) {
            int numbers = 6 + static_cast<int>(rng() % 3);
            for (int n = 0; n < numbers; ++n) {
                if (n) value += L'/';
                value += std::to_wstring(static_cast<int>(rng() % 70000) - 100);
            }
        } else if (rng() % 8 == 0) {
            value += std::wstring(rng() % 40000, L'x');   // too long for an identifier
        } else {
            value += L"\\A:\\x" + std::to_wstring(rng() % 100);
        }
    }
    return value;
}

std::string Mutate(std::mt19937& rng) {
    const int kind = static_cast<int>(rng() % 12);
    std::wstring text = ValidLines(rng, static_cast<int>(rng() % 4));
    std::string bytes;
    switch (kind) {
    case 0:   // truncated anywhere, odd sizes included
        bytes = Bytes(ValidLines(rng, 12));
        bytes.resize(rng() % (bytes.size() + 1));
        return bytes;
    case 1:   // no line ends at all
        for (wchar_t& c : text) {
            if (c == L'\r' || c == L'\n') c = L' ';
        }
        return Bytes(text);
    case 2:   // a huge line
        text += L"NAME=" + std::wstring(200000 + rng() % 50000, L'n') + L"\r\n";
        return Bytes(text);
    case 3:   // bad values for every kind of key
        for (int i = 0; i < 6; ++i) {
            text += kKeys[rng() % ARRAYSIZE(kKeys)];
            text += kBadValues[rng() % ARRAYSIZE(kBadValues)];
            text += L"\r\n";
        }
        return Bytes(text);
    case 4:   // many items (now and then thousands), some broken, maybe an unknown key
        text = ValidLines(rng, rng() % 50 == 0 ? 2000 + static_cast<int>(rng() % 3000)
                                               : static_cast<int>(rng() % 200));
        for (int i = 0; i < 50; ++i) text += L"ITEM=" + RandomItemValue(rng) + L"\r\n";
        if (rng() % 2) text += L"BOGUS=1\r\n";
        return Bytes(text);
    case 5:   // random byte damage
        bytes = Bytes(ValidLines(rng, 6));
        for (int i = 0, n = 1 + static_cast<int>(rng() % 20); i < n; ++i)
            bytes[rng() % bytes.size()] = static_cast<char>(rng());
        return bytes;
    case 6:   // random code units from a small alphabet that the reader cares about
    {
        const wchar_t alphabet[] = L"=|/\r\n0123456789TRUEFALSEITEM-: ";
        text = L"QEL_SEARCH_CONFIG_VERSION=1-0\r\n";
        for (int i = 0, n = static_cast<int>(rng() % 5000); i < n; ++i)
            text += alphabet[rng() % (ARRAYSIZE(alphabet) - 1)];
        return Bytes(text);
    }
    case 7:   // sizes around the smallest useful file
        bytes = Bytes(L"QEL_SEARCH_CONFIG_VERSION=1-0\r\nNAME=x\r\n");
        bytes.resize(56 + rng() % 16);
        return bytes;
    case 8:   // no mark, or a damaged one
        bytes = Bytes(text);
        bytes[rng() % 2] ^= static_cast<char>(1 + rng() % 255);
        return bytes;
    case 9:   // exactly a page, so that a read past the end would leave the mapping
        bytes = Bytes(ValidLines(rng, 12));
        bytes.resize(4096 * (1 + rng() % 2), 'A');
        return bytes;
    case 10:  // lines of nothing but terminators and zeros
        text = L"QEL_SEARCH_CONFIG_VERSION=1-0";
        for (int i = 0, n = static_cast<int>(rng() % 3000); i < n; ++i)
            text += (rng() % 3 == 0) ? L'\0' : (rng() % 2 ? L'\r' : L'\n');
        return Bytes(text);
    default:  // a valid file with lines shuffled and the version line moved
    {
        std::vector<std::wstring> lines;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L"\r\n", start);
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        std::shuffle(lines.begin(), lines.end(), rng);
        std::wstring joined;
        for (const std::wstring& line : lines) joined += line + L"\r\n";
        return Bytes(joined);
    }
    }
}

// The file's bytes in memory, ending right where an inaccessible page
// begins, so a read past the end faults at once as it would past the end of
// a mapped file. The start stays two-byte aligned like a mapping's.
class GuardedCopy {
public:
    ~GuardedCopy() { Release(); }
    const void* Place(const std::string& bytes) {
        const size_t room = (bytes.size() + 1) & ~static_cast<size_t>(1);
        if (room > usable_ || !base_) Reserve(room);
        if (!base_) return nullptr;
        char* start = base_ + usable_ - room;
        if (!bytes.empty()) memcpy(start, bytes.data(), bytes.size());
        return start;
    }

private:
    void Reserve(size_t room) {
        Release();
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        usable_ = (room + page - 1) / page * page;
        if (usable_ == 0) usable_ = page;
        base_ = static_cast<char*>(
            VirtualAlloc(nullptr, usable_ + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (!base_ || !VirtualProtect(base_ + usable_, page, PAGE_NOACCESS, &old)) Release();
    }
    void Release() {
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
        base_ = nullptr;
        usable_ = 0;
    }
    char* base_ = nullptr;
    size_t usable_ = 0;
};

bool WriteBytes(const wchar_t* path, const std::string& bytes) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() ||
              WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok != FALSE;
}

// What a load may leave behind, whatever the bytes were.
const char* CheckOutcome(HRESULT hr, const SearchCriteria& c, LPITEMIDLIST* items, UINT capacity,
                         UINT count) {
    if (hr != S_OK && hr != E_FAIL && hr != E_INVALIDARG && hr != E_OUTOFMEMORY)
        return "unexpected result";
    if (count > capacity) return "count above capacity";
    if ((items == nullptr) != (capacity == 0)) return "array and capacity disagree";
    if (capacity % 32 != 0) return "capacity not a multiple of 32";
    for (UINT i = 0; i < count; ++i) {
        if (!items[i] || !IsValidItemId(items[i])) return "returned item is not valid";
    }
    if (c.dateType < 0 || c.dateType > 2 || c.timeType < 0 || c.timeType > 2 || c.sizeType < 0 ||
        c.sizeType > 2)
        return "type out of range";
    if (c.months < 0 || c.months > 999 || c.days < 0 || c.days > 999 || c.limit < 0 ||
        c.limit > 999999)
        return "count out of range";
    if (c.lowerDate.wMonth < 1 || c.lowerDate.wMonth > 12 || c.higherDate.wDay < 1 ||
        c.higherDate.wDay > 31)
        return "date out of range";
    return nullptr;
}

constexpr long kThroughFileEvery = 1000;

}  // namespace

int main(int argc, char** argv) {
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    const long total = argc > 1 ? atol(argv[1]) : 100000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(atol(argv[2])) : 20070309u;
    std::mt19937 rng(seed);

    wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    swprintf(path, MAX_PATH, L"%lsssc_fuzz_%lu.ssc", folder, GetCurrentProcessId());

    std::map<HRESULT, long> results;
    long failures = 0, itemsSeen = 0, throughFiles = 0;
    const DWORD started = GetTickCount();
    GuardedCopy memory;
    for (long i = 0; i < total; ++i) {
        std::string bytes = Mutate(rng);
        SearchCriteria criteria;
        LPITEMIDLIST* items = reinterpret_cast<LPITEMIDLIST*>(1);
        UINT capacity = 77, count = 77;
        HRESULT hr;
        // Now and then the whole way through a file on disk; else from memory,
        // which is what lets a long run finish in minutes.
        if (i % kThroughFileEvery == 0) {
            if (!WriteBytes(path, bytes)) {
                fprintf(stderr, "cannot write %ls\n", path);
                return 2;
            }
            hr = criteria.Load(path, &items, &capacity, &count);
            ++throughFiles;
        } else {
            const void* copy = memory.Place(bytes);
            if (!copy) {
                fprintf(stderr, "cannot reserve %zu bytes\n", bytes.size());
                return 2;
            }
            hr = criteria.LoadFromMemory(copy, bytes.size(), &items, &capacity, &count);
        }
        ++results[hr];
        itemsSeen += count;
        if (const char* problem = CheckOutcome(hr, criteria, items, capacity, count)) {
            ++failures;
            if (failures <= 10) fprintf(stderr, "case %ld: %s (0x%08lX)\n", i, problem, hr);
        }
        FreeLoadedItems(items, count);
    }
    DeleteFileW(path);
    const DWORD elapsed = GetTickCount() - started;

    printf("search-file reader fuzz: %ld files, seed %u, %lu ms (%.1f us per file)\n", total,
           seed, elapsed, total ? elapsed * 1000.0 / total : 0.0);
    for (const auto& entry : results)
        printf("  0x%08lX  %ld\n", static_cast<unsigned long>(entry.first), entry.second);
    printf("  items returned: %ld\n", itemsSeen);
    printf("  read through a file: %ld, from memory: %ld\n", throughFiles, total - throughFiles);
    printf("  problems: %ld\n", failures);
    return failures ? 1 : 0;
}
