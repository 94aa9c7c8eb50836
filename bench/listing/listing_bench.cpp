// Cost of turning a large ListFolder answer into item identifiers: decoding
// alone, a whole in-process ListItemsEx, the memory the items hold, and the
// same listing end to end through the substitute server.
//
//   listing_bench [entries=10000] [rounds=20]
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/holders.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "testing/fake_module_access.h"
#include "testing/substitute_server.h"
#include "tools/substitute_common/tree_builder.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

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

// ListItemsEx of \\A:\\Wide (`entries` files) through the out-of-process
// substitute server. The tree is kept in the temporary folder between runs.
void ThroughServer(UINT entries, int rounds) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring tree = std::wstring(temp) + L"ktx_listing_bench_" + std::to_wstring(entries);
    const std::wstring marker = tree + L"\\complete";
    if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        CreateDirectoryW(tree.c_str(), nullptr);
        HRESULT hr = substitute::PrepareDrive(tree, L'A', 64u * 1024 * 1024, L"WIDE");
        if (SUCCEEDED(hr))
            hr = substitute::BuildFiles(tree, L'A', L"Wide", entries, 16, L"Photo ", L".jpg");
        if (FAILED(hr)) {
            printf("cannot make the tree: 0x%08lX\n", static_cast<unsigned long>(hr));
            return;
        }
        CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }
    SubstituteModule::Options options;
    options.serveFolder = tree;
    SubstituteModule module(options);
    if (!module.ok()) {
        printf("substitute server not available\n");
        return;
    }
    EnterComThread();
    {
        Microsoft::WRL::ComPtr<ModuleAccess> access;
        if (FAILED(CreateModuleAccess(&access))) {
            printf("cannot create the server\n");
        } else {
            double best = 1e9, total = 0;
            const int serverRounds = rounds < 5 ? rounds : 5;
            for (int r = 0; r < serverRounds; ++r) {
                ItemArray items;
                const auto start = Clock::now();
                const HRESULT hr = ListItemsEx(L"\\A:\\Wide", L"*", &items, access.Get(), false, false);
                const double took = Seconds(start);
                best = std::min(best, took);
                total += took;
                if (FAILED(hr) || items.count() != entries)
                    printf("listing failed: 0x%08lX, %u items\n", static_cast<unsigned long>(hr), items.count());
            }
            printf("ListItemsEx via the server:  %8.3f ms per listing (best; mean %.3f ms), %6.3f us per item\n",
                   best * 1e3, total * 1e3 / serverRounds, best * 1e6 / entries);
        }
    }
    LeaveComThread();
}

}  // namespace

int main(int argc, char** argv) {
    const UINT entries = argc > 1 ? static_cast<UINT>(strtoul(argv[1], nullptr, 10)) : 10000;
    const int rounds = argc > 2 ? atoi(argv[2]) : 20;
    OleInitialize(nullptr);

    UniqueVariant answer;
    BuildAnswer(entries, answer.get());
    printf("ListFolder answer: %u entries of \\A:\\Data\\Photo NNNNN.jpg\n", entries);

    FakeModuleAccess* fake = new FakeModuleAccess();
    EnterComThread();

    // ListItemsEx on an answer handed over as it is: decoding alone.
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        UniqueVariant copy;
        VariantCopy(copy.get(), answer.get());
        fake->QueueRawListing(L"\\A:\\Data\\*", copy.get());
        ItemArray items;
        const auto start = Clock::now();
        ListItemsEx(L"\\A:\\Data", L"*", &items, fake, false, false);
        best = std::min(best, Seconds(start));
        if (items.count() != entries) printf("unexpected count %u\n", items.count());
    }
    printf("decode into identifiers:     %8.3f ms per listing, %6.3f us per item\n", best * 1e3,
           best * 1e6 / entries);

    // Memory held by one decoded listing.
    {
        // Measured from before the answer exists: it is freed by the listing.
        const ULONGLONG before = HeapBytesInUse();
        UniqueVariant copy;
        VariantCopy(copy.get(), answer.get());
        fake->QueueRawListing(L"\\A:\\Data\\*", copy.get());
        ItemArray items;
        ListItemsEx(L"\\A:\\Data", L"*", &items, fake, false, false);
        const ULONGLONG after = HeapBytesInUse();
        ULONGLONG payload = 0;
        for (UINT i = 0; i < items.count(); ++i) payload += IdListSize(items[i]);
        printf("identifier bytes per item:   %8.1f (+ %zu bytes of array slot; capacity %u)\n",
               static_cast<double>(payload) / items.count(), sizeof(LPITEMIDLIST), items.capacity());
        printf("heap bytes held per item:    %8.1f (identifiers, array and block overheads)\n",
               static_cast<double>(after > before ? after - before : 0) / items.count());
    }

    // The same with the in-process server copying its answer, as a real
    // marshalled answer is a fresh array too.
    fake->SetRawListing(L"\\A:\\Data\\*", *answer.get());
    best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        ItemArray items;
        const auto start = Clock::now();
        ListItemsEx(L"\\A:\\Data", L"*", &items, fake, false, false);
        best = std::min(best, Seconds(start));
    }
    printf("ListItemsEx in process:      %8.3f ms per listing, %6.3f us per item "
           "(includes copying the answer)\n",
           best * 1e3, best * 1e6 / entries);
    LeaveComThread();
    fake->Release();

    ThroughServer(entries, rounds);
    OleUninitialize();
    return 0;
}
