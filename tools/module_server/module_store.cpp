// The store's reading side: the PC tree and its metadata, records and
// listings.
#include "tools/module_server/module_store.h"

#include <oleauto.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <new>

#include "tools/module_server/listing_encoder.h"
#include "tools/module_server/pc_tree.h"
#include "tools/module_server/short_names.h"
#include "tools/module_server/store_support.h"
#include "tools/substitute_common/settings.h"

using substitute::ReportFailure;
using namespace store;

const wchar_t* const kStandardFolders[] = {L"Audio", L"Documents", L"Java", L"Pictures", L"Video"};
const size_t kStandardFolderCount = sizeof(kStandardFolders) / sizeof(kStandardFolders[0]);

namespace {

bool ContainsWildcard(const std::wstring& text) { return text.find_first_of(L"*?") != std::wstring::npos; }

bool IsValidPattern(const std::wstring& pattern) {
    if (pattern.empty()) return false;
    for (wchar_t c : pattern)
        if (c < 32 || wcschr(L"<>:\"/\\|", c)) return false;
    return true;
}

}  // namespace

ModuleStore* StoreForRoot(const std::wstring& root) {
    static std::vector<std::unique_ptr<ModuleStore>> stores;
    for (auto& store : stores)
        if (SameRoot(store->root(), root)) return store.get();
    std::unique_ptr<ModuleStore> store(new (std::nothrow) ModuleStore(root));
    if (!store) return nullptr;
    stores.push_back(std::move(store));
    return stores.back().get();
}

std::wstring ModuleStore::PcPath(const ModulePath& path) const {
    std::wstring pc = root_;
    if (path.IsTop()) return pc;
    pc += L"\\";
    pc += path.drive;
    for (const std::wstring& name : path.names) pc += L"\\" + name;
    return pc;
}

std::wstring ModuleStore::MetadataFile() const { return root_ + L"\\" + substitute::kMetadataFileName; }

HRESULT ModuleStore::Open() {
    DWORD attributes = GetFileAttributesW(root_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ReportFailure(static_cast<HRESULT>(0x8004B001L),
                             L"There is no connection to the module (its folder " + root_ +
                                 L" cannot be found).");
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    bool exists = GetFileAttributesExW(MetadataFile().c_str(), GetFileExInfoStandard, &data) != FALSE;
    ULONGLONG size = exists ? (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow : 0;
    if (stampValid_ && CompareFileTime(&data.ftLastWriteTime, &stampTime_) == 0 && size == stampSize_)
        return S_OK;
    usage_.Forget();
    HRESULT hr = metadata_.Load(MetadataFile());
    if (FAILED(hr)) return ReportFailure(hr, L"The module's file system information cannot be read.");
    // A checkout cannot hold empty folders: the metadata names them.
    for (const auto& entry : metadata_.items()) {
        const substitute::ItemMetadata& item = entry.second;
        ModulePath path;
        if (item.hasAttributes && (item.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
            ParseModulePath(item.path, false, &path) && path.IsItem() && Look(path).kind == Kind::Missing)
            CreateDirectoryW(PcPath(path).c_str(), nullptr);
    }
    stampValid_ = true;
    stampTime_ = data.ftLastWriteTime;
    stampSize_ = size;
    return S_OK;
}

HRESULT ModuleStore::SaveMetadata() {
    HRESULT hr = metadata_.Save(MetadataFile());
    if (FAILED(hr)) return ReportFailure(hr, L"The module's file system information cannot be written.");
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExW(MetadataFile().c_str(), GetFileExInfoStandard, &data)) {
        stampValid_ = true;
        stampTime_ = data.ftLastWriteTime;
        stampSize_ = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } else {
        stampValid_ = false;
    }
    return S_OK;
}

ModuleStore::Probe ModuleStore::Look(const ModulePath& path) const {
    Probe probe;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (GetFileAttributesExW(PcPath(path).c_str(), GetFileExInfoStandard, &data)) {
        bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // A file at the top level is not a drive.
        if (path.IsDrive() && !folder) {
            probe.kind = Kind::Missing;
            return probe;
        }
        probe.kind = folder ? Kind::Folder : Kind::File;
        probe.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return probe;
    }
    if (path.IsDrive() || path.IsTop()) {
        probe.kind = Kind::Missing;
        return probe;
    }
    // One look at the parent, not a walk up every missing level: a deep
    // missing path must cost no more than a shallow one.
    const DWORD parent = GetFileAttributesW(PcPath(path.Parent()).c_str());
    const bool parentIsFolder = parent != INVALID_FILE_ATTRIBUTES && (parent & FILE_ATTRIBUTE_DIRECTORY);
    probe.kind = parentIsFolder ? Kind::Missing : Kind::MissingParent;
    return probe;
}

HRESULT ModuleStore::RequireDrive(const ModulePath& drive) const {
    if (Look(ModulePath{drive.drive, {}}).kind != Kind::Folder)
        return Win32(ERROR_INVALID_DRIVE, L"The module has no drive " + std::wstring(1, drive.drive) + L":.");
    return S_OK;
}

HRESULT ModuleStore::ReadDrives(std::vector<FileRecord>* out) {
    out->clear();
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        if (Look(ModulePath{letter, {}}).kind != Kind::Folder) continue;
        FileRecord r;
        r.name = std::wstring(1, letter) + L":";
        r.shortName = r.name;
        r.size = Capacity(letter);
        // A drive's record carries its free bytes where a file has its time.
        r.modified = static_cast<double>(FreeBytes(letter));
        r.attributes = FILE_ATTRIBUTE_DIRECTORY;
        out->push_back(r);
    }
    return S_OK;
}

HRESULT ModuleStore::ReadFolder(const ModulePath& folder, std::vector<FileRecord>* out) {
    out->clear();
    if (folder.IsTop()) return ReadDrives(out);
    std::wstring pc = PcPath(folder);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((pc + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) return S_OK;
        return Win32(error == ERROR_DIRECTORY ? ERROR_PATH_NOT_FOUND : error,
                     L"The folder " + Quoted(folder) + L" cannot be read.");
    }
    std::vector<const substitute::ItemMetadata*> metas;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        out->push_back(MakeRecord(data, metadata_.Find(folder.Child(name).Text())));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(out->begin(), out->end(),
              [](const FileRecord& a, const FileRecord& b) { return CompareNames(a.name, b.name) < 0; });
    ShortNamer namer;
    for (const FileRecord& r : *out)
        if (!r.shortName.empty()) namer.Reserve(r.shortName);
    for (FileRecord& r : *out)
        if (r.shortName.empty()) r.shortName = namer.Make(r.name);
    return S_OK;
}

HRESULT ModuleStore::FindRecord(const ModulePath& path, FileRecord* out, bool* found) {
    *found = false;
    if (path.IsItem()) {
        // One entry of the PC folder; the whole folder is read only when a
        // short name has to be made up among its neighbours.
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW(PcPath(path).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return S_OK;
        FindClose(find);
        *out = MakeRecord(data, metadata_.Find(path.Text()));
        if (!out->shortName.empty()) {
            *found = true;
            return S_OK;
        }
    }
    std::vector<FileRecord> rows;
    HRESULT hr = ReadFolder(path.Parent(), &rows);
    if (FAILED(hr)) return hr;
    std::wstring leaf = path.Leaf();
    for (FileRecord& r : rows) {
        if (SameName(r.name, leaf)) {
            *out = r;
            *found = true;
            break;
        }
    }
    return S_OK;
}

HRESULT ModuleStore::NewShortName(const ModulePath& folder, const std::wstring& name, std::wstring* out) {
    std::vector<FileRecord> rows;
    HRESULT hr = ReadFolder(folder, &rows);
    if (FAILED(hr)) return hr;
    ShortNamer namer;
    for (const FileRecord& r : rows)
        if (!SameName(r.name, name)) namer.Reserve(r.shortName);
    *out = namer.Make(name);
    return S_OK;
}

DWORD ModuleStore::Capacity(wchar_t drive) {
    DWORD capacity = 0;
    if (substitute::ReadCapacityOverride(drive, &capacity)) return capacity;
    const substitute::DriveMetadata* meta = metadata_.FindDrive(drive);
    return meta && meta->hasCapacity ? meta->capacity : substitute::kDefaultCapacity;
}

ULONGLONG ModuleStore::UsedBytes(wchar_t drive) { return usage_.Used(drive, PcPath(ModulePath{drive, {}})); }

ULONGLONG ModuleStore::FreeBytes(wchar_t drive) { return FreeBytes(drive, UsedBytes(drive)); }

ULONGLONG ModuleStore::FreeBytes(wchar_t drive, ULONGLONG used) {
    ULONGLONG capacity = Capacity(drive);
    return capacity > used ? capacity - used : 0;
}

HRESULT ModuleStore::List(const std::wstring& request, bool foldersOnly, VARIANT* out) {
    VariantInit(out);
    std::wstring folderText = request, pattern;
    size_t slash = request.rfind(L'\\');
    std::wstring last = slash == std::wstring::npos ? request : request.substr(slash + 1);
    bool patternMode = ContainsWildcard(last) || request == L"\\";
    if (patternMode && request != L"\\") {
        folderText = request.substr(0, slash == std::wstring::npos ? 0 : slash);
        pattern = last;
        if (!IsValidPattern(pattern) || ContainsWildcard(folderText))
            return ReportFailure(E_INVALIDARG, L"The listing request " + request + L" is not valid.");
    } else if (patternMode) {
        folderText.clear();
        pattern = L"*";
    }
    ModulePath path;
    if (!ParseModulePath(folderText, patternMode, &path))
        return ReportFailure(E_INVALIDARG, L"The listing request " + request + L" is not valid.");

    std::vector<FileRecord> rows, chosen;
    if (patternMode) {
        if (!path.IsTop()) {
            Probe probe = Look(path);
            if (probe.kind != Kind::Folder) {
                if (path.IsDrive()) return RequireDrive(path);
                return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(path) + L" does not exist.");
            }
        }
        HRESULT hr = ReadFolder(path, &rows);
        if (FAILED(hr)) return hr;
        for (FileRecord& r : rows) {
            if (foldersOnly && !(r.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            if (MatchesPattern(pattern, r.name) || MatchesPattern(pattern, r.shortName))
                chosen.push_back(std::move(r));
        }
    } else {
        // One item's own record; a missing item (or parent) is an empty answer.
        if (Look(path.Parent()).kind == Kind::Folder || path.Parent().IsTop()) {
            FileRecord r;
            bool found = false;
            HRESULT hr = FindRecord(path, &r, &found);
            if (FAILED(hr)) return hr;
            if (found && (!foldersOnly || (r.attributes & FILE_ATTRIBUTE_DIRECTORY))) chosen.push_back(r);
        }
        return MakeListing(chosen, out, true);
    }
    return MakeListing(chosen, out);
}
