// EnumObjects of a module folder of 1,000, 10,000 and 50,000 files, served by
// the substitute module-access server, split into the server's ListFolder
// (timed inside the same call) and what the library adds around it; the bare
// ListFolder call alone is taken in turns with it for comparison. Prints the
// figures per item at each size and their growth from one size to the next,
// which stays flat when the library's work grows linearly.
//   bench_enum_objects [--quick] [count...]
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/common/items_tree.h"
#include "bench/common/measure.h"
#include "bench/common/timed_module_access.h"
#include "common/holders.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "namespace/module_folder.h"
#include "testing/substitute_server.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr int kRounds = 5;
const wchar_t* const kFolder = bench::kItemsFolder;

// Enumerates every item of `folder` and frees them; the count, or -1.
int EnumerateAll(IShellFolder* folder) {
    ComPtr<IEnumIDList> items;
    if (FAILED(folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                                   &items)) ||
        !items)
        return -1;
    int count = 0;
    LPITEMIDLIST batch[64];
    ULONG fetched = 0;
    while (SUCCEEDED(items->Next(64, batch, &fetched)) && fetched > 0) {
        for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(batch[i]);
        count += static_cast<int>(fetched);
    }
    return count;
}

struct SizeResult {
    unsigned count = 0;
    bench::Samples module, serverInside, library, bare, addedShare, overBare;
};

bool MeasureSize(unsigned count, SizeResult* result) {
    result->count = count;
    const std::wstring tree = bench::ItemsTree(count);
    if (tree.empty()) {
        std::printf("cannot make the tree of %u files\n", count);
        return false;
    }
    SubstituteModule::Options options;
    options.serveFolder = tree;
    SubstituteModule server(options);
    if (!server.ok()) {
        std::printf("substitute server not available\n");
        return false;
    }
    bench::TimedServerScope timed;
    ComPtr<ModuleFolder> module;
    ComPtr<ModuleAccess> access;
    if (FAILED(ModuleFolder::Create(kFolder, nullptr, &module)) || FAILED(CreateModuleAccess(&access))) {
        std::printf("cannot create the folder or the server\n");
        return false;
    }
    bool countsRight = true;
    bool warm = false;
    bench::Comparison c = bench::Alternate(
        kRounds,
        [&] {
            timed.Reset();
            const double start = bench::Now();
            int listed = EnumerateAll(module.Get());
            const double took = bench::Now() - start;
            const double inside = timed.listSeconds();
            if (listed != static_cast<int>(count)) countsRight = false;
            if (warm) {   // the first call is the warm-up
                result->serverInside.Add(inside);
                result->library.Add(took - inside);
                if (inside > 0) result->addedShare.Add((took - inside) / inside);
            }
            warm = true;
            return took;
        },
        [&] {
            UniqueBstr request(ListingRequest(kFolder, L"*").c_str());
            UniqueVariant records;
            const double start = bench::Now();
            HRESULT hr = access->ListFolder(request.get(), VARIANT_FALSE, records.get());
            const double took = bench::Now() - start;
            if (FAILED(hr) || V_VT(records.get()) != (VT_ARRAY | VT_VARIANT)) countsRight = false;
            return took;
        });
    result->module = c.a;
    result->bare = c.b;
    result->overBare = c.ratio;
    if (!countsRight) std::printf("listing of %u files came back wrong\n", count);
    return countsRight;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::QuickMode(argc, argv);
    std::vector<unsigned long> counts = bench::NumberArguments(argc, argv);
    if (counts.empty()) counts = quick ? std::vector<unsigned long>{500, 2000} : std::vector<unsigned long>{1000, 10000, 50000};
    std::printf("bench_enum_objects%s: EnumObjects of %ls, %d rounds after a warm-up\n", quick ? " (quick)" : "",
                kFolder, kRounds);
    OleInitialize(nullptr);
    std::vector<SizeResult> results;
    bool ok = true;
    for (unsigned long count : counts) {
        SizeResult result;
        if (!MeasureSize(static_cast<unsigned>(count), &result)) {
            ok = false;
            break;
        }
        std::printf("%lu items\n", count);
        bench::PrintSamples("module folder EnumObjects", result.module, 1e3, "ms");
        bench::PrintSamples("  of which the server's ListFolder", result.serverInside, 1e3, "ms");
        bench::PrintSamples("  of which the library", result.library, 1e3, "ms");
        bench::PrintSamples("bare ListFolder, in turns with EnumObjects", result.bare, 1e3, "ms");
        bench::PrintSamples("EnumObjects / bare ListFolder", result.overBare, 1, "x ");
        std::printf("  per item: module %.3f us, server %.3f us, library %.3f us\n",
                    result.module.Median() * 1e6 / count, result.serverInside.Median() * 1e6 / count,
                    result.library.Median() * 1e6 / count);
        results.push_back(result);
    }
    for (size_t i = 1; i < results.size(); ++i) {
        const double items = static_cast<double>(results[i].count) - results[i - 1].count;
        std::printf("growth %u -> %u items: library %.3f us per added item, server %.3f us\n", results[i - 1].count,
                    results[i].count, (results[i].library.Median() - results[i - 1].library.Median()) * 1e6 / items,
                    (results[i].serverInside.Median() - results[i - 1].serverInside.Median()) * 1e6 / items);
    }
    bool met = true;
    for (const SizeResult& result : results) {
        char what[80];
        std::snprintf(what, sizeof(what), "%u items: library's share over ListFolder", result.count);
        met &= bench::PrintGoal(what, result.addedShare.Median() * 100, 5, "%");
    }
    std::printf("%s\n", ok ? (met ? "all goals met" : "some goals MISSED") : "the run failed");
    OleUninitialize();
    return ok ? 0 : 1;
}
