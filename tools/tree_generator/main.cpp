// Makes large module trees for benchmarks and demonstrations:
//   ktx_make_tree <root> [wide <count>] [bulk <count> <bytes>]
// "wide" puts <count> small files in \A:\Wide (default 10,000); "bulk" puts
// <count> files of <bytes> each in \B:\Bulk (default 1,000 of 100 KiB, 100 MB).
// Each drive gets a capacity that holds what was made.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "tools/substitute_common/tree_builder.h"

namespace {

int Usage() {
    fwprintf(stderr, L"usage: ktx_make_tree <root> [wide <count>] [bulk <count> <bytes>]\n");
    return 2;
}

DWORD CapacityFor(unsigned long long bytes) {
    unsigned long long capacity = bytes + bytes / 4 + 1024 * 1024;
    return capacity > 0x7FFFFFFFull ? 0x7FFFFFFFu : static_cast<DWORD>(capacity);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    std::wstring root = argv[1];
    bool wide = false, bulk = false;
    unsigned wideCount = 10000, bulkCount = 1000;
    DWORD bulkSize = 100 * 1024;
    for (int i = 2; i < argc; ++i) {
        if (wcscmp(argv[i], L"wide") == 0) {
            wide = true;
            if (i + 1 < argc && iswdigit(argv[i + 1][0])) wideCount = wcstoul(argv[++i], nullptr, 10);
        } else if (wcscmp(argv[i], L"bulk") == 0) {
            bulk = true;
            if (i + 1 < argc && iswdigit(argv[i + 1][0])) bulkCount = wcstoul(argv[++i], nullptr, 10);
            if (i + 1 < argc && iswdigit(argv[i + 1][0])) bulkSize = wcstoul(argv[++i], nullptr, 10);
        } else {
            return Usage();
        }
    }
    if (!wide && !bulk) wide = bulk = true;
    CreateDirectoryW(root.c_str(), nullptr);
    HRESULT hr = S_OK;
    if (wide) {
        hr = substitute::PrepareDrive(root, L'A', CapacityFor(wideCount * 64ull), L"WIDE");
        if (SUCCEEDED(hr)) hr = substitute::BuildFiles(root, L'A', L"Wide", wideCount, 64, L"Entry ", L".txt");
    }
    if (SUCCEEDED(hr) && bulk) {
        hr = substitute::PrepareDrive(root, L'B', CapacityFor(1ull * bulkCount * bulkSize), L"BULK");
        if (SUCCEEDED(hr)) hr = substitute::BuildFiles(root, L'B', L"Bulk", bulkCount, bulkSize, L"Data ", L".bin");
    }
    if (FAILED(hr)) {
        fwprintf(stderr, L"ktx_make_tree: failed with 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }
    wprintf(L"made %ls\n", root.c_str());
    return 0;
}
