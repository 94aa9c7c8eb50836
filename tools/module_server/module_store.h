// The module as a PC directory tree: <root>\A, <root>\B, ... are the drives,
// everything below maps one to one, and what the PC cannot hold (attributes,
// short names, labels, capacities) lives in the metadata file beside them.
// Every operation answers as a device would: a failure code with an error
// description, never a partial change.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <objidl.h>

#include <string>
#include <vector>

#include "tools/module_server/drive_usage.h"
#include "tools/module_server/module_path.h"
#include "tools/substitute_common/module_metadata.h"

struct FileRecord {
    std::wstring name;
    std::wstring shortName;
    ULONGLONG size = 0;
    DWORD attributes = 0;
    double created = 0, accessed = 0, modified = 0;
};

class ModuleStore {
public:
    explicit ModuleStore(std::wstring root) : root_(std::move(root)) {}
    const std::wstring& root() const { return root_; }

    // Checks that the tree is there and picks up metadata changed behind the
    // server's back (a test copying a fresh tree, an editor).
    HRESULT Open();
    void Invalidate() {
        stampValid_ = false;
        usage_.Forget();
    }

    HRESULT List(const std::wstring& request, bool foldersOnly, VARIANT* out);
    HRESULT OpenItem(const ModulePath& path, DWORD linkSpeed, IStream** out);
    HRESULT WriteItem(const ModulePath& path, IUnknown* source, DWORD attributes, DWORD linkSpeed);
    HRESULT CopyItem(const ModulePath& from, const ModulePath& to);
    HRESULT CreateFolder(const ModulePath& path);
    HRESULT CreateStandardFolders(const ModulePath& drive);
    HRESULT RemoveFile(const ModulePath& path);
    HRESULT RemoveFolder(const ModulePath& path);
    HRESULT Format(const ModulePath& drive);
    HRESULT GetDiskSpace(const ModulePath& drive, DWORD* capacity, DWORD* freeBytes);
    HRESULT GetLabel(const ModulePath& drive, std::wstring* label);
    HRESULT SetLabel(const ModulePath& drive, const std::wstring& label);
    HRESULT Rename(const ModulePath& from, const ModulePath& to, bool folder);
    HRESULT SetAttributes(const ModulePath& path, DWORD attributes);

private:
    enum class Kind { MissingParent, Missing, File, Folder };
    struct Probe {
        Kind kind = Kind::Missing;
        ULONGLONG size = 0;
    };

    std::wstring PcPath(const ModulePath& path) const;
    std::wstring MetadataFile() const;
    Probe Look(const ModulePath& path) const;
    HRESULT RequireDrive(const ModulePath& drive) const;
    HRESULT ReadFolder(const ModulePath& folder, std::vector<FileRecord>* out);
    HRESULT ReadDrives(std::vector<FileRecord>* out);
    HRESULT FindRecord(const ModulePath& path, FileRecord* out, bool* found);
    // A short name for a new `name` in `folder`, unique among its entries.
    HRESULT NewShortName(const ModulePath& folder, const std::wstring& name, std::wstring* out);
    DWORD Capacity(wchar_t drive);
    ULONGLONG UsedBytes(wchar_t drive);
    ULONGLONG FreeBytes(wchar_t drive);
    ULONGLONG FreeBytes(wchar_t drive, ULONGLONG used);
    HRESULT SaveMetadata();

    std::wstring root_;
    store::DriveUsage usage_;
    substitute::ModuleMetadata metadata_;
    bool stampValid_ = false;
    FILETIME stampTime_ = {};
    ULONGLONG stampSize_ = 0;
    unsigned tempCounter_ = 0;
};

// The store of the tree at `root`, kept for the server's lifetime.
ModuleStore* StoreForRoot(const std::wstring& root);

// The standard folders that CreateStandardFolders makes on a drive.
extern const wchar_t* const kStandardFolders[];
extern const size_t kStandardFolderCount;
