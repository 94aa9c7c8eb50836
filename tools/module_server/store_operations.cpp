// The store's changes: reading and writing files, copies, folders, drives,
// renames and attributes.
#include "tools/module_server/module_store.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <memory>
#include <new>

#include "common/holders.h"
#include "module_access/module_limits.h"
#include "tools/module_server/change_hub.h"
#include "tools/module_server/file_stream.h"
#include "tools/module_server/pc_tree.h"
#include "tools/module_server/store_support.h"
#include "tools/substitute_common/settings.h"

using Microsoft::WRL::ComPtr;
using substitute::ReportFailure;
using namespace store;

namespace {

// Every read of the writer's stream is a call back into the client, so with
// nothing to pace the bytes come in few large pieces. No piece asks for more
// than 256 KiB: a marshalled Read costs by the size asked for, not by the
// size that comes back, and small files would pay for the largest piece.
// Through a slow link a piece stays near a twentieth of a second, so that the
// next one is fetched while the one before is still on the wire.
constexpr ULONG kLargestChunk = 256u << 10;
constexpr ULONG kSmallestChunk = 4096;

ULONG ChunkFor(DWORD linkSpeed) {
    if (linkSpeed == 0) return kLargestChunk;
    ULONG chunk = (linkSpeed / 20) & ~(kSmallestChunk - 1);
    return std::min(std::max(chunk, kSmallestChunk), kLargestChunk);
}

FILETIME FileTimeFromOleDate(double time) {
    FILETIME utc = {};
    SYSTEMTIME st;
    FILETIME local;
    if (time != 0 && VariantTimeToSystemTime(time, &st) && SystemTimeToFileTime(&st, &local))
        LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

}  // namespace

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
    TreeChange change(usage_);
    // Counting the drive's bytes walks its tree: unless a count is known, the
    // walk runs while this thread waits on the client for the stream and its
    // first piece.
    ULONGLONG knownUsed = 0;
    const bool known = usage_.Known(path.drive, &knownUsed);
    TreeBytesCount used(known ? std::wstring() : PcPath(ModulePath{path.drive, {}}));
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

    bool counted = false;
    ULONGLONG available = 0;
    std::wstring shortName;
    std::wstring temp = root_ + L"\\~write" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                        std::to_wstring(++tempCounter_) + L".tmp";
    HRESULT hr = S_OK;
    {
        UniqueHandle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return LastError(L"The file " + Quoted(path) + L" cannot be created.");
        const ULONG chunk = ChunkFor(linkSpeed);
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[chunk]);
        if (!buffer) hr = E_OUTOFMEMORY;
        LinkPacer pacer(linkSpeed);
        ULONGLONG total = 0;
        while (SUCCEEDED(hr)) {
            ULONG got = 0;
            hr = stream->Read(buffer.get(), chunk, &got);
            if (FAILED(hr)) break;  // the source's own failure, a cancellation included
            if (got > chunk) got = chunk;
            total += got;
            pacer.Send(got);
            if (!counted) {
                available = FreeBytes(path.drive, known ? knownUsed : used.Total()) +
                            (probe.kind == Kind::File ? probe.size : 0);
                counted = true;
            }
            if (total > available) {
                hr = Win32(ERROR_DISK_FULL, L"There is not enough free space on drive " +
                                                std::wstring(1, path.drive) + L": for " + path.Leaf() + L".");
                break;
            }
            DWORD written = 0;
            if (got && (!::WriteFile(file.get(), buffer.get(), got, &written, nullptr) || written != got)) {
                hr = LastError(L"The file " + Quoted(path) + L" cannot be written.");
                break;
            }
            // Fewer bytes than asked for: the stream has ended, and no
            // further call back is needed to learn that.
            if (got < chunk) {
                hr = S_OK;
                break;
            }
        }
        if (SUCCEEDED(hr)) {
            // No more calls back into the client: the folder stays as it is
            // while the last bytes go through the link.
            if (old && !old->shortName.empty()) {
                shortName = old->shortName;
            } else if (FAILED(NewShortName(path.Parent(), path.Leaf(), &shortName))) {
                shortName.clear();
            }
            // The file is complete only when its last bytes are through the link.
            pacer.Drain();
        }
    }
    if (SUCCEEDED(hr) && !MoveFileExW(temp.c_str(), PcPath(path).c_str(), MOVEFILE_REPLACE_EXISTING))
        hr = LastError(L"The file " + Quoted(path) + L" cannot be written.");
    if (FAILED(hr)) {
        DeleteFileW(temp.c_str());
        return hr;
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
    TreeChange change(usage_);
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
    TreeChange change(usage_);
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
    TreeChange change(usage_);
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
    TreeChange change(usage_);
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
    TreeChange change(usage_);
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
