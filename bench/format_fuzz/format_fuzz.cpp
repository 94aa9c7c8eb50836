// Feeds mutated clipboard blocks (CF_HDROP, "QEL SNE Directory Data",
// "Shell IDList Array") to their readers. Each block ends exactly where a
// no-access page begins, so a single byte read past its end faults; the fault
// handler names the reader and prints the block.
//
//   format_fuzz [iterations=1000000] [seed=1]
#include <windows.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "item_id/module_item_id.h"
#include "transfer/clipboard_formats.h"
#include "transfer/directory_data_format.h"
#include "transfer/hdrop_format.h"
#include "transfer/shell_id_list_format.h"

namespace {

constexpr SIZE_T kPage = 4096;
constexpr SIZE_T kDataPages = 4;
constexpr SIZE_T kMaxInput = kDataPages * kPage;

BYTE* g_guard = nullptr;
volatile unsigned long long g_iteration = 0;
volatile const char* g_stage = "";
const std::vector<BYTE>* g_input = nullptr;

LONG CALLBACK OnFault(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    fprintf(stderr, "FAULT at iteration %llu in %s: %s address %p (guard page %p)\n",
            static_cast<unsigned long long>(g_iteration), const_cast<const char*>(g_stage),
            info->ExceptionRecord->ExceptionInformation[0] ? "writing" : "reading",
            reinterpret_cast<void*>(info->ExceptionRecord->ExceptionInformation[1]),
            static_cast<void*>(g_guard));
    if (g_input) {
        fprintf(stderr, "block of %zu bytes:", g_input->size());
        for (size_t i = 0; i < g_input->size() && i < 512; ++i)
            fprintf(stderr, " %02x", (*g_input)[i]);
        fprintf(stderr, "\n");
    }
    fflush(stderr);
    ExitProcess(3);
}

const BYTE* Place(const std::vector<BYTE>& bytes) {
    BYTE* start = g_guard - bytes.size();
    if (!bytes.empty()) memcpy(start, bytes.data(), bytes.size());
    return start;
}

std::vector<BYTE> BlockBytes(HGLOBAL block, SIZE_T size) {
    std::vector<BYTE> bytes(size);
    memcpy(bytes.data(), GlobalLock(block), size);
    GlobalUnlock(block);
    GlobalFree(block);
    return bytes;
}

enum Kind { kHdrop, kDirectoryData, kIdListArray, kKinds };
const char* const kKindNames[] = {"ParseDropFiles", "ParseDirectoryData", "ParseShellIdListArray"};

class Fuzzer {
public:
    explicit Fuzzer(unsigned seed) : rng_(seed) {
        const wchar_t* paths[] = {L"\\A:\\Data\\Photo.jpg", L"\\A:\\Data\\Archive",
                                  L"\\A:\\Data\\A long name with spaces.txt", L"\\B:\\x"};
        std::vector<IdListHolder> items;
        for (const wchar_t* path : paths)
            items.emplace_back(MakeItemId(path, L"SHORT", 1234, 0x20, 1.0, 2.0, 3.0));
        std::vector<LPCITEMIDLIST> lists;
        for (const IdListHolder& item : items) lists.push_back(item.get());
        HGLOBAL block = nullptr;

        for (UINT n = 0; n <= 4; ++n) {
            BuildDirectoryData(L"\\A:\\Data", lists.data(), n, &block);
            seeds_[kDirectoryData].push_back(
                BlockBytes(block, DirectoryDataSize(L"\\A:\\Data", lists.data(), n)));
            BuildShellIdListArray(items[1].get(), lists.data(), n, &block);
            seeds_[kIdListArray].push_back(
                BlockBytes(block, ShellIdListArraySize(items[1].get(), lists.data(), n)));
        }
        std::vector<std::wstring> files;
        for (int n = 0; n <= 3; ++n) {
            BuildDropFiles(files, &block);
            SIZE_T size = sizeof(DROPFILES) + 2;
            for (const std::wstring& f : files) size += 2 * (f.size() + 1);
            seeds_[kHdrop].push_back(BlockBytes(block, size));
            files.push_back(L"C:\\Users\\Someone\\File " + std::to_wstring(n) + L".txt");
        }
        // An ANSI block too.
        std::vector<BYTE> ansi(sizeof(DROPFILES), 0);
        const DWORD at = sizeof(DROPFILES);
        memcpy(ansi.data(), &at, 4);
        const char list[] = "C:\\a.txt\0D:\\b c\0";
        ansi.insert(ansi.end(), list, list + sizeof(list));
        seeds_[kHdrop].push_back(ansi);
    }

    std::vector<BYTE> Mutate(Kind kind) {
        std::vector<BYTE> b = seeds_[kind][Pick(seeds_[kind].size())];
        const int edits = 1 + static_cast<int>(Pick(5));
        for (int e = 0; e < edits; ++e) {
            switch (Pick(8)) {
            case 0:  // flip a byte
                if (!b.empty()) b[Pick(b.size())] ^= static_cast<BYTE>(1 + Pick(255));
                break;
            case 1:  // a count or offset near the block's own size, at a DWORD slot
                if (b.size() >= 4) Put(b, 4 * Pick(b.size() / 4), InterestingDword(b.size()));
                break;
            case 2:  // the leading count or pFiles
                if (b.size() >= 4) Put(b, 0, InterestingDword(b.size()));
                break;
            case 3:  // a word anywhere (identifier byte counts)
                if (b.size() >= 2) {
                    const USHORT w = static_cast<USHORT>(Pick(2) ? Pick(0x10000) : Pick(64));
                    memcpy(b.data() + Pick(b.size() - 1), &w, 2);
                }
                break;
            case 4:  // truncate
                b.resize(Pick(b.size() + 1));
                break;
            case 5:  // grow with noise
                for (size_t n = Pick(48); n > 0; --n) b.push_back(static_cast<BYTE>(Pick(256)));
                break;
            case 6:  // remove a NUL (unterminated strings and lists)
                for (size_t i = 0; i < b.size(); ++i)
                    if (b[i] == 0 && Pick(8) == 0) {
                        b[i] = 'x';
                        break;
                    }
                break;
            default:  // the wide flag of a DROPFILES header
                if (b.size() >= 20) Put(b, 16, static_cast<DWORD>(Pick(2)));
                break;
            }
        }
        if (b.size() > kMaxInput) b.resize(kMaxInput);
        return b;
    }

private:
    size_t Pick(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng_) : 0; }
    static void Put(std::vector<BYTE>& b, size_t at, DWORD v) {
        if (at + 4 <= b.size()) memcpy(b.data() + at, &v, 4);
    }
    DWORD InterestingDword(size_t size) {
        const DWORD s = static_cast<DWORD>(size);
        const DWORD values[] = {0, 1, 2, 3, 4, 19, 20, 21, s - 4, s - 2, s - 1, s, s + 1,
                                s / 2, s / 4, s / 6, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                0x3FFFFFFF, 0x40000000};
        return values[Pick(ARRAYSIZE(values))];
    }

    std::mt19937 rng_;
    std::vector<std::vector<BYTE>> seeds_[kKinds];
};

}  // namespace

int main(int argc, char** argv) {
    const unsigned long long iterations = argc > 1 ? strtoull(argv[1], nullptr, 10) : 1000000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(strtoul(argv[2], nullptr, 10)) : 1;

    BYTE* region = static_cast<BYTE*>(
        VirtualAlloc(nullptr, kMaxInput + kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (!region || !VirtualProtect(region + kMaxInput, kPage, PAGE_NOACCESS, &old)) {
        fprintf(stderr, "cannot set up the guard page\n");
        return 2;
    }
    g_guard = region + kMaxInput;
    AddVectoredExceptionHandler(1, OnFault);

    Fuzzer fuzzer(seed);
    unsigned long long accepted[kKinds] = {}, rejected[kKinds] = {};
    size_t sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (g_iteration = 0; g_iteration < iterations; ++g_iteration) {
        const Kind kind = static_cast<Kind>(g_iteration % kKinds);
        std::vector<BYTE> bytes = fuzzer.Mutate(kind);
        g_input = &bytes;
        g_stage = kKindNames[kind];
        const BYTE* block = Place(bytes);
        HRESULT hr = E_FAIL;
        if (kind == kHdrop) {
            std::vector<std::wstring> paths;
            hr = ParseDropFiles(block, bytes.size(), &paths);
            for (const std::wstring& p : paths) sink += p.size();
        } else if (kind == kDirectoryData) {
            DirectoryData data;
            hr = ParseDirectoryData(block, bytes.size(), &data);
            sink += data.folderPath.size();
            for (const IdListHolder& item : data.items) sink += wcslen(ItemPath(item.get()));
        } else {
            ShellIdListArray array;
            hr = ParseShellIdListArray(block, bytes.size(), &array);
            for (const IdListHolder& item : array.items) sink += IdListSize(item.get());
        }
        if (SUCCEEDED(hr))
            ++accepted[kind];
        else if (hr == E_BAD_FORMAT_BLOCK)
            ++rejected[kind];
        else {
            fprintf(stderr, "unexpected result 0x%08lX from %s at iteration %llu\n",
                    static_cast<unsigned long>(hr), kKindNames[kind],
                    static_cast<unsigned long long>(g_iteration));
            return 1;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("format_fuzz: %llu mutated blocks in %.2f s (seed %u), none read past its end\n",
           static_cast<unsigned long long>(iterations), seconds, seed);
    for (int k = 0; k < kKinds; ++k)
        printf("  %-22s accepted %8llu  refused %8llu\n", kKindNames[k], accepted[k], rejected[k]);
    printf("  (checksum %zu)\n", sink);
    return 0;
}
