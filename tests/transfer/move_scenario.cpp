#include "tests/transfer/move_scenario.h"

#include <shlwapi.h>
#include <wrl/client.h>

#include <tlhelp32.h>

#include <vector>

#include "common/holders.h"
#include "module_access/listing.h"
#include "item_id/module_item_id.h"
#include "resources/transfer_ids.h"
#include "tests/support/prompt_recorder.h"
#include "testing/substitute_server.h"
#include "tests/transfer/transfer_test_files.h"
#include "transfer/copy_engine.h"
#include "transfer/delete_operation.h"

using Microsoft::WRL::ComPtr;

const wchar_t* const kMoveFaultOperations[] = {
    L"WriteFile", L"CopyItem", L"CreateFolder", L"DeleteFile", L"Read",
    L"RenameFile", L"ListFolder", L"SetAttributes", L"DeleteFolder",
};
const size_t kMoveFaultOperationCount = ARRAYSIZE(kMoveFaultOperations);

namespace {

// The moved items, relative to their folder, with their bytes.
struct SceneFile {
    const wchar_t* path;
    std::string bytes;
};

std::vector<SceneFile> SourceFiles() {
    return {
        {L"Tree\\a.txt", std::string(5000, 'a')},
        {L"Tree\\b.bin", std::string(20000, '\x01')},
        {L"Tree\\Sub\\c.txt", "c"},
        {L"Tree\\Sub\\d.bin", std::string(9000, 'd')},
        {L"Tree\\Sub\\Deep\\e.txt", std::string(4096, 'e')},
        {L"f.txt", std::string(700, 'f')},
    };
}

// Older files already at the target, which the move replaces.
std::vector<SceneFile> OlderTargets() {
    return {
        {L"Tree\\b.bin", "older b"},
        {L"f.txt", "older f"},
    };
}

class ScenePrompts : public PromptRecorder {
public:
    explicit ScenePrompts(const MoveFault& fault) : fault_(fault) {}
    bool Answer(const PromptRequest& request, INT_PTR* answer) override {
        PromptRecorder::Answer(request, answer);
        ++asked_;
        if (fault_.answerAt && asked_ == fault_.answerAt)
            *answer = fault_.answer;
        else
            *answer = request.kind == PromptRequest::Kind::Dialog ? IDYES : IDOK;
        return true;
    }

private:
    MoveFault fault_;
    unsigned asked_ = 0;
};

// A file the module server holds, by its PC path.
std::string ModuleFile(const SubstituteModule& module, const std::wstring& modulePath) {
    return ReadPcFile(module.PcPath(modulePath));
}

void WriteThroughServer(ModuleAccess* access, const std::wstring& path, const std::string& bytes) {
    ComPtr<IStream> stream;
    *stream.GetAddressOf() = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                               static_cast<UINT>(bytes.size()));
    UniqueBstr target(path.c_str());
    access->WriteFile(target.get(), stream.Get(), FILE_ATTRIBUTE_ARCHIVE);
}

void MakeModuleFolders(ModuleAccess* access, const std::wstring& folder, const std::wstring& file) {
    std::wstring path = folder;
    size_t start = 0;
    for (size_t slash; (slash = file.find(L'\\', start)) != std::wstring::npos; start = slash + 1) {
        path += L"\\" + file.substr(start, slash - start);
        UniqueBstr bpath(path.c_str());
        access->CreateFolder(bpath.get());
    }
}

// The moved file the move question is asked about.
const wchar_t kReadOnlySource[] = L"Tree\\Sub\\c.txt";

// Ends the module server after a while: the one process of that name in
// this program's private prefix, by its id.
DWORD WINAPI KillServerLater(void*) {
    Sleep(700);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32W entry = {sizeof(entry)};
    DWORD id = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (!lstrcmpiW(entry.szExeFile, L"ktx_module_server.exe")) id = entry.th32ProcessID;
    CloseHandle(snapshot);
    HANDLE process = id ? OpenProcess(PROCESS_TERMINATE, FALSE, id) : nullptr;
    if (!process) return 1;
    TerminateProcess(process, 1);
    CloseHandle(process);
    return 0;
}

// The contents of the engine's set-aside files anywhere below a PC folder.
void CollectSetAside(const std::wstring& folder, std::vector<std::string>* contents) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CollectSetAside(folder + L"\\" + name, contents);
        else if (name.compare(0, 4, L"~ktx") == 0)
            contents->push_back(ReadPcFile(folder + L"\\" + name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

MoveOutcome RunMoveScenario(MoveKind kind, const MoveFault& fault) {
    MoveOutcome outcome;
    SubstituteModule module;
    PcFolder pc;
    ComPtr<ModuleAccess> access;
    if (!module.ok() || FAILED(module.Create(&access))) {
        outcome.losses = 1;
        outcome.detail = L"no module";
        return outcome;
    }
    const bool fromPc = kind == MoveKind::PcToModule;
    const std::wstring sourceFolder = fromPc ? pc.root() : L"\\A:\\Src";
    const std::wstring target = fromPc ? L"\\A:\\Target" : L"\\B:\\Target";
    auto sourceBytes = [&](const std::wstring& relative) {
        return fromPc ? ReadPcFile(pc.Path(relative))
                      : ModuleFile(module, sourceFolder + L"\\" + relative);
    };

    // The scene.
    {
        UniqueBstr folder(target.c_str());
        access->CreateFolder(folder.get());
        if (!fromPc) {
            UniqueBstr src(sourceFolder.c_str());
            access->CreateFolder(src.get());
        }
    }
    for (const SceneFile& file : SourceFiles()) {
        if (fromPc) {
            pc.Write(file.path, file.bytes);
        } else {
            MakeModuleFolders(access.Get(), sourceFolder, file.path);
            WriteThroughServer(access.Get(), sourceFolder + L"\\" + file.path, file.bytes);
        }
    }
    if (fromPc) {
        SetFileAttributesW(pc.Path(kReadOnlySource).c_str(), FILE_ATTRIBUTE_READONLY);
    } else {
        UniqueBstr readOnly((sourceFolder + L"\\" + kReadOnlySource).c_str());
        access->SetAttributes(readOnly.get(), FILE_ATTRIBUTE_READONLY);
    }
    for (const SceneFile& file : OlderTargets()) {
        MakeModuleFolders(access.Get(), target, file.path);
        WriteThroughServer(access.Get(), target + L"\\" + file.path, file.bytes);
    }

    // The move.
    std::map<std::wstring, DWORD> before;
    for (size_t i = 0; i < kMoveFaultOperationCount; ++i)
        before[kMoveFaultOperations[i]] = module.CallCount(kMoveFaultOperations[i]);
    if (fault.operation) module.FailNthCall(fault.operation, fault.call, fault.result);
    HANDLE killer = nullptr;
    if (fault.killServer) {
        module.SetLinkSpeed(20000);
        killer = CreateThread(nullptr, 0, &KillServerLater, nullptr, 0, nullptr);
    }
    {
        ScenePrompts prompts(fault);
        CopyEngine engine(access.Get(), target, DROPEFFECT_MOVE, nullptr);
        if (fromPc) {
            engine.TransferPcItems({pc.Path(L"Tree"), pc.Path(L"f.txt")});
        } else {
            IdListHolder tree, loose;
            GetItemRecord((sourceFolder + L"\\Tree").c_str(), access.Get(), tree.out());
            GetItemRecord((sourceFolder + L"\\f.txt").c_str(), access.Get(), loose.out());
            LPCITEMIDLIST lists[] = {tree.get(), loose.get()};
            engine.TransferModuleItems(sourceFolder, lists, 2);
        }
        outcome.complete = engine.Complete();
        outcome.prompts = static_cast<unsigned>(prompts.Count());
    }
    if (killer) {
        WaitForSingleObject(killer, INFINITE);
        CloseHandle(killer);
        outcome.calls.clear();
        module.SetLinkSpeed(0);
    }
    module.ClearFaults();
    for (size_t i = 0; !fault.killServer && i < kMoveFaultOperationCount; ++i)
        outcome.calls[kMoveFaultOperations[i]] =
            module.CallCount(kMoveFaultOperations[i]) - before[kMoveFaultOperations[i]];

    // Everything the engine wrote, before the sources go.
    std::map<std::wstring, std::string> arrived;
    for (const SceneFile& file : SourceFiles())
        arrived[file.path] = ModuleFile(module, target + L"\\" + file.path);
    if (outcome.complete) {
        for (const SceneFile& file : SourceFiles())
            if (arrived[file.path] != file.bytes) {
                ++outcome.losses;
                outcome.detail += L" complete but missing " + std::wstring(file.path);
            }
        // What the owners of the sources then do.
        if (fromPc) {
            RemovePcTree(pc.Path(L"Tree"));
            DeleteFileW(pc.Path(L"f.txt").c_str());
        } else {
            std::vector<DeleteTarget> items = {{sourceFolder + L"\\Tree", FILE_ATTRIBUTE_DIRECTORY},
                                               {sourceFolder + L"\\f.txt", 0}};
            DeleteOperation remove(sourceFolder, items, true, nullptr);
            remove.Run(access.Get(), nullptr);
        }
    }

    // Nothing lost, nothing half-written. A replaced file that could not be
    // put back (the server gone) still counts as kept in its set-aside copy.
    std::vector<std::string> setAside;
    CollectSetAside(module.PcPath(target), &setAside);
    outcome.leftovers = static_cast<unsigned>(setAside.size());
    for (const SceneFile& file : SourceFiles()) {
        const std::string atSource = sourceBytes(file.path);
        const std::string& atTarget = arrived[file.path];
        outcome.bytesCompared += file.bytes.size() * 2;
        if (atSource != file.bytes && ModuleFile(module, target + L"\\" + file.path) != file.bytes) {
            ++outcome.losses;
            outcome.detail += L" lost " + std::wstring(file.path);
        }
        std::string older;
        for (const SceneFile& old : OlderTargets())
            if (!wcscmp(old.path, file.path)) older = old.bytes;
        if (atTarget != "<missing>" && atTarget != older && atTarget != file.bytes) {
            ++outcome.halfWritten;
            outcome.detail += L" half-written " + std::wstring(file.path);
        }
        bool olderKept = older.empty() || atTarget == older || atTarget == file.bytes;
        for (const std::string& kept : setAside) olderKept = olderKept || kept == older;
        if (!olderKept) {
            ++outcome.losses;
            outcome.detail += L" lost older " + std::wstring(file.path);
        }
    }
    return outcome;
}
