// Prints what the substitute module-access server costs through the
// type-library marshaller: a listing of 10,000 entries, OpenFile read
// throughput in 4,096-byte and 64 KiB chunks, and WriteFile throughput.
//   ktx_bench_substitute [full]   ("full": 1,000 files of 100 KiB, 100 MB)
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "common/holders.h"
#include "testing/substitute_server.h"
#include "tools/substitute_common/tree_builder.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr unsigned kWideEntries = 10000;
constexpr DWORD kBulkFileSize = 100 * 1024;

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

std::wstring BulkPath(unsigned n) {
    wchar_t path[64];
    swprintf(path, 64, L"\\B:\\Bulk\\Data %05u.bin", n);
    return path;
}

// Reads whole files in `chunk`-byte reads; answers the bytes read.
HRESULT ReadFiles(ModuleAccess* access, unsigned count, ULONG chunk, ULONGLONG* bytes) {
    std::vector<char> buffer(chunk);
    *bytes = 0;
    for (unsigned n = 0; n < count; ++n) {
        UniqueBstr path(BulkPath(n).c_str());
        ComPtr<IUnknown> unknown;
        HRESULT hr = access->OpenFile(path.get(), &unknown);
        ComPtr<IStream> stream;
        if (SUCCEEDED(hr)) hr = unknown.As(&stream);
        if (FAILED(hr)) return hr;
        for (;;) {
            ULONG got = 0;
            hr = stream->Read(buffer.data(), chunk, &got);
            if (FAILED(hr)) return hr;
            *bytes += got;
            if (got < chunk) break;
        }
    }
    return S_OK;
}

void Report(const wchar_t* what, ULONGLONG bytes, double seconds) {
    wprintf(L"%-34ls %8.2f MB in %6.2f s = %6.2f MB/s\n", what, bytes / 1e6, seconds,
            seconds > 0 ? bytes / 1e6 / seconds : 0.0);
}

int Fail(const wchar_t* what, HRESULT hr) {
    fwprintf(stderr, L"%ls failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool full = argc > 1 && wcscmp(argv[1], L"full") == 0;
    const unsigned bulkFiles = full ? 1000 : 200;

    // The trees take long to make under Wine: they are kept in the temporary
    // folder and made again only when missing or incomplete.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring tree = std::wstring(temp) + (full ? L"ktx_bench_module_full" : L"ktx_bench_module");
    std::wstring marker = tree + L"\\complete";
    LARGE_INTEGER start = Now();
    HRESULT hr = S_OK;
    if (GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES) {
        CreateDirectoryW(tree.c_str(), nullptr);
        hr = substitute::PrepareDrive(tree, L'A', 64u * 1024 * 1024, L"WIDE");
        if (SUCCEEDED(hr)) hr = substitute::BuildFiles(tree, L'A', L"Wide", kWideEntries, 64, L"Entry ", L".txt");
        if (SUCCEEDED(hr)) hr = substitute::PrepareDrive(tree, L'B', 0x7FFFFFFF, L"BULK");
        if (SUCCEEDED(hr))
            hr = substitute::BuildFiles(tree, L'B', L"Bulk", bulkFiles, kBulkFileSize, L"Data ", L".bin");
        if (FAILED(hr)) return Fail(L"building the trees", hr);
        CloseHandle(CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        wprintf(L"made the trees in %.1f s\n", Seconds(start, Now()));
    }
    wprintf(L"trees in %ls: %u entries in \\A:\\Wide, %u files of %lu bytes in \\B:\\Bulk\n", tree.c_str(),
            kWideEntries, bulkFiles, static_cast<unsigned long>(kBulkFileSize));

    SubstituteModule::Options options;
    options.serveFolder = tree;
    SubstituteModule module(options);
    if (!module.ok()) return Fail(L"setting up the module", E_FAIL);

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        ComPtr<ModuleAccess> access;
        hr = module.Create(&access);
        if (FAILED(hr)) return Fail(L"creating the server", hr);

        // Listing: a few runs, best and median.
        std::vector<double> runs;
        UniqueBstr request(L"\\A:\\Wide\\*");
        for (int i = 0; i < 5; ++i) {
            UniqueVariant result;
            LARGE_INTEGER t0 = Now();
            hr = access->ListFolder(request.get(), VARIANT_FALSE, result.get());
            LARGE_INTEGER t1 = Now();
            if (FAILED(hr)) return Fail(L"ListFolder", hr);
            LONG upper = -1;
            if (result.get()->vt == (VT_ARRAY | VT_VARIANT)) SafeArrayGetUBound(result.get()->parray, 1, &upper);
            if (upper + 1 != static_cast<LONG>(kWideEntries)) return Fail(L"ListFolder count", E_UNEXPECTED);
            runs.push_back(Seconds(t0, t1));
        }
        std::sort(runs.begin(), runs.end());
        wprintf(L"ListFolder of %u entries: best %.3f s, median %.3f s (%zu runs)\n", kWideEntries, runs.front(),
                runs[runs.size() / 2], runs.size());

        // The same folder with a pattern that matches nothing: the server's own
        // work without the transfer of the answer.
        runs.clear();
        UniqueBstr none(L"\\A:\\Wide\\*.none");
        for (int i = 0; i < 5; ++i) {
            UniqueVariant result;
            LARGE_INTEGER t0 = Now();
            hr = access->ListFolder(none.get(), VARIANT_FALSE, result.get());
            LARGE_INTEGER t1 = Now();
            if (FAILED(hr)) return Fail(L"ListFolder", hr);
            runs.push_back(Seconds(t0, t1));
        }
        std::sort(runs.begin(), runs.end());
        wprintf(L"  of which the server's own work: best %.3f s, median %.3f s\n", runs.front(),
                runs[runs.size() / 2]);

        ULONGLONG bytes = 0;
        unsigned smallCount = std::min(bulkFiles, 40u);
        start = Now();
        hr = ReadFiles(access.Get(), smallCount, 4096, &bytes);
        if (FAILED(hr)) return Fail(L"reading in 4 KiB chunks", hr);
        Report(L"OpenFile read, 4096-byte chunks:", bytes, Seconds(start, Now()));

        start = Now();
        hr = ReadFiles(access.Get(), bulkFiles, 65536, &bytes);
        if (FAILED(hr)) return Fail(L"reading in 64 KiB chunks", hr);
        Report(L"OpenFile read, 65536-byte chunks:", bytes, Seconds(start, Now()));

        // Writing: the server pulls each file from the caller's stream.
        const unsigned writes = full ? 100 : 20;
        const size_t writeSize = 256 * 1024;
        std::vector<BYTE> data(writeSize);
        for (size_t i = 0; i < writeSize; ++i) data[i] = static_cast<BYTE>(i * 13);
        bytes = 0;
        start = Now();
        for (unsigned n = 0; n < writes; ++n) {
            ComPtr<IStream> source;
            HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, writeSize);
            if (!memory) return Fail(L"GlobalAlloc", E_OUTOFMEMORY);
            memcpy(GlobalLock(memory), data.data(), writeSize);
            GlobalUnlock(memory);
            hr = CreateStreamOnHGlobal(memory, TRUE, &source);
            if (FAILED(hr)) return Fail(L"CreateStreamOnHGlobal", hr);
            wchar_t target[64];
            swprintf(target, 64, L"\\B:\\Written %03u.bin", n);
            UniqueBstr path(target);
            hr = access->WriteFile(path.get(), source.Get(), FILE_ATTRIBUTE_ARCHIVE);
            if (FAILED(hr)) return Fail(L"WriteFile", hr);
            bytes += writeSize;
        }
        Report(L"WriteFile (256 KiB files):", bytes, Seconds(start, Now()));
        for (unsigned n = 0; n < writes; ++n) {
            wchar_t target[64];
            swprintf(target, 64, L"\\B:\\Written %03u.bin", n);
            UniqueBstr path(target);
            access->DeleteFileW(path.get());
        }
    }
    CoUninitialize();
    return 0;
}
