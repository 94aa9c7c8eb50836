// Feeds mutated item identifiers and lists to the acceptance test and every
// list helper. Each input ends exactly where a no-access page begins, so a
// single byte read past its end faults; the fault handler names the input.
//
//   item_id_fuzz [iterations=1000000] [seed=1]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "item_id/module_item_id.h"

namespace {

constexpr SIZE_T kPage = 4096;
constexpr SIZE_T kDataPages = 17;  // room for the largest identifier (64 KiB) and more
constexpr SIZE_T kMaxInput = kDataPages * kPage;

BYTE* g_guard = nullptr;  // first byte of the no-access page
volatile unsigned long long g_iteration = 0;
volatile const char* g_stage = "";
const std::vector<BYTE>* g_input = nullptr;

LONG CALLBACK OnFault(EXCEPTION_POINTERS* info) {
    if (info->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
        const ULONG_PTR address = info->ExceptionRecord->ExceptionInformation[1];
        HMODULE module = nullptr;
        wchar_t name[MAX_PATH] = L"?";
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(info->ExceptionRecord->ExceptionAddress), &module);
        if (module) GetModuleFileNameW(module, name, MAX_PATH);
        fprintf(stderr, "FAULT at iteration %llu in %s: %s address %p (guard page %p) at %p in %ls\n",
                static_cast<unsigned long long>(g_iteration), const_cast<const char*>(g_stage),
                info->ExceptionRecord->ExceptionInformation[0] ? "writing" : "reading",
                reinterpret_cast<void*>(address), static_cast<void*>(g_guard),
                info->ExceptionRecord->ExceptionAddress, name);
        if (g_input) {
            fprintf(stderr, "input of %zu bytes:", g_input->size());
            for (size_t i = 0; i < g_input->size() && i < 256; ++i) fprintf(stderr, " %02x", (*g_input)[i]);
            fprintf(stderr, "\n");
        }
        fflush(stderr);
        ExitProcess(3);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// Copies `bytes` so that they end right at the guard page.
LPCITEMIDLIST Place(const std::vector<BYTE>& bytes) {
    BYTE* start = g_guard - bytes.size();
    memcpy(start, bytes.data(), bytes.size());
    return reinterpret_cast<LPCITEMIDLIST>(start);
}

USHORT ReadCount(const std::vector<BYTE>& b, size_t at) {
    USHORT v;
    memcpy(&v, b.data() + at, 2);
    return v;
}

void WriteCount(std::vector<BYTE>& b, size_t at, USHORT v) { memcpy(b.data() + at, &v, 2); }

class Fuzzer {
public:
    explicit Fuzzer(unsigned seed) : rng_(seed) {
        const wchar_t* paths[] = {L"\\A:", L"\\A:\\Data", L"\\A:\\Data\\Photo.jpg", L"", L"\\B:\\x",
                                  L"\\A:\\A very long folder name with spaces\\and a file.txt"};
        const wchar_t* shorts[] = {L"A:", L"DATA", L"PHOTO.JPG", L"", L"X", L"AVERYL~1.TXT"};
        for (size_t i = 0; i < ARRAYSIZE(paths); ++i) {
            IdListHolder item(MakeItemId(paths[i], shorts[i], 123, 0x10, 1.0, 2.0, 3.0));
            const BYTE* p = reinterpret_cast<const BYTE*>(item.get());
            seeds_.emplace_back(p, p + IdListSize(item.get()));
        }
        // Lists of two and three items.
        const size_t singles = seeds_.size();
        for (size_t i = 0; i + 2 < singles; ++i) {
            std::vector<BYTE> list;
            for (size_t k = i; k < i + 3; ++k)
                list.insert(list.end(), seeds_[k].begin(), seeds_[k].end() - 2);
            list.push_back(0);
            list.push_back(0);
            seeds_.push_back(list);
        }
    }

    std::vector<BYTE> Mutate() {
        std::vector<BYTE> b = seeds_[Pick(seeds_.size())];
        const int edits = 1 + static_cast<int>(Pick(6));
        for (int e = 0; e < edits; ++e) {
            switch (Pick(9)) {
            case 0:  // flip a byte
                b[Pick(b.size())] ^= static_cast<BYTE>(1 + Pick(255));
                break;
            case 1:  // a byte count anywhere plausible
                if (b.size() >= 2) WriteCount(b, ItemStart(b), InterestingCount());
                break;
            case 2:  // the path length field
                if (b.size() >= 38) WriteCount(b, 36, InterestingCount());
                break;
            case 3:  // the signature
                if (b.size() >= 4) WriteCount(b, 2, Pick(2) ? 100 : static_cast<USHORT>(Pick(0x10000)));
                break;
            case 4:  // remove a terminator
                for (size_t i = 38; i + 1 < b.size(); i += 2)
                    if (b[i] == 0 && b[i + 1] == 0 && Pick(3) == 0) {
                        b[i] = 'x';
                        break;
                    }
                break;
            case 5:  // truncate
                b.resize(Pick(b.size() + 1));
                break;
            case 6:  // grow with noise
                for (size_t n = Pick(64); n > 0; --n) b.push_back(static_cast<BYTE>(Pick(256)));
                break;
            case 7:  // a NUL inside the texts
                if (b.size() > 40) WriteCount(b, 38 + 2 * Pick((b.size() - 38) / 2), 0);
                break;
            default:  // a random word
                if (b.size() >= 2) WriteCount(b, Pick(b.size() - 1), static_cast<USHORT>(Pick(0x10000)));
                break;
            }
        }
        return b;
    }

    // The bytes a reader of a list may rely on: the chain of byte counts from
    // the start, closed by a zero count. Items running past the data get
    // noise appended, so every count is honoured.
    static void CloseList(std::vector<BYTE>& b, std::mt19937& rng) {
        size_t at = 0;
        for (;;) {
            if (at + 2 > b.size()) b.resize(at + 2, 0);
            const USHORT cb = ReadCount(b, at);
            if (cb == 0 || at + cb + 2 > kMaxInput) {
                WriteCount(b, at, 0);
                b.resize(at + 2);
                return;
            }
            while (b.size() < at + cb) b.push_back(static_cast<BYTE>(rng()));
            at += cb;
        }
    }

    std::mt19937& rng() { return rng_; }

private:
    size_t Pick(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng_) : 0; }

    size_t ItemStart(const std::vector<BYTE>& b) {
        // The first item, or one further along the chain.
        size_t at = 0;
        for (int hops = static_cast<int>(Pick(3)); hops > 0; --hops) {
            const USHORT cb = ReadCount(b, at);
            if (cb == 0 || at + cb + 2 > b.size()) break;
            at += cb;
        }
        return at;
    }

    USHORT InterestingCount() {
        static const USHORT values[] = {0, 1, 2, 3, 36, 38, 40, 41, 42, 43, 44, 45, 46, 0x7FFF,
                                        0x8000, 0xFFFE, 0xFFFF};
        if (Pick(2)) return values[Pick(ARRAYSIZE(values))];
        return static_cast<USHORT>(Pick(300));
    }

    std::mt19937 rng_;
    std::vector<std::vector<BYTE>> seeds_;
};

// Everything a caller may do with an identifier that passed the test.
size_t UseValidItem(LPCITEMIDLIST item) {
    size_t sink = wcslen(ItemPath(item)) + wcslen(ItemName(item)) + wcslen(ItemShortName(item));
    sink += ItemSize(item) + ItemAttributes(item) + (IsDriveItem(item) ? 1 : 0);
    sink += ItemLocation(item).size() + ItemToText(item).size();
    return sink;
}

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
    std::vector<BYTE> single, listBytes;  // reused: their storage stays
    single.reserve(kMaxInput);
    listBytes.reserve(kMaxInput);
    unsigned long long valid = 0, lists = 0, items = 0;
    size_t sink = 0;
    const auto start = std::chrono::steady_clock::now();
    for (g_iteration = 0; g_iteration < iterations; ++g_iteration) {
        std::vector<BYTE> bytes = fuzzer.Mutate();

        // The acceptance test on the item alone: exactly its own byte count
        // (at least the two bytes of the count itself) before the guard.
        g_stage = "IsValidItemId";
        single.assign(bytes.begin(), bytes.end());
        if (single.size() < 2) single.resize(2, 0);
        const size_t own = ReadCount(single, 0);
        single.resize(own < 2 ? 2 : own, 0);
        LPCITEMIDLIST item = Place(single);
        if (IsValidItemId(item)) {
            ++valid;
            g_stage = "getters";
            sink += UseValidItem(item);
        }

        // The list helpers on the closed chain.
        listBytes.assign(bytes.begin(), bytes.end());
        Fuzzer::CloseList(listBytes, fuzzer.rng());
        LPCITEMIDLIST list = Place(listBytes);
        g_input = &listBytes;
        ++lists;
        g_stage = "CountItems";
        const UINT count = CountItems(list);
        items += count;
        g_stage = "IdListSize";
        sink += IdListSize(list);
        g_stage = "ItemAt";
        for (int k = -1; k <= static_cast<int>(count) + 1 && k < 8; ++k)
            if (LPCITEMIDLIST at = ItemAt(list, k)) {
                g_stage = "IsValidItemId in a list";
                if (IsValidItemId(at)) sink += UseValidItem(at);
                g_stage = "ItemAt";
            }
        g_stage = "LastItem";
        sink += LastItem(list) != nullptr;
        g_stage = "CopyIdList";
        LPITEMIDLIST copy = nullptr;
        if (SUCCEEDED(CopyIdList(list, &copy))) {
            sink += IdListSize(copy);
            ShellFree(copy);
        }
        g_stage = "SubList";
        const int first = static_cast<int>(fuzzer.rng()() % 5) - 1;
        const int last = static_cast<int>(fuzzer.rng()() % 6) - 1;
        if (LPITEMIDLIST sub = SubList(list, first, last)) {
            sink += CountItems(sub);
            ShellFree(sub);
        }
        g_stage = "JoinIdLists";
        if (LPITEMIDLIST joined = JoinIdLists(list, list)) {
            sink += CountItems(joined);
            ShellFree(joined);
        }
        g_stage = "IdListHolder";
        IdListHolder holder;
        holder.Assign(list);
        sink += holder ? 1 : 0;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("identifiers: %llu (seed %u), accepted: %llu, lists: %llu, items in lists: %llu\n",
           iterations, seed, valid, lists, items);
    printf("time: %.2f s (%.2f us per input), no read past any input (checksum %zu)\n", seconds,
           seconds * 1e6 / (iterations ? iterations : 1), sink);
    VirtualFree(region, 0, MEM_RELEASE);
    return 0;
}
