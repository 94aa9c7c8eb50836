// Fuzzes the module's in-place changes through the library against the
// substitute server: SetNameOf with mutated new names (the folder object as
// Explorer calls it), new folders and deletes, now and then with an injected
// server fault. After every round the served PC tree must hold exactly what
// the returned results say: a successful rename moved the item (and all
// below it) to the returned identifier's path, a failed one changed nothing,
// a new folder exists under the returned path, and a delete removed exactly
// the items it announced.
//   module_ops_fuzz [rounds] [seed]
#include <windows.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/holders.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "module_access/call_wrappers.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access_h.h"
#include "module_access/module_limits.h"
#include "namespace/module_folder.h"
#include "item_id/module_item_id.h"
#include "testing/scratch_tree.h"
#include "tools/substitute_common/settings.h"
#include "transfer/delete_operation.h"

using Microsoft::WRL::ComPtr;

namespace {

// The test programs take this too before touching the servers' configuration.
constexpr wchar_t kConfigurationMutex[] = L"KTXSubstituteModuleFixture";
constexpr wchar_t kScratchPrefix[] = L"ktx_ops_fuzz_";

// The served tree: PC path below the root ("\A\Data\x.txt") -> is a folder.
using Tree = std::map<std::wstring, bool>;

void ReadTree(const std::wstring& root, const std::wstring& below, Tree* tree) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((L"\\\\?\\" + root + below + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (name == L"." || name == L"..") continue;
        if (below.empty() && !folder) continue;  // the server's own files beside the drives
        (*tree)[below + L"\\" + name] = folder;
        if (folder) ReadTree(root, below + L"\\" + name, tree);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::wstring ModulePathOf(const std::wstring& pcRelative) {  // "\A\Data" -> "\A:\Data"
    std::wstring path = pcRelative;
    path.insert(2, L":");
    return path;
}

std::wstring PcRelative(const std::wstring& modulePath) {  // "\A:\Data" -> "\A\Data"
    std::wstring path = modulePath;
    if (path.size() >= 3 && path[2] == L':') path.erase(2, 1);
    return path;
}

bool Below(const std::wstring& path, const std::wstring& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == L'\\';
}

bool DirectlyBelow(const std::wstring& path, const std::wstring& folder) {
    return Below(path, folder) && path.find(L'\\', folder.size() + 1) == std::wstring::npos;
}

void RemoveSubtree(Tree* tree, const std::wstring& path) {
    for (auto it = tree->begin(); it != tree->end();)
        it = (it->first == path || Below(it->first, path)) ? tree->erase(it) : std::next(it);
}

void MoveSubtree(Tree* tree, const std::wstring& from, const std::wstring& to) {
    Tree moved;
    for (auto it = tree->begin(); it != tree->end();) {
        if (it->first == from || Below(it->first, from)) {
            moved[to + it->first.substr(from.size())] = it->second;
            it = tree->erase(it);
        } else {
            ++it;
        }
    }
    tree->insert(moved.begin(), moved.end());
}

// Answers every question as a user who wants to get on: Yes/OK, and Ignore
// for a failure.
class Answers : public PromptAnswerer {
public:
    bool Answer(const PromptRequest& request, INT_PTR* answer) override {
        ++asked;
        const bool abortRetryIgnore = request.kind == PromptRequest::Kind::MessageBox &&
                                      (request.flags & MB_TYPEMASK) == MB_ABORTRETRYIGNORE;
        *answer = abortRetryIgnore ? IDIGNORE : IDOK;
        return true;
    }
    long asked = 0;
};

class RecordingSink : public IModuleChangeSink {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IModuleChangeSink) {
            *out = static_cast<IModuleChangeSink*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnChange(BSTR message) override {
        if (message) messages.push_back(message);
        return S_OK;
    }
    std::vector<std::wstring> messages;
};

// The substitute's configuration pointed at a small tree of our own in the
// temporary folder, put back at the end.
class ScratchModule {
public:
    ScratchModule() {
        mutex_ = CreateMutexW(nullptr, FALSE, kConfigurationMutex);
        if (mutex_) WaitForSingleObject(mutex_, INFINITE);
        HKEY raw = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, substitute::kSettingsKey, 0, KEY_READ, &raw) ==
            ERROR_SUCCESS) {
            UniqueRegKey key(raw);
            hadRoot_ = substitute::ReadString(raw, L"Root", &savedRoot_);
        }
        wchar_t temp[MAX_PATH] = {};
        const DWORD length = GetTempPathW(MAX_PATH, temp);
        if (length == 0 || length >= MAX_PATH || temp[1] != L':') return;
        root_ = temp + std::wstring(kScratchPrefix) + std::to_wstring(GetCurrentProcessId());
        for (const wchar_t* folder : {L"", L"\\A", L"\\A\\Data", L"\\A\\Data\\Sub", L"\\A\\Photos", L"\\B"})
            CreateDirectoryW((root_ + folder).c_str(), nullptr);
        for (const wchar_t* file : {L"\\A\\Data\\a.txt", L"\\A\\Data\\b.txt", L"\\A\\Data\\Sub\\c.txt",
                                    L"\\A\\Read me.txt", L"\\B\\log.bin"}) {
            HANDLE h = CreateFileW((root_ + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h == INVALID_HANDLE_VALUE) continue;
            DWORD written = 0;
            WriteFile(h, "abc", 3, &written, nullptr);
            CloseHandle(h);
        }
        SetValue(L"Root", root_);
        ok_ = true;
    }
    ~ScratchModule() {
        ClearFaults();
        if (hadRoot_)
            SetValue(L"Root", savedRoot_);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, substitute::kSettingsKey, L"Root");
        if (ok_) DeleteScratchTree(root_);
        if (mutex_) {
            ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }
    bool ok() const { return ok_; }
    const std::wstring& root() const { return root_; }

    // Call n of `operation`, counted from now, fails with `hr`.
    void FailNthCall(const wchar_t* operation, DWORD n, HRESULT hr) {
        const std::wstring path = std::wstring(substitute::kSettingsKey) + L"\\Faults\\" + operation;
        RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
        HKEY raw = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw,
                            nullptr) != ERROR_SUCCESS)
            return;
        UniqueRegKey key(raw);
        substitute::WriteDword(raw, L"Call", n);
        substitute::WriteDword(raw, L"Result", static_cast<DWORD>(hr));
        substitute::WriteDword(raw, L"Seen", 0);
    }
    void ClearFaults() {
        RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(substitute::kSettingsKey) + L"\\Faults").c_str());
    }

private:
    void SetValue(const wchar_t* name, const std::wstring& value) {
        HKEY raw = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, substitute::kSettingsKey, 0, nullptr, 0, KEY_WRITE,
                            nullptr, &raw, nullptr) != ERROR_SUCCESS)
            return;
        UniqueRegKey key(raw);
        substitute::WriteString(raw, name, value);
    }

    HANDLE mutex_ = nullptr;
    std::wstring root_;
    std::wstring savedRoot_;
    bool hadRoot_ = false;
    bool ok_ = false;
};

// New names as a user, a script or a damaged clipboard might give them.
std::wstring MutatedName(std::mt19937& rng, const std::wstring& old, const Tree& tree,
                         const std::wstring& folderPc) {
    static const wchar_t* const kPieces[] = {
        L"Notes", L"a", L"New folder", L" ", L".", L"..", L"~", L"\x00e4\x00f6\x00fc\x00df",
        L"\x65e5\x672c", L"txt", L"CON", L"nul", L"$", L"#", L"'", L"%1", L"&", L"-", L"(2)",
        L"\"", L"*", L"/", L":", L"<", L">", L"?", L"\\", L"|", L"\t", L"\xFEFF", L"\xD800",
    };
    switch (rng() % 8) {
    case 0:  // the same name in another case: nothing to do
    {
        std::wstring name = old;
        for (wchar_t& c : name) c = (rng() % 2) ? towupper(c) : towlower(c);
        return name;
    }
    case 1:  // a sibling's name: a clash
        for (const auto& entry : tree)
            if (DirectlyBelow(entry.first, folderPc) && rng() % 3 == 0)
                return entry.first.substr(folderPc.size() + 1);
        return old;
    case 2:  // long names around what the module can hold
        return std::wstring(200 + rng() % 80, static_cast<wchar_t>(L'a' + rng() % 26));
    case 3:
        return std::wstring();
    default:  // pieces, forbidden characters among them
    {
        std::wstring name;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 4); i < n; ++i)
            name += kPieces[rng() % ARRAYSIZE(kPieces)];
        if (rng() % 4 == 0) name += L"." + std::to_wstring(rng() % 1000);
        return name;
    }
    }
}

// The identifier list of a module folder from the server, level by level.
HRESULT FolderList(ModuleAccess* access, const std::wstring& modulePath, IdListHolder* list) {
    IdListHolder joined;
    HRESULT hr = GetDriveItem(modulePath.substr(0, 3).c_str(), access, joined.out());
    if (FAILED(hr)) return hr;
    for (size_t at = modulePath.find(L'\\', 1); at != std::wstring::npos;) {
        const size_t next = modulePath.find(L'\\', at + 1);
        IdListHolder level;
        hr = GetItemRecord(modulePath.substr(0, next).c_str(), access, level.out());
        if (FAILED(hr) || !level) return FAILED(hr) ? hr : E_FAIL;
        joined.reset(JoinIdLists(joined.get(), level.get()));
        if (!joined) return E_OUTOFMEMORY;
        at = next;
    }
    *list = std::move(joined);
    return S_OK;
}

struct Run {
    ScratchModule& module;
    ModuleAccess* access;
    std::mt19937& rng;
    Tree expected;
    std::map<std::wstring, std::map<HRESULT, long>> results;  // per operation
    long problems = 0;
    long round = 0;

    void Problem(const std::wstring& what) {
        if (++problems <= 20) fprintf(stderr, "round %ld: %ls\n", round, what.c_str());
    }

    void Rename(const std::wstring& folderPc, const std::wstring& oldPc, bool fault) {
        IdListHolder folderList, child;
        if (FAILED(FolderList(access, ModulePathOf(folderPc), &folderList)) ||
            FAILED(GetItemRecord(ModulePathOf(oldPc).c_str(), access, child.out())) || !child) {
            Problem(L"cannot look up " + oldPc);
            return;
        }
        ComPtr<IShellFolder> folder;
        ComPtr<IPersistFolder> persist;
        if (FAILED(CreateModuleFolderInstance(nullptr, IID_PPV_ARGS(&folder))) ||
            FAILED(folder.As(&persist)) || FAILED(persist->Initialize(folderList.get()))) {
            Problem(L"cannot bind " + folderPc);
            return;
        }
        const std::wstring oldName = oldPc.substr(folderPc.size() + 1);
        const std::wstring name = MutatedName(rng, oldName, expected, folderPc);
        if (fault) module.FailNthCall(L"ListFolder", 2, E_FAIL);  // the lookup after the rename
        LPITEMIDLIST renamed = nullptr;
        const HRESULT hr = folder->SetNameOf(nullptr, child.get(), name.c_str(), SHGDN_NORMAL, &renamed);
        IdListHolder renamedHolder(renamed);
        module.ClearFaults();
        ++results[fault ? L"SetNameOf, lookup after it failing" : L"SetNameOf"][hr];
        if (FAILED(hr) || lstrcmpiW(name.c_str(), oldName.c_str()) == 0) return;
        const std::wstring newPc = folderPc + L"\\" + name;
        if (!renamed || !IsValidItemId(renamed) || PcRelative(ItemPath(renamed)) != newPc)
            Problem(L"a rename to \"" + name + L"\" gave no identifier of that name");
        MoveSubtree(&expected, oldPc, newPc);
    }

    void NewFolder(const std::wstring& folderPc, bool fault) {
        if (fault) module.FailNthCall(L"CreateFolder", 1, E_FAIL);
        HRESULT hr = S_OK;
        const std::wstring made = CreateNewFolder(access, nullptr, ModulePathOf(folderPc).c_str(), &hr);
        module.ClearFaults();
        ++results[L"new folder"][hr];
        if (made.empty() != FAILED(hr)) Problem(L"new folder: the path and the result disagree");
        if (!made.empty()) expected[PcRelative(made)] = true;
    }

    void Delete(const std::wstring& folderPc, const std::vector<std::wstring>& children, bool fault) {
        std::vector<DeleteTarget> targets;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 2); i < n; ++i) {
            const std::wstring pc = children[rng() % children.size()];
            targets.push_back({ModulePathOf(pc), expected[pc] ? static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY) : 0u});
        }
        if (fault) module.FailNthCall(rng() % 2 ? L"DeleteFile" : L"DeleteFolder", 1, E_FAIL);
        RecordingSink sink;
        DeleteOperation operation(ModulePathOf(folderPc), targets, true, nullptr);
        operation.Run(access, &sink);
        module.ClearFaults();
        ++results[L"delete (items announced)"][static_cast<HRESULT>(sink.messages.size())];
        for (const std::wstring& message : sink.messages)
            if (message.compare(0, 2, L"D:") == 0) RemoveSubtree(&expected, PcRelative(message.substr(2)));
    }

    void Round() {
        // Renaming a folder may leave items below it deeper than a module
        // path can reach; nothing can address those any more, Explorer neither.
        auto reachable = [](const std::wstring& pc) { return pc.size() + 1 <= kMaxModulePathLength; };
        std::vector<std::wstring> folders;
        for (const auto& entry : expected)
            if (entry.second && reachable(entry.first)) folders.push_back(entry.first);
        const std::wstring folderPc = folders[rng() % folders.size()];
        std::vector<std::wstring> children;
        for (const auto& entry : expected)
            if (DirectlyBelow(entry.first, folderPc) && reachable(entry.first)) children.push_back(entry.first);

        const int kind = static_cast<int>(rng() % 10);
        const bool fault = rng() % 6 == 0;
        if (kind < 6 && !children.empty())
            Rename(folderPc, children[rng() % children.size()], fault);
        else if (kind < 8 || children.empty())
            NewFolder(folderPc, fault);
        else
            Delete(folderPc, children, fault);

        Tree served;
        ReadTree(module.root(), L"", &served);
        if (served == expected) return;
        for (const auto& entry : expected)
            if (!served.count(entry.first)) Problem(L"missing: " + entry.first);
        for (const auto& entry : served)
            if (!expected.count(entry.first)) Problem(L"unexpected: " + entry.first);
        expected = served;  // go on from what is there
    }
};

}  // namespace

int main(int argc, char** argv) {
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    const long rounds = argc > 1 ? atol(argv[1]) : 2000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(atol(argv[2])) : 19u;
    std::mt19937 rng(seed);

    OleInitialize(nullptr);
    if (FAILED(EnterComThread())) return 2;
    Answers answers;
    PromptAnswerer* previous = SetPromptAnswerer(&answers);
    int exitCode = 0;
    {
        ScratchModule module;
        ComPtr<ModuleAccess> access;
        const HRESULT created = module.ok() ? CoCreateInstance(CLSID_ModuleAccessServer, nullptr,
                                                               CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&access))
                                            : E_FAIL;
        if (FAILED(created)) {
            fprintf(stderr, "no scratch module or no substitute server (0x%08lX)\n",
                    static_cast<unsigned long>(created));
            exitCode = 2;
        } else {
            Run run{module, access.Get(), rng, Tree()};
            ReadTree(module.root(), L"", &run.expected);
            const DWORD started = GetTickCount();
            for (run.round = 0; run.round < rounds; ++run.round) run.Round();
            const DWORD elapsed = GetTickCount() - started;

            printf("module operations fuzz: %ld rounds, seed %u, %lu ms (%.1f ms per round)\n", rounds,
                   seed, elapsed, rounds ? static_cast<double>(elapsed) / rounds : 0.0);
            for (const auto& operation : run.results) {
                printf("  %ls\n", operation.first.c_str());
                for (const auto& result : operation.second)
                    printf("    0x%08lX  %ld\n", static_cast<unsigned long>(result.first), result.second);
            }
            printf("  questions answered: %ld\n", answers.asked);
            printf("  items in the tree at the end: %zu\n", run.expected.size());
            printf("  problems: %ld\n", run.problems);
            exitCode = run.problems ? 1 : 0;
        }
    }
    SetPromptAnswerer(previous);
    LeaveComThread();
    OleUninitialize();
    return exitCode;
}
