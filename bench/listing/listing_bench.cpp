// Cost of turning a ListFolder answer into item identifiers at 1,000, 10,000
// and 50,000 entries: decoding alone (the answer handed over as it is), a
// whole in-process ListItemsEx, and the same listing through the substitute
// server; and the heap a decoded listing holds, from an in-process answer
// and from one that came through the server, against the identifiers' own
// bytes. Decoding should cost the same per item at every size.
//
//   listing_bench [--quick] [entries...]
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/common/items_tree.h"
#include "bench/common/measure.h"
#include "common/holders.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "testing/fake_module_access.h"
#include "testing/substitute_server.h"

namespace {

constexpr int kRounds = 5;
constexpr double kDecodeGoalUs = 1.2;

// Bytes in use in the process heap (where the shell allocator allocates),
// block overheads included.
ULONGLONG HeapBytesInUse() {
    HANDLE heap = GetProcessHeap();
    ULONGLONG used = 0;
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += entry.cbData + entry.cbOverhead;
    HeapUnlock(heap);
    return used;
}

// The answer a server gives for a folder of `entries` photos.
void BuildAnswer(UINT entries, VARIANT* answer) {
    SAFEARRAYBOUND bounds[2] = {{entries, 0}, {7, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    VARIANT* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    for (UINT i = 0; i < entries; ++i) {
        wchar_t name[32], shortName[16];
        swprintf(name, 32, L"Photo %05u.jpg", i);
        swprintf(shortName, 16, L"PHOTO~%u.JPG", i % 1000);
        VARIANT* f[7];
        for (UINT j = 0; j < 7; ++j) f[j] = &data[i + static_cast<SIZE_T>(entries) * j];
        V_VT(f[0]) = VT_BSTR;
        V_BSTR(f[0]) = SysAllocString(name);
        V_VT(f[1]) = VT_BSTR;
        V_BSTR(f[1]) = SysAllocString(shortName);
        V_VT(f[2]) = VT_I4;
        V_I4(f[2]) = 1000 + i;
        V_VT(f[3]) = VT_I4;
        V_I4(f[3]) = FILE_ATTRIBUTE_ARCHIVE;
        for (UINT j = 4; j < 7; ++j) {
            V_VT(f[j]) = VT_DATE;
            V_DATE(f[j]) = 45000.5 + i;
        }
    }
    SafeArrayUnaccessData(array);
    V_VT(answer) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(answer) = array;
}

struct Held {
    double heapPerItem = 0;       // heap bytes the listing holds, per item
    double identifierPerItem = 0; // the identifiers' own bytes, per item
    UINT capacity = 0;
};

// What one decoded listing holds, taken from before its answer exists (the
// listing frees the answer) to after, with the listing still alive.
template <typename List>
Held MeasureHeld(List list) {
    Held held;
    const ULONGLONG before = HeapBytesInUse();
    ItemArray items;
    list(&items);
    const ULONGLONG after = HeapBytesInUse();
    if (items.count() == 0) return held;
    ULONGLONG payload = 0;
    for (UINT i = 0; i < items.count(); ++i) payload += IdListSize(items[i]);
    held.heapPerItem = static_cast<double>(after > before ? after - before : 0) / items.count();
    held.identifierPerItem = static_cast<double>(payload) / items.count();
    held.capacity = items.capacity();
    return held;
}

void PrintHeld(const char* what, const Held& held, UINT count) {
    std::printf("  %-44s %8.1f bytes per item, identifiers' own %6.1f: ratio %.2f (capacity %u for %u)\n", what,
                held.heapPerItem, held.identifierPerItem,
                held.identifierPerItem > 0 ? held.heapPerItem / held.identifierPerItem : 0, held.capacity, count);
}

struct SizeResult {
    UINT count = 0;
    bench::Samples decode, inProcess, server;
    Held fakeHeld, serverHeld;
};

bool InProcess(UINT entries, SizeResult* result) {
    UniqueVariant answer;
    BuildAnswer(entries, answer.get());
    FakeModuleAccess* fake = new FakeModuleAccess();
    bool ok = true;
    // ListItemsEx on an answer handed over as it is: decoding alone.
    result->decode = bench::Repeat(kRounds, [&] {
        UniqueVariant copy;
        VariantCopy(copy.get(), answer.get());
        fake->QueueRawListing(L"\\A:\\Data\\*", copy.get());
        ItemArray items;
        const double start = bench::Now();
        ListItemsEx(L"\\A:\\Data", L"*", &items, fake, false, false);
        const double took = bench::Now() - start;
        if (items.count() != entries) ok = false;
        return took;
    });
    result->fakeHeld = MeasureHeld([&](ItemArray* items) {
        UniqueVariant copy;
        VariantCopy(copy.get(), answer.get());
        fake->QueueRawListing(L"\\A:\\Data\\*", copy.get());
        ListItemsEx(L"\\A:\\Data", L"*", items, fake, false, false);
    });
    // The in-process server copies its answer, as a marshalled answer is a
    // fresh array too.
    fake->SetRawListing(L"\\A:\\Data\\*", *answer.get());
    result->inProcess = bench::Repeat(kRounds, [&] {
        ItemArray items;
        const double start = bench::Now();
        ListItemsEx(L"\\A:\\Data", L"*", &items, fake, false, false);
        return bench::Now() - start;
    });
    fake->Release();
    return ok;
}

bool ThroughServer(UINT entries, SizeResult* result) {
    const std::wstring tree = bench::ItemsTree(entries);
    if (tree.empty()) {
        std::printf("cannot make the tree of %u files\n", entries);
        return false;
    }
    SubstituteModule::Options options;
    options.serveFolder = tree;
    SubstituteModule module(options);
    if (!module.ok()) {
        std::printf("substitute server not available\n");
        return false;
    }
    Microsoft::WRL::ComPtr<ModuleAccess> access;
    if (FAILED(CreateModuleAccess(&access))) {
        std::printf("cannot create the server\n");
        return false;
    }
    bool ok = true;
    result->server = bench::Repeat(kRounds, [&] {
        ItemArray items;
        const double start = bench::Now();
        const HRESULT hr = ListItemsEx(bench::kItemsFolder, L"*", &items, access.Get(), false, false);
        const double took = bench::Now() - start;
        if (FAILED(hr) || items.count() != entries) ok = false;
        return took;
    });
    result->serverHeld = MeasureHeld([&](ItemArray* items) {
        ListItemsEx(bench::kItemsFolder, L"*", items, access.Get(), false, false);
    });
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::QuickMode(argc, argv);
    std::vector<unsigned long> counts = bench::NumberArguments(argc, argv);
    if (counts.empty())
        counts = quick ? std::vector<unsigned long>{500, 2000} : std::vector<unsigned long>{1000, 10000, 50000};
    std::printf("listing_bench%s: ListItemsEx of Photo NNNNN.jpg entries, %d rounds after a warm-up\n",
                quick ? " (quick)" : "", kRounds);
    OleInitialize(nullptr);
    EnterComThread();
    std::vector<SizeResult> results;
    bool ok = true;
    for (unsigned long count : counts) {
        SizeResult result;
        result.count = static_cast<UINT>(count);
        ok = InProcess(result.count, &result) && ThroughServer(result.count, &result);
        if (!ok) {
            std::printf("the listing of %lu entries came back wrong\n", count);
            break;
        }
        std::printf("%lu entries\n", count);
        bench::PrintSamples("decode into identifiers", result.decode, 1e3, "ms");
        bench::PrintSamples("ListItemsEx in process (answer copied)", result.inProcess, 1e3, "ms");
        bench::PrintSamples("ListItemsEx through the server", result.server, 1e3, "ms");
        std::printf("  per item: decode %.3f us, in process %.3f us, through the server %.3f us\n",
                    result.decode.Median() * 1e6 / count, result.inProcess.Median() * 1e6 / count,
                    result.server.Median() * 1e6 / count);
        PrintHeld("heap held, in-process answer", result.fakeHeld, result.count);
        PrintHeld("heap held, answer through the server", result.serverHeld, result.count);
        results.push_back(result);
    }
    for (size_t i = 1; i < results.size(); ++i) {
        const double items = static_cast<double>(results[i].count) - results[i - 1].count;
        std::printf("growth %u -> %u entries: decode %.3f us per added item, through the server %.3f us\n",
                    results[i - 1].count, results[i].count,
                    (results[i].decode.Median() - results[i - 1].decode.Median()) * 1e6 / items,
                    (results[i].server.Median() - results[i - 1].server.Median()) * 1e6 / items);
    }
    bool met = true;
    for (const SizeResult& result : results) {
        char what[80];
        std::snprintf(what, sizeof(what), "decode per item at %u entries", result.count);
        met &= bench::PrintGoal(what, result.decode.Median() * 1e6 / result.count, kDecodeGoalUs, "us");
    }
    if (results.size() > 1) {
        const SizeResult& first = results.front();
        const SizeResult& last = results.back();
        const double growth = (last.decode.Median() / last.count) / (first.decode.Median() / first.count);
        std::printf("decode per item at %u entries / at %u entries: %.2f (flat is 1)\n", last.count, first.count,
                    growth);
    }
    std::printf("%s\n", ok ? (met ? "all goals met" : "some goals MISSED") : "the run failed");
    LeaveComThread();
    OleUninitialize();
    return ok ? 0 : 1;
}
