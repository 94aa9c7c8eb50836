#include "tools/module_server/module_store.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <set>

#include "common/holders.h"
#include "module_access/module_limits.h"
#include "tools/module_server/change_hub.h"
#include "tools/module_server/file_stream.h"
#include "tools/substitute_common/server_errors.h"
#include "tools/substitute_common/settings.h"

using Microsoft::WRL::ComPtr;
using substitute::ReportFailure;

const wchar_t* const kStandardFolders[] = {L"Audio", L"Documents", L"Java", L"Pictures", L"Video"};
const size_t kStandardFolderCount = sizeof(kStandardFolders) / sizeof(kStandardFolders[0]);

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
constexpr ULONG kTransferChunk = 65536;

std::wstring Upper(const std::wstring& text) { return substitute::MetadataKey(text); }

HRESULT Win32(DWORD error, const std::wstring& description) {
    return ReportFailure(HRESULT_FROM_WIN32(error), description);
}

HRESULT LastError(const std::wstring& description) {
    DWORD error = GetLastError();
    return Win32(error ? error : ERROR_GEN_FAILURE, description);
}

std::wstring Quoted(const ModulePath& path) { return path.Text(); }

DWORD EffectiveAttributes(const substitute::ItemMetadata* meta, bool folder) {
    DWORD attributes = meta && meta->hasAttributes ? (meta->attributes & kKeptAttributes)
                                                   : (folder ? 0 : FILE_ATTRIBUTE_ARCHIVE);
    return folder ? attributes | FILE_ATTRIBUTE_DIRECTORY : attributes;
}

FILETIME FileTimeFromOleDate(double time) {
    FILETIME utc = {};
    SYSTEMTIME st;
    FILETIME local;
    if (time != 0 && VariantTimeToSystemTime(time, &st) && SystemTimeToFileTime(&st, &local))
        LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

bool IsShortChar(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || wcschr(L"!#$%&'()-@^_`{}~", c);
}

// Upper case, blanks and dots dropped, characters 8.3 names cannot hold as "_".
std::wstring ShortPart(const std::wstring& part, size_t limit) {
    std::wstring out;
    for (wchar_t c : Upper(part)) {
        if (out.size() == limit) break;
        if (c == L' ' || c == L'.') continue;
        out += IsShortChar(c) ? c : L'_';
    }
    return out;
}

bool IsShortForm(const std::wstring& upper) {
    size_t dot = upper.find(L'.');
    std::wstring base = upper.substr(0, dot);
    std::wstring ext = dot == std::wstring::npos ? std::wstring() : upper.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3 ||
        (dot != std::wstring::npos && (ext.empty() || ext.find(L'.') != std::wstring::npos)))
        return false;
    for (wchar_t c : base + ext)
        if (!IsShortChar(c)) return false;
    return true;
}

// Hands out 8.3 names in one folder the way FAT does: the name itself when
// it already fits, else BASE~n.EXT with the lowest free n.
class ShortNamer {
public:
    void Reserve(const std::wstring& shortName) { taken_.insert(Upper(shortName)); }
    std::wstring Make(const std::wstring& name) {
        std::wstring upper = Upper(name);
        if (IsShortForm(upper) && taken_.insert(upper).second) return upper;
        size_t dot = name.rfind(L'.');
        bool hasExt = dot != std::wstring::npos && dot > 0;
        std::wstring base = ShortPart(hasExt ? name.substr(0, dot) : name, 6);
        std::wstring ext = hasExt ? ShortPart(name.substr(dot + 1), 3) : std::wstring();
        if (base.empty()) base = L"_";
        std::wstring key = base + L"." + ext;
        unsigned& n = next_[key];
        for (;;) {
            ++n;
            std::wstring tail = L"~" + std::to_wstring(n);
            std::wstring candidate = base.substr(0, std::min(base.size(), 8 - std::min<size_t>(tail.size(), 7))) + tail;
            if (!ext.empty()) candidate += L"." + ext;
            if (taken_.insert(candidate).second) return candidate;
        }
    }

private:
    std::set<std::wstring> taken_;
    std::map<std::wstring, unsigned> next_;
};

bool SameRoot(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

HRESULT DeleteTree(const std::wstring& pc) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((pc + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = pc + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                HRESULT hr = DeleteTree(child);
                if (FAILED(hr)) {
                    FindClose(find);
                    return hr;
                }
                if (!RemoveDirectoryW(child.c_str())) {
                    FindClose(find);
                    return HRESULT_FROM_WIN32(GetLastError());
                }
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (!DeleteFileW(child.c_str())) {
                    FindClose(find);
                    return HRESULT_FROM_WIN32(GetLastError());
                }
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return S_OK;
}

ULONGLONG TreeBytes(const std::wstring& pc) {
    ULONGLONG total = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((pc + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            total += TreeBytes(pc + L"\\" + name);
        else
            total += (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return total;
}

// The length of the longest path below a PC folder, relative to it ("\\x\\y").
size_t LongestPathBelow(const std::wstring& pc) {
    size_t longest = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((pc + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        size_t length = 1 + name.size();
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) length += LongestPathBelow(pc + L"\\" + name);
        longest = std::max(longest, length);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return longest;
}

// A record from the PC's facts and the metadata (short name empty when the
// metadata has none).
FileRecord MakeRecord(const WIN32_FIND_DATAW& data, const substitute::ItemMetadata* meta) {
    bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    FileRecord r;
    r.name = data.cFileName;
    r.size = isFolder ? 0 : (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    r.attributes = EffectiveAttributes(meta, isFolder);
    r.created = meta && meta->created ? meta->created : substitute::OleDateFromFileTime(data.ftCreationTime);
    r.accessed = meta && meta->accessed ? meta->accessed : substitute::OleDateFromFileTime(data.ftLastAccessTime);
    r.modified = meta && meta->modified ? meta->modified : substitute::OleDateFromFileTime(data.ftLastWriteTime);
    if (meta) r.shortName = meta->shortName;
    return r;
}

// The 2-D answer; with no rows VT_EMPTY, or, when `emptyArray` is set, an
// array of no entries (what a single-item lookup of a missing item gets, so
// that callers tell "not there" from a malformed answer).
HRESULT MakeListing(const std::vector<FileRecord>& rows, VARIANT* out, bool emptyArray = false) {
    VariantInit(out);
    if (rows.empty() && !emptyArray) return S_OK;
    const ULONG n = static_cast<ULONG>(rows.size());
    SAFEARRAYBOUND bounds[2] = {{n, 0}, {7, 0}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!array) return E_OUTOFMEMORY;
    VARIANT* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
    }
    // Entry-major: element (entry i, field j) sits at i + n * j.
    for (ULONG i = 0; i < n && SUCCEEDED(hr); ++i) {
        const FileRecord& r = rows[i];
        VARIANT* v[7];
        for (ULONG j = 0; j < 7; ++j) v[j] = &data[i + n * j];
        v[0]->vt = VT_BSTR;
        v[0]->bstrVal = SysAllocStringLen(r.name.data(), static_cast<UINT>(r.name.size()));
        v[1]->vt = VT_BSTR;
        v[1]->bstrVal = SysAllocStringLen(r.shortName.data(), static_cast<UINT>(r.shortName.size()));
        if (!v[0]->bstrVal || !v[1]->bstrVal) hr = E_OUTOFMEMORY;
        v[2]->vt = VT_I4;
        v[2]->lVal = static_cast<LONG>(static_cast<DWORD>(std::min<ULONGLONG>(r.size, 0xFFFFFFFFull)));
        v[3]->vt = VT_I4;
        v[3]->lVal = static_cast<LONG>(r.attributes);
        v[4]->vt = VT_DATE;
        v[4]->date = r.created;
        v[5]->vt = VT_DATE;
        v[5]->date = r.accessed;
        v[6]->vt = VT_DATE;
        v[6]->date = r.modified;
    }
    SafeArrayUnaccessData(array);
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return S_OK;
}

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

ULONGLONG ModuleStore::UsedBytes(wchar_t drive) const { return TreeBytes(PcPath(ModulePath{drive, {}})); }

ULONGLONG ModuleStore::FreeBytes(wchar_t drive) {
    ULONGLONG capacity = Capacity(drive), used = UsedBytes(drive);
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

HRESULT ModuleStore::OpenItem(const ModulePath& path, DWORD linkSpeed, IStream** out) {
    Probe probe = Look(path);
    switch (probe.kind) {
    case Kind::MissingParent:
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(path.Parent()) + L" does not exist.");
    case Kind::Missing:
        return Win32(ERROR_FILE_NOT_FOUND, L"The file " + Quoted(path) + L" does not exist.");
    case Kind::Folder:
        return Win32(ERROR_ACCESS_DENIED, Quoted(path) + L" is a folder and cannot be opened as a file.");
    case Kind::File:
        break;
    }
    FileRecord record;
    bool found = false;
    HRESULT hr = FindRecord(path, &record, &found);
    if (FAILED(hr)) return hr;
    auto file = std::make_shared<UniqueHandle>(
        CreateFileW(PcPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file->valid()) return LastError(L"The file " + Quoted(path) + L" cannot be opened.");
    OpenedFile info;
    info.name = found ? record.name : path.Leaf();
    info.size = probe.size;
    info.created = FileTimeFromOleDate(record.created);
    info.accessed = FileTimeFromOleDate(record.accessed);
    info.modified = FileTimeFromOleDate(record.modified);
    info.linkSpeed = linkSpeed;
    info.readFaults = substitute::HasFault(L"Read");
    return CreateFileStream(file, info, out);
}

HRESULT ModuleStore::WriteItem(const ModulePath& path, IUnknown* source, DWORD attributes, DWORD linkSpeed) {
    ComPtr<ISequentialStream> stream;
    if (FAILED(source->QueryInterface(IID_ISequentialStream, reinterpret_cast<void**>(stream.GetAddressOf()))))
        return ReportFailure(E_INVALIDARG, L"The data to write is not a stream.");
    Probe probe = Look(path);
    if (probe.kind == Kind::MissingParent)
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(path.Parent()) + L" does not exist.");
    if (probe.kind == Kind::Folder)
        return Win32(ERROR_ACCESS_DENIED, L"A folder named " + Quoted(path) + L" already exists.");
    // A copy: while the source is read, other clients' calls run on this
    // thread and may change the metadata.
    const substitute::ItemMetadata* found = metadata_.Find(path.Text());
    const bool hadMetadata = found != nullptr;
    const substitute::ItemMetadata previous = found ? *found : substitute::ItemMetadata();
    const substitute::ItemMetadata* old = hadMetadata ? &previous : nullptr;
    if (probe.kind == Kind::File && (EffectiveAttributes(old, false) & FILE_ATTRIBUTE_READONLY))
        return Win32(ERROR_ACCESS_DENIED, L"The file " + Quoted(path) + L" is read-only.");

    ULONGLONG available = FreeBytes(path.drive) + (probe.kind == Kind::File ? probe.size : 0);
    std::wstring temp = root_ + L"\\~write" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                        std::to_wstring(++tempCounter_) + L".tmp";
    HRESULT hr = S_OK;
    {
        UniqueHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return LastError(L"The file " + Quoted(path) + L" cannot be created.");
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kTransferChunk]);
        if (!buffer) hr = E_OUTOFMEMORY;
        LinkPacer pacer(linkSpeed);
        ULONGLONG total = 0;
        while (SUCCEEDED(hr)) {
            ULONG got = 0;
            hr = stream->Read(buffer.get(), kTransferChunk, &got);
            if (FAILED(hr)) break;  // the source's own failure, a cancellation included
            if (got > kTransferChunk) got = kTransferChunk;
            total += got;
            if (total > available) {
                hr = Win32(ERROR_DISK_FULL, L"There is not enough free space on drive " +
                                                std::wstring(1, path.drive) + L": for " + path.Leaf() + L".");
                break;
            }
            pacer.Pace(got);
            DWORD written = 0;
            if (got && (!::WriteFile(file.get(), buffer.get(), got, &written, nullptr) || written != got)) {
                hr = LastError(L"The file " + Quoted(path) + L" cannot be written.");
                break;
            }
            if (got == 0) {
                hr = S_OK;
                break;
            }
        }
    }
    if (SUCCEEDED(hr) && !MoveFileExW(temp.c_str(), PcPath(path).c_str(), MOVEFILE_REPLACE_EXISTING))
        hr = LastError(L"The file " + Quoted(path) + L" cannot be written.");
    if (FAILED(hr)) {
        DeleteFileW(temp.c_str());
        return hr;
    }
    std::wstring shortName;
    if (old && !old->shortName.empty()) {
        shortName = old->shortName;
    } else if (FAILED(NewShortName(path.Parent(), path.Leaf(), &shortName))) {
        shortName.clear();
    }
    double now = substitute::OleDateNow();
    double created = probe.kind == Kind::File && old && old->created ? old->created : now;
    substitute::ItemMetadata& meta = metadata_.Ensure(path.Text());
    meta.shortName = shortName;
    meta.hasAttributes = true;
    meta.attributes = attributes & kKeptAttributes;
    meta.created = created;
    meta.accessed = now;
    meta.modified = now;
    hr = SaveMetadata();
    change_hub::NotifyChange(root_, path, false);
    return hr;
}

HRESULT ModuleStore::CopyItem(const ModulePath& from, const ModulePath& to) {
    Probe source = Look(from);
    if (source.kind == Kind::MissingParent)
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(from.Parent()) + L" does not exist.");
    if (source.kind == Kind::Missing)
        return Win32(ERROR_FILE_NOT_FOUND, Quoted(from) + L" does not exist.");
    if (from.SameAs(to))
        return Win32(ERROR_ALREADY_EXISTS, Quoted(from) + L" cannot be copied onto itself.");
    if (source.kind == Kind::Folder && to.IsWithin(from))
        return Win32(ERROR_INVALID_PARAMETER, L"The folder " + Quoted(from) + L" cannot be copied into itself.");
    Probe target = Look(to);
    if (target.kind == Kind::MissingParent)
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(to.Parent()) + L" does not exist.");
    if (target.kind == Kind::Folder || (target.kind == Kind::File && source.kind == Kind::Folder))
        return Win32(ERROR_ALREADY_EXISTS, Quoted(to) + L" already exists.");
    substitute::ItemMetadata* targetMeta = metadata_.Find(to.Text());
    if (target.kind == Kind::File && (EffectiveAttributes(targetMeta, false) & FILE_ATTRIBUTE_READONLY))
        return Win32(ERROR_ACCESS_DENIED, L"The file " + Quoted(to) + L" is read-only.");

    ULONGLONG needed = source.kind == Kind::Folder ? TreeBytes(PcPath(from)) : source.size;
    ULONGLONG available = FreeBytes(to.drive) + (target.kind == Kind::File ? target.size : 0);
    if (needed > available)
        return Win32(ERROR_DISK_FULL, L"There is not enough free space on drive " + std::wstring(1, to.drive) +
                                          L": for " + from.Leaf() + L".");

    std::wstring keptShortName = targetMeta ? targetMeta->shortName : std::wstring();
    std::wstring shortName;
    if (!keptShortName.empty())
        shortName = keptShortName;
    else if (FAILED(NewShortName(to.Parent(), to.Leaf(), &shortName)))
        shortName.clear();
    double now = substitute::OleDateNow();

    // Copies one level: records of the source folder give attributes, short
    // names and times to the copies.
    struct Copier {
        ModuleStore* store;
        double now;
        HRESULT Copy(const ModulePath& src, const ModulePath& dst, const FileRecord& record) {
            bool folder = (record.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            std::wstring srcPc = store->PcPath(src), dstPc = store->PcPath(dst);
            if (folder) {
                if (!CreateDirectoryW(dstPc.c_str(), nullptr))
                    return LastError(L"The folder " + dst.Text() + L" cannot be created.");
            } else if (!CopyFileW(srcPc.c_str(), dstPc.c_str(), FALSE)) {
                return LastError(src.Text() + L" cannot be copied.");
            }
            substitute::ItemMetadata& meta = store->metadata_.Ensure(dst.Text());
            meta.hasAttributes = true;
            meta.attributes = record.attributes & kKeptAttributes;
            meta.created = now;
            meta.accessed = now;
            meta.modified = folder ? now : record.modified;
            if (!folder) return S_OK;
            std::vector<FileRecord> children;
            HRESULT hr = store->ReadFolder(src, &children);
            for (size_t i = 0; SUCCEEDED(hr) && i < children.size(); ++i) {
                store->metadata_.Ensure(dst.Child(children[i].name).Text()).shortName = children[i].shortName;
                hr = Copy(src.Child(children[i].name), dst.Child(children[i].name), children[i]);
            }
            return hr;
        }
    } copier{this, now};

    FileRecord record;
    bool found = false;
    HRESULT hr = FindRecord(from, &record, &found);
    if (FAILED(hr)) return hr;
    hr = copier.Copy(from, to, record);
    if (FAILED(hr)) {
        // Leave no half copy behind.
        if (source.kind == Kind::Folder) {
            DeleteTree(PcPath(to));
            RemoveDirectoryW(PcPath(to).c_str());
            metadata_.RemoveTree(to.Text());
        }
        Invalidate();
        return hr;
    }
    metadata_.Ensure(to.Text()).shortName = shortName;
    hr = SaveMetadata();
    change_hub::NotifyChange(root_, to, false);
    return hr;
}

HRESULT ModuleStore::CreateFolder(const ModulePath& path) {
    Probe probe = Look(path);
    if (probe.kind == Kind::MissingParent)
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(path.Parent()) + L" does not exist.");
    if (probe.kind != Kind::Missing)
        return Win32(ERROR_ALREADY_EXISTS, L"An item named " + Quoted(path) + L" already exists.");
    std::wstring shortName;
    HRESULT hr = NewShortName(path.Parent(), path.Leaf(), &shortName);
    if (FAILED(hr)) return hr;
    if (!CreateDirectoryW(PcPath(path).c_str(), nullptr))
        return LastError(L"The folder " + Quoted(path) + L" cannot be created.");
    double now = substitute::OleDateNow();
    substitute::ItemMetadata& meta = metadata_.Ensure(path.Text());
    meta.shortName = shortName;
    meta.hasAttributes = true;
    meta.attributes = 0;
    meta.created = meta.accessed = meta.modified = now;
    hr = SaveMetadata();
    change_hub::NotifyChange(root_, path, false);
    return hr;
}

HRESULT ModuleStore::CreateStandardFolders(const ModulePath& drive) {
    HRESULT hr = RequireDrive(drive);
    if (FAILED(hr)) return hr;
    for (size_t i = 0; i < kStandardFolderCount; ++i) {
        ModulePath folder = ModulePath{drive.drive, {}}.Child(kStandardFolders[i]);
        Probe probe = Look(folder);
        if (probe.kind == Kind::Folder) continue;
        if (probe.kind == Kind::File)
            return Win32(ERROR_ALREADY_EXISTS, L"A file named " + Quoted(folder) +
                                                   L" is in the way of a standard folder.");
        hr = CreateFolder(folder);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT ModuleStore::RemoveFile(const ModulePath& path) {
    Probe probe = Look(path);
    switch (probe.kind) {
    case Kind::MissingParent:
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(path.Parent()) + L" does not exist.");
    case Kind::Missing:
        return Win32(ERROR_FILE_NOT_FOUND, L"The file " + Quoted(path) + L" does not exist.");
    case Kind::Folder:
        return Win32(ERROR_ACCESS_DENIED, Quoted(path) + L" is a folder, not a file.");
    case Kind::File:
        break;
    }
    if (EffectiveAttributes(metadata_.Find(path.Text()), false) & FILE_ATTRIBUTE_READONLY)
        return Win32(ERROR_ACCESS_DENIED, L"The file " + Quoted(path) + L" is read-only and cannot be deleted.");
    if (!DeleteFileW(PcPath(path).c_str())) return LastError(L"The file " + Quoted(path) + L" cannot be deleted.");
    metadata_.Remove(path.Text());
    HRESULT hr = SaveMetadata();
    change_hub::NotifyChange(root_, path, true);
    return hr;
}

HRESULT ModuleStore::RemoveFolder(const ModulePath& path) {
    Probe probe = Look(path);
    switch (probe.kind) {
    case Kind::MissingParent:
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(path.Parent()) + L" does not exist.");
    case Kind::Missing:
        return Win32(ERROR_FILE_NOT_FOUND, L"The folder " + Quoted(path) + L" does not exist.");
    case Kind::File:
        return Win32(ERROR_DIRECTORY, Quoted(path) + L" is a file, not a folder.");
    case Kind::Folder:
        break;
    }
    if (EffectiveAttributes(metadata_.Find(path.Text()), true) & FILE_ATTRIBUTE_READONLY)
        return Win32(ERROR_ACCESS_DENIED, L"The folder " + Quoted(path) + L" is read-only and cannot be deleted.");
    if (!RemoveDirectoryW(PcPath(path).c_str())) {
        DWORD error = GetLastError();
        if (error == ERROR_DIR_NOT_EMPTY)
            return Win32(error, L"The folder " + Quoted(path) + L" is not empty.");
        return Win32(error, L"The folder " + Quoted(path) + L" cannot be deleted.");
    }
    metadata_.RemoveTree(path.Text());
    HRESULT hr = SaveMetadata();
    change_hub::NotifyChange(root_, path, true);
    return hr;
}

HRESULT ModuleStore::Format(const ModulePath& drive) {
    HRESULT hr = RequireDrive(drive);
    if (FAILED(hr)) return hr;
    ModulePath drivePath{drive.drive, {}};
    hr = DeleteTree(PcPath(drivePath));
    // Whatever was erased is gone from the metadata too, even after a failure.
    metadata_.RemoveTree(drivePath.Text());
    HRESULT saved = SaveMetadata();
    change_hub::NotifyChange(root_, drivePath, false);
    if (FAILED(hr))
        return ReportFailure(hr, L"The flash file system of drive " + drivePath.Leaf() + L" could not be erased.");
    return saved;
}

HRESULT ModuleStore::GetDiskSpace(const ModulePath& drive, DWORD* capacity, DWORD* freeBytes) {
    HRESULT hr = RequireDrive(drive);
    if (FAILED(hr)) return hr;
    *capacity = Capacity(drive.drive);
    *freeBytes = static_cast<DWORD>(std::min<ULONGLONG>(FreeBytes(drive.drive), 0xFFFFFFFFull));
    return S_OK;
}

HRESULT ModuleStore::GetLabel(const ModulePath& drive, std::wstring* label) {
    HRESULT hr = RequireDrive(drive);
    if (FAILED(hr)) return hr;
    const substitute::DriveMetadata* meta = metadata_.FindDrive(drive.drive);
    *label = meta ? meta->label : std::wstring();
    return S_OK;
}

HRESULT ModuleStore::SetLabel(const ModulePath& drive, const std::wstring& label) {
    HRESULT hr = RequireDrive(drive);
    if (FAILED(hr)) return hr;
    if (label.size() > 11)
        return Win32(ERROR_LABEL_TOO_LONG, L"The label " + label + L" is longer than 11 characters.");
    for (wchar_t c : label)
        if (c < 32 || wcschr(L"*?/\\|.,;:+=[]<>\"", c))
            return Win32(ERROR_INVALID_NAME, L"The label " + label + L" contains characters a label cannot hold.");
    metadata_.Drive(drive.drive).label = label;
    hr = SaveMetadata();
    change_hub::NotifyChange(root_, ModulePath{drive.drive, {}}, false);
    return hr;
}

HRESULT ModuleStore::Rename(const ModulePath& from, const ModulePath& to, bool folder) {
    Probe source = Look(from);
    if (source.kind == Kind::MissingParent)
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(from.Parent()) + L" does not exist.");
    if (source.kind == Kind::Missing)
        return Win32(ERROR_FILE_NOT_FOUND, Quoted(from) + L" does not exist.");
    if (folder && source.kind != Kind::Folder)
        return Win32(ERROR_DIRECTORY, Quoted(from) + L" is a file, not a folder.");
    if (!folder && source.kind != Kind::File)
        return Win32(ERROR_ACCESS_DENIED, Quoted(from) + L" is a folder, not a file.");
    if (from.drive != to.drive)
        return Win32(ERROR_NOT_SAME_DEVICE, Quoted(from) + L" cannot be moved to another drive by renaming.");
    bool sameItem = from.SameAs(to);
    if (folder && !sameItem && to.IsWithin(from))
        return Win32(ERROR_INVALID_PARAMETER, L"The folder " + Quoted(from) + L" cannot be moved into itself.");
    Probe target = Look(to);
    if (target.kind == Kind::MissingParent)
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(to.Parent()) + L" does not exist.");
    if (target.kind != Kind::Missing && !sameItem)
        return Win32(ERROR_ALREADY_EXISTS, L"An item named " + Quoted(to) + L" already exists.");
    // The items below a renamed folder move with it: none may end up deeper
    // than a module path reaches.
    if (folder && to.Text().size() + LongestPathBelow(PcPath(from)) > kMaxModulePathLength)
        return Win32(ERROR_FILENAME_EXCED_RANGE, L"Items in " + Quoted(from) + L" would get paths longer than the module can hold.");

    std::wstring shortName;
    HRESULT hr = NewShortName(to.Parent(), to.Leaf(), &shortName);
    if (FAILED(hr)) return hr;
    FileRecord record;
    bool found = false;
    hr = FindRecord(from, &record, &found);
    if (FAILED(hr)) return hr;
    if (sameItem) {
        // Only the case changes: the PC side may treat both names as one, so
        // go through a name of our own.
        std::wstring step = root_ + L"\\~rename" + std::to_wstring(++tempCounter_);
        if (!MoveFileExW(PcPath(from).c_str(), step.c_str(), 0))
            return LastError(Quoted(from) + L" cannot be renamed.");
        if (!MoveFileExW(step.c_str(), PcPath(to).c_str(), 0)) {
            HRESULT failed = LastError(Quoted(from) + L" cannot be renamed.");
            MoveFileExW(step.c_str(), PcPath(from).c_str(), 0);
            return failed;
        }
    } else if (!MoveFileExW(PcPath(from).c_str(), PcPath(to).c_str(), 0)) {
        return LastError(Quoted(from) + L" cannot be renamed.");
    }
    // The item keeps everything but its names.
    metadata_.MoveTree(from.Text(), to.Text());
    substitute::ItemMetadata& meta = metadata_.Ensure(to.Text());
    meta.shortName = sameItem && found ? record.shortName : shortName;
    if (!meta.hasAttributes) {
        meta.hasAttributes = true;
        meta.attributes = record.attributes & kKeptAttributes;
    }
    if (!meta.created) meta.created = record.created;
    if (!meta.accessed) meta.accessed = record.accessed;
    if (!meta.modified) meta.modified = record.modified;
    hr = SaveMetadata();
    change_hub::NotifyChange(root_, from, true);
    change_hub::NotifyChange(root_, to, false);
    return hr;
}

HRESULT ModuleStore::SetAttributes(const ModulePath& path, DWORD attributes) {
    Probe probe = Look(path);
    if (probe.kind == Kind::MissingParent)
        return Win32(ERROR_PATH_NOT_FOUND, L"The folder " + Quoted(path.Parent()) + L" does not exist.");
    if (probe.kind == Kind::Missing)
        return Win32(ERROR_FILE_NOT_FOUND, Quoted(path) + L" does not exist.");
    substitute::ItemMetadata& meta = metadata_.Ensure(path.Text());
    meta.hasAttributes = true;
    // FILE_ATTRIBUTE_NORMAL (0x80) brings no bits of its own: it clears them all.
    meta.attributes = attributes & kKeptAttributes;
    HRESULT hr = SaveMetadata();
    change_hub::NotifyChange(root_, path, false);
    return hr;
}
