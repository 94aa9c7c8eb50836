// Reading through a ProgressStream bound to a live progress dialog against
// reading the same stream directly, both in 4096-byte chunks: a file from
// the substitute server (the streams the progress is for), the same over the
// server's simulated 92,160 bytes/s link against the link's own time, and
// 64 MB from memory and from a PC file, which show the cost per chunk.
//   progress_stream_bench [full]   ("full": 64 MB from the server, not 16 MB)
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/holders.h"
#include "common/resource_module.h"
#include "testing/substitute_server.h"
#include "transfer/progress_dialog.h"
#include "transfer/progress_stream.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr ULONG kChunk = 4096;
constexpr uint64_t kSize = 64ull << 20;
constexpr DWORD kLinkSpeed = 92160;
constexpr uint64_t kLinkSize = 256 * 1024;

double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Rewind(IStream* stream) {
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
}

// Seconds to read the whole stream in chunks; 0 on failure or a short read.
double ReadAll(IStream* stream, uint64_t size) {
    static BYTE buffer[kChunk];
    double start = Now();
    uint64_t total = 0;
    for (;;) {
        ULONG got = 0;
        if (FAILED(stream->Read(buffer, kChunk, &got))) return 0;
        if (got == 0) break;
        total += got;
    }
    double elapsed = Now() - start;
    return total == size ? elapsed : 0;
}

// The same bytes through a progress stream with a live dialog, pumping.
double ReadThrough(IStream* inner, uint64_t size) {
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, size, &cancel);
    if (!dialog.window()) return 0;
    ComPtr<IStream> stream;
    if (FAILED(CreateProgressStream(inner, &dialog, size, &cancel, true, &stream))) return 0;
    return ReadAll(stream.Get(), size);
}

void Print(const char* what, double direct, double through, double goal) {
    std::printf("%-30s direct %9.1f ms  through progress %9.1f ms  ratio %.3f (goal <= %.2f)\n",
                what, direct * 1000, through * 1000, direct > 0 ? through / direct : 0, goal);
}

void Compare(const char* what, IStream* inner) {
    double direct = 1e9, through = 1e9;
    for (int round = 0; round < 3; ++round) {
        Rewind(inner);
        direct = std::min(direct, ReadAll(inner, kSize));
        Rewind(inner);
        through = std::min(through, ReadThrough(inner, kSize));
    }
    // A stream this fast measures only what the progress costs per chunk: the
    // thread's message pump (a round trip to the window system) and the refresh.
    std::printf("%-30s direct %9.1f ms  through progress %9.1f ms  cost per 4 KB %.1f us\n", what,
                direct * 1000, through * 1000, (through - direct) * 1e6 / (kSize / kChunk));
}

// A fresh stream of a module file; null on failure.
ComPtr<IStream> OpenModuleFile(ModuleAccess* access, const wchar_t* path) {
    UniqueBstr bpath(path);
    ComPtr<IUnknown> unknown;
    ComPtr<IStream> stream;
    if (SUCCEEDED(access->OpenFile(bpath.get(), &unknown))) unknown.As(&stream);
    return stream;
}

bool WritePcFile(const std::wstring& path, uint64_t size, const std::vector<BYTE>& block) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    for (uint64_t done = 0; done < size; done += written) {
        DWORD part = static_cast<DWORD>(std::min<uint64_t>(block.size(), size - done));
        if (!WriteFile(file, block.data(), part, &written, nullptr) || written == 0) break;
    }
    CloseHandle(file);
    return true;
}

void CompareServer(uint64_t size, const std::vector<BYTE>& block) {
    SubstituteModule module;
    ComPtr<ModuleAccess> access;
    if (!module.ok() || FAILED(module.Create(&access))) {
        std::printf("substitute server not available\n");
        return;
    }
    // Written on the PC side: the server serves whatever its folder holds.
    WritePcFile(module.PcPath(L"\\A:\\big.bin"), size, block);
    WritePcFile(module.PcPath(L"\\A:\\link.bin"), kLinkSize, block);

    ComPtr<IStream> stream = OpenModuleFile(access.Get(), L"\\A:\\big.bin");
    double direct = stream ? ReadAll(stream.Get(), size) : 0;
    stream = OpenModuleFile(access.Get(), L"\\A:\\big.bin");
    double through = stream ? ReadThrough(stream.Get(), size) : 0;
    char what[64];
    std::snprintf(what, sizeof(what), "%llu MB from the server", (unsigned long long)(size >> 20));
    Print(what, direct, through, 1.05);

    module.SetLinkSpeed(kLinkSpeed);
    double link = static_cast<double>(kLinkSize) / kLinkSpeed;
    stream = OpenModuleFile(access.Get(), L"\\A:\\link.bin");
    through = stream ? ReadThrough(stream.Get(), kLinkSize) : 0;
    std::printf("%-30s link's own %6.1f ms  through progress %9.1f ms  ratio %.3f (goal <= 1.02)\n",
                "256 KB over 92,160 bytes/s", link * 1000, through * 1000, through / link);
    module.SetLinkSpeed(0);
}

}  // namespace

int main(int argc, char** argv) {
    bool full = argc > 1 && std::strcmp(argv[1], "full") == 0;
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    CoInitialize(nullptr);

    std::vector<BYTE> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<BYTE>(i * 31);

    ComPtr<IStream> memory;
    CreateStreamOnHGlobal(nullptr, TRUE, &memory);
    for (uint64_t done = 0; done < kSize; done += block.size())
        memory->Write(block.data(), static_cast<ULONG>(block.size()), nullptr);
    Compare("64 MB from memory", memory.Get());

    wchar_t path[MAX_PATH], dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"ktx", 0, path);
    {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        for (uint64_t done = 0; done < kSize; done += block.size())
            WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr);
        CloseHandle(file);
    }
    ComPtr<IStream> file;
    if (SUCCEEDED(SHCreateStreamOnFileEx(path, STGM_READ | STGM_SHARE_DENY_NONE, 0, FALSE,
                                         nullptr, &file)))
        Compare("64 MB from a file", file.Get());
    file.Reset();
    DeleteFileW(path);

    CompareServer(full ? kSize : 16ull << 20, block);
    CoUninitialize();
    return 0;
}
