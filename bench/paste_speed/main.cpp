// Prints what pasting costs: PC files into the module against CopyFileW of
// the same files to another PC folder (goal: ratio <= 1.15 with the link
// unlimited), the same through the simulated 92,160 B/s link against the
// link's own time (goal <= 1.02), and a module -> module move of 1,000 files
// against the server's bare CopyItem calls. `quick` runs smaller sizes.
#include <windows.h>
#include <commctrl.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/holders.h"
#include "common/paths.h"
#include "common/resource_module.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "item_id/module_item_id.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"
#include "tests/transfer/transfer_test_files.h"
#include "transfer/copy_engine.h"
#include "transfer/local_file_stream.h"

using Microsoft::WRL::ComPtr;

namespace {

double Seconds(LARGE_INTEGER from) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - from.QuadPart) / frequency.QuadPart;
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

std::vector<std::wstring> MakeFiles(const PcFolder& pc, unsigned count, unsigned size) {
    std::vector<std::wstring> paths;
    std::string bytes(size, '\0');
    for (unsigned i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    for (unsigned i = 0; i < count; ++i) {
        std::wstring name = L"file" + std::to_wstring(i) + L".bin";
        pc.Write(name, bytes);
        paths.push_back(pc.Path(name));
    }
    return paths;
}

double PasteSeconds(ModuleAccess* access, const std::wstring& folder,
                    const std::vector<std::wstring>& paths) {
    UniqueBstr bfolder(folder.c_str());
    access->CreateFolder(bfolder.get());
    CopyEngine engine(access, folder, DROPEFFECT_COPY, nullptr);
    LARGE_INTEGER start = Now();
    HRESULT hr = engine.TransferPcItems(paths);
    double seconds = Seconds(start);
    if (FAILED(hr)) printf("  (the paste failed: 0x%08lX)\n", static_cast<unsigned long>(hr));
    return seconds;
}

// The server's own WriteFile calls on `paths`, one after the other.
double BareWriteSeconds(ModuleAccess* access, const std::wstring& folder,
                        const std::vector<std::wstring>& paths) {
    UniqueBstr bfolder(folder.c_str());
    access->CreateFolder(bfolder.get());
    LARGE_INTEGER start = Now();
    for (const std::wstring& path : paths) {
        ComPtr<IStream> file;
        if (FAILED(LocalFileStream::Open(path, &file))) continue;
        UniqueBstr target((folder + L"\\" + FileNamePart(path)).c_str());
        access->WriteFile(target.get(), file.Get(), FILE_ATTRIBUTE_ARCHIVE);
    }
    return Seconds(start);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    const bool quick = argc > 1 && !wcscmp(argv[1], L"quick");
    if (FAILED(EnterComThread())) return 1;
    {
        PromptRecorder prompts;   // nothing should ask; if it does, it is answered Cancel
        SubstituteModule module;
        ComPtr<ModuleAccess> access;
        if (!module.ok() || FAILED(module.Create(&access))) return 1;
        module.SetCapacity(L'A', 0xF0000000u);

        {
            // What any call to the server costs before it does any work.
            UniqueBstr drive(L"\\A:");
            LARGE_INTEGER begin = Now();
            for (int i = 0; i < 200; ++i) access->InvalidateCache(drive.get());
            printf("one call to the server and back: %.2f ms\n", Seconds(begin) * 1000 / 200);
        }
        const unsigned files = 64, size = quick ? (64u << 10) : (1u << 20);
        PcFolder source, copies;
        std::vector<std::wstring> paths = MakeFiles(source, files, size);
        LARGE_INTEGER start = Now();
        for (const std::wstring& path : paths) {
            std::wstring name = path.substr(path.rfind(L'\\') + 1);
            CopyFileW(path.c_str(), copies.Path(name).c_str(), FALSE);
        }
        double plain = Seconds(start);
        DWORD listed = module.CallCount(L"ListFolder");
        double paste = PasteSeconds(access.Get(), L"\\A:\\Speed", paths);
        listed = module.CallCount(L"ListFolder") - listed;
        printf("paste %u PC files of %u bytes: %.3f s; CopyFileW: %.3f s; ratio %.2f (goal <= 1.15)\n",
               files, size, paste, plain, plain > 0 ? paste / plain : 0.0);
        printf("  listings per file: %.2f\n", static_cast<double>(listed) / files);
        // The floor the server sets: its bare WriteFile calls on the same files.
        double floor = BareWriteSeconds(access.Get(), L"\\A:\\Floor", paths);
        printf("  the server's bare WriteFile calls: %.3f s; the paste against them: %.2f\n", floor,
               floor > 0 ? paste / floor : 0.0);
        // The same bytes carried the other way, with no file written at all:
        // what moving them between the two processes costs by itself.
        start = Now();
        for (const std::wstring& path : paths) {
            UniqueBstr item((L"\\A:\\Floor\\" + FileNamePart(path)).c_str());
            ComPtr<IUnknown> opened;
            ComPtr<ISequentialStream> stream;
            if (FAILED(access->OpenFile(item.get(), &opened)) || FAILED(opened.As(&stream))) continue;
            std::vector<BYTE> buffer(256u << 10);
            ULONG got = 0;
            while (SUCCEEDED(stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got)) &&
                   got == buffer.size()) {
            }
        }
        printf("  the same files read back from the server: %.3f s\n", Seconds(start));

        // Through the link: the same 1 MiB files (all 64 of them in the full
        // run, twelve minutes of link time), against the time the link itself takes.
        const DWORD link = 92160;
        module.SetLinkSpeed(link);
        const unsigned linkFiles = quick ? 2 : files, linkSize = 1u << 20;
        PcFolder slow;
        std::vector<std::wstring> slowPaths = quick ? MakeFiles(slow, linkFiles, linkSize) : paths;
        double linked = PasteSeconds(access.Get(), L"\\A:\\Linked", slowPaths);
        double wire = static_cast<double>(linkFiles) * linkSize / link;
        printf("paste %u files of %u bytes at %lu B/s: %.3f s; the link alone: %.3f s; ratio %.3f "
               "(goal <= 1.02)\n",
               linkFiles, linkSize, static_cast<unsigned long>(link), linked, wire,
               linked / wire);
        // Two bare WriteFile calls tell what the server and the link take per file.
        std::vector<std::wstring> twoPaths(slowPaths.begin(), slowPaths.begin() + 2);
        double barePerFile = BareWriteSeconds(access.Get(), L"\\A:\\LinkedFloor", twoPaths) / 2;
        printf("  the server's bare WriteFile call through the link: %.3f s a file; the paste: %.3f s a "
               "file, %.3f of it\n",
               barePerFile, linked / linkFiles, barePerFile > 0 ? linked / linkFiles / barePerFile : 0.0);
        module.SetLinkSpeed(0);

        // Module -> module: 1,000 small files moved, against bare CopyItem calls.
        const unsigned many = quick ? 100 : 1000;
        PcFolder small;
        std::vector<std::wstring> smallPaths = MakeFiles(small, many, 512);
        PasteSeconds(access.Get(), L"\\A:\\Many", smallPaths);
        std::vector<IdListHolder> items;
        std::vector<LPCITEMIDLIST> lists;
        ListItems(L"\\A:\\Many", &items, access.Get(), false);
        for (const IdListHolder& item : items) lists.push_back(item.get());
        UniqueBstr moved(L"\\A:\\Moved"), bare(L"\\A:\\Bare");
        access->CreateFolder(moved.get());
        access->CreateFolder(bare.get());
        listed = module.CallCount(L"ListFolder");
        start = Now();
        {
            CopyEngine engine(access.Get(), L"\\A:\\Moved", DROPEFFECT_MOVE, nullptr);
            engine.TransferModuleItems(L"\\A:\\Many", lists.data(), static_cast<UINT>(lists.size()));
        }
        double engineSeconds = Seconds(start);
        listed = module.CallCount(L"ListFolder") - listed;
        start = Now();
        for (const IdListHolder& item : items) {
            std::wstring path = ItemPath(item.get());
            UniqueBstr from(path.c_str()), to((L"\\A:\\Bare\\" + FileNamePart(path)).c_str());
            access->CopyItem(from.get(), to.get());
        }
        double bareSeconds = Seconds(start);
        printf("move %zu module files: %.3f s; bare CopyItem calls: %.3f s; ratio %.2f\n",
               items.size(), engineSeconds, bareSeconds,
               bareSeconds > 0 ? engineSeconds / bareSeconds : 0.0);
        printf("  listings per moved file: %.2f\n",
               items.empty() ? 0.0 : static_cast<double>(listed) / items.size());
        access.Reset();
    }
    LeaveComThread();
    return 0;
}
