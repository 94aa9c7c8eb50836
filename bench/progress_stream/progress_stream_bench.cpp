// Reading through a ProgressStream bound to a live progress dialog against
// reading the same stream directly, both in 4096-byte chunks.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/resource_module.h"
#include "transfer/progress_dialog.h"
#include "transfer/progress_stream.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr ULONG kChunk = 4096;
constexpr uint64_t kSize = 64ull << 20;

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

// Seconds to read the whole stream in chunks; 0 on failure.
double ReadAll(IStream* stream) {
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
    return total == kSize ? elapsed : 0;
}

double Direct(IStream* inner) {
    Rewind(inner);
    return ReadAll(inner);
}

double Through(IStream* inner) {
    Rewind(inner);
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, kSize, &cancel);
    if (!dialog.window()) return 0;
    ComPtr<IStream> stream;
    if (FAILED(CreateProgressStream(inner, &dialog, kSize, &cancel, true, &stream))) return 0;
    return ReadAll(stream.Get());
}

void Compare(const char* what, IStream* inner) {
    double direct = 1e9, through = 1e9;
    for (int round = 0; round < 3; ++round) {
        direct = std::min(direct, Direct(inner));
        through = std::min(through, Through(inner));
    }
    std::printf("%-28s direct %8.1f ms  through progress %8.1f ms  ratio %.3f (goal <= 1.05)\n",
                what, direct * 1000, through * 1000, through / direct);
}

}  // namespace

int main() {
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
    CoUninitialize();
    return 0;
}
