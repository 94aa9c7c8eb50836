// What the module data object delivers: the file descriptors and contents,
// the clipboard copy and the move hand-shake, and the staged PC files for
// programs that take only those.
#include "transfer/module_data_object.h"

#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "common/holders.h"
#include "common/item_time.h"
#include "common/paths.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "resources/string_ids.h"
#include "transfer/clipboard_formats.h"
#include "transfer/clipboard_thread.h"
#include "transfer/delete_operation.h"
#include "transfer/directory_data_format.h"
#include "transfer/format_enumerator.h"
#include "transfer/hdrop_format.h"
#include "transfer/hdrop_staging.h"
#include "transfer/progress_dialog.h"
#include "transfer/shell_id_list_format.h"
#include "transfer/progress_stream.h"
#include "transfer/stream_size.h"
#include "transfer/view_address_format.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr DWORD kDescriptorFlags = FD_ATTRIBUTES | FD_CREATETIME | FD_ACCESSTIME |
                                   FD_WRITESTIME | FD_FILESIZE;
static_assert(sizeof(FILEDESCRIPTORW) == 592, "descriptor record");

bool SetFileTimesAndAttributes(const std::wstring& path, LPCITEMIDLIST item) {
    FILETIME created, accessed, modified;
    const bool times = TimeToFileTime(ItemCreated(item), &created) &&
                       TimeToFileTime(ItemAccessed(item), &accessed) &&
                       TimeToFileTime(ItemModified(item), &modified);
    if (times) {
        UniqueHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (file.valid()) {
            auto given = [](const FILETIME& t) {
                return (t.dwLowDateTime | t.dwHighDateTime) ? &t : nullptr;
            };
            SetFileTime(file.get(), given(created), given(accessed), given(modified));
        }
    }
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                       FILE_ATTRIBUTE_ARCHIVE;
    const DWORD attributes = ItemAttributes(item) & kept;
    if (attributes) SetFileAttributesW(path.c_str(), attributes);
    return true;
}

}  // namespace

// --- The formats served ----------------------------------------------------

HRESULT ModuleDataObject::GetFileGroupDescriptor(STGMEDIUM* medium) {
    const SIZE_T size = sizeof(UINT) + sizeof(FILEDESCRIPTORW) * entries_.size();
    HGLOBAL block = nullptr;
    HRESULT hr = MakeGlobalBlock(nullptr, size, &block);
    if (FAILED(hr)) return hr;
    OutputDebugStringW(L"Start Desc");
    OutputDebugStringW(L"\n");
    bool missingStream = false;
    bool cancelled = false;
    {
        GlobalLocked<BYTE> locked(block);
        if (!locked) {
            GlobalFree(block);
            return E_OUTOFMEMORY;
        }
        const UINT count = static_cast<UINT>(entries_.size());
        memcpy(locked.get(), &count, sizeof(count));
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (cancel_) {
                cancelled = true;
                break;
            }
            const TransferEntry& entry = entries_[i];
            LPCITEMIDLIST item = LastItem(entry.item.get());
            FILEDESCRIPTORW record = {};
            record.dwFlags = kDescriptorFlags;
            record.dwFileAttributes = ItemAttributes(item);
            TimeToFileTime(ItemCreated(item), &record.ftCreationTime);
            TimeToFileTime(ItemAccessed(item), &record.ftLastAccessTime);
            TimeToFileTime(ItemModified(item), &record.ftLastWriteTime);
            if (!entry.skip) {
                record.nFileSizeHigh = static_cast<DWORD>(entry.size >> 32);
                record.nFileSizeLow = static_cast<DWORD>(entry.size);
                if (!entry.stream) missingStream = true;
            }
            // The module's names are far shorter; a longer one is cut, never overrun.
            const size_t chars = std::min(entry.relativeName.size(), ARRAYSIZE(record.cFileName) - 1);
            memcpy(record.cFileName, entry.relativeName.c_str(), chars * sizeof(wchar_t));
            OutputDebugStringW(record.cFileName);
            OutputDebugStringW(L"\n");
            memcpy(locked.get() + sizeof(UINT) + i * sizeof(FILEDESCRIPTORW), &record,
                   sizeof(record));
        }
    }
    if (cancelled) {
        CloseProgress();
        GlobalFree(block);
        return E_FAIL;
    }
    if (missingStream) {
        GlobalFree(block);
        return E_UNEXPECTED;
    }
    return HGlobalMedium(block, medium);
}

void ModuleDataObject::StartOutwardTransfer() {
    if (progress_) return;
    uint64_t total = 0;
    for (const TransferEntry& entry : entries_) total += entry.size;
    const bool move = (preferredEffect_ & DROPEFFECT_MOVE) || (performedEffect_ & DROPEFFECT_MOVE);
    progress_.reset(new (std::nothrow)
                        ProgressDialog(move ? ProgressMode::Move : ProgressMode::Copy, total, &cancel_));
    RefreshClipboardCopy();
}

void ModuleDataObject::CloseProgress() {
    if (!progress_) return;
    progress_->Close();
    progress_.reset();
    cancel_ = 0;
    for (TransferEntry& entry : entries_) entry.delivered = false;
}

HRESULT ModuleDataObject::ReadEntry(TransferEntry& entry, IStream* clone, BYTE* bytes, ULONG size) {
    ComPtr<IStream> source = clone;
    if (!entry.delivered) {
        HRESULT hr = CreateProgressStream(clone, progress_.get(), entry.size, &cancel_, true,
                                          source.ReleaseAndGetAddressOf());
        if (FAILED(hr)) return hr;
        if (progress_) {
            const std::wstring path = entry.ModulePath();
            progress_->SetLines(FileNamePart(path),
                                Resources().FormatString(IDS_PROGRESS_FROM_FOLDER,
                                                         {FileNamePart(ParentPath(path))}));
        }
    }
    ULONG done = 0;
    HRESULT hr = S_OK;
    while (done < size) {
        ULONG got = 0;
        hr = source->Read(bytes + done, size - done, &got);
        if (FAILED(hr) || got == 0) break;
        done += got;
    }
    if (done < size) return hr == E_OPERATION_CANCELLED ? hr : E_UNEXPECTED;
    if (!entry.delivered && progress_) progress_->Add(entry.size);
    return S_OK;
}

HRESULT ModuleDataObject::GetFileContents(LONG index, DWORD tymed, STGMEDIUM* medium) {
    TransferEntry& entry = entries_[static_cast<size_t>(index)];
    if (entry.skip || !entry.stream) return E_INVALIDARG;
    // The object may die inside the progress stream's message pumping.
    ComPtr<ModuleDataObject> self(this);
    HRESULT hr = ServeFileContents(entry, tymed, medium);
    if (FAILED(hr) && hr != E_OPERATION_CANCELLED) {
        ReportModuleError(hr, ItemName(LastItem(entry.item.get())));
        return E_FAIL;
    }
    return hr;
}

HRESULT ModuleDataObject::ServeFileContents(TransferEntry& entry, DWORD tymed, STGMEDIUM* medium) {
    uint64_t size = 0;
    HRESULT hr = StreamSize(entry.stream.Get(), &size);
    if (FAILED(hr) || size != entry.size || size > 0xFFFFFFFFull) return E_UNEXPECTED;
    UniqueHGlobal memory(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(size)));
    if (!memory) return E_OUTOFMEMORY;
    ComPtr<IStream> clone;
    if (FAILED(entry.stream->Clone(&clone)) || !clone) return E_UNEXPECTED;

    StartOutwardTransfer();
    if (cancel_) {
        // Cancelled during an earlier request.
        CloseProgress();
        return E_FAIL;
    }
    if (size == 0 && (tymed & TYMED_ISTREAM)) {
        ComPtr<IStream> handed;
        if (FAILED(clone->Clone(&handed)) || !handed) return E_UNEXPECTED;
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = handed.Detach();
        medium->pUnkForRelease = nullptr;
    } else {
        hr = ReadEntry(entry, clone.Get(), static_cast<BYTE*>(memory.get()),
                       static_cast<ULONG>(size));
        if (FAILED(hr)) return hr;
        HGlobalMedium(memory.release(), medium);
    }
    entry.delivered = true;
    bool all = true;
    for (const TransferEntry& e : entries_) all = all && (e.delivered || e.skip);
    if (all) CloseProgress();
    return S_OK;
}

// --- Refreshing the clipboard copy and the move hand-shake -----------------

bool ModuleDataObject::OnClipboard() {
    return OleIsCurrentClipboard(static_cast<IDataObject*>(this)) == S_OK;
}

void ModuleDataObject::RefreshClipboardCopy() {
    if (!OnClipboard()) return;
    std::vector<LPCITEMIDLIST> items;
    for (const IdListHolder& item : selection_) items.push_back(item.get());
    ModuleDataObject* copy = nullptr;
    HRESULT hr = Create(folderPath_, View(), items.data(), static_cast<UINT>(items.size()),
                        preferredEffect_, ViewSink(), &copy);
    if (SUCCEEDED(hr)) {
        copy->viewToken_ = viewToken_;
        copy->ownerThreadId_ = ownerThreadId_;
        copy->entries_.reserve(entries_.size());
        for (const TransferEntry& entry : entries_) {
            TransferEntry fresh;
            if (FAILED(fresh.item.Assign(entry.item.get()))) {
                hr = E_OUTOFMEMORY;
                break;
            }
            // Shared: the streams are only ever cloned, never read.
            fresh.stream = entry.stream;
            fresh.relativeName = entry.relativeName;
            fresh.size = entry.size;
            fresh.skip = entry.skip;
            copy->entries_.push_back(std::move(fresh));
        }
    }
    if (SUCCEEDED(hr) && thread_) {
        InterlockedIncrement(&thread_->live);
        copy->AttachToThread(thread_);
    }
    if (SUCCEEDED(hr)) hr = OleSetClipboard(copy);
    if (FAILED(hr)) OleSetClipboard(nullptr);
    if (SUCCEEDED(hr) && thread_) thread_->current = copy;
    if (copy) copy->Release();
}

void ModuleDataObject::FinishMoveIfDone() {
    const bool pasted = (pasteSucceeded_ & DROPEFFECT_MOVE) != 0;
    if ((pasted && (preferredEffect_ & DROPEFFECT_MOVE)) ||
        (pasted && (performedEffect_ & DROPEFFECT_MOVE)) ||
        ((performedEffect_ & DROPEFFECT_MOVE) && (logicalPerformedEffect_ & DROPEFFECT_MOVE)))
        FinishMove();
}

void ModuleDataObject::FinishMove() {
    // A drop, a paste and the view may all report the same move.
    ComPtr<ModuleDataObject> self(this);
    if (!selection_.empty()) {
        std::vector<LPCITEMIDLIST> items;
        for (const IdListHolder& item : selection_) items.push_back(item.get());
        StartDelete(folderPath_, items.data(), static_cast<UINT>(items.size()),
                    !targetIsRecycleBin_, nullptr, ViewSink());
        selection_.clear();
    }
    if (OnClipboard()) OleSetClipboard(nullptr);
}

// --- Files for programs that take only PC files ------------------------------

HRESULT ModuleDataObject::StageFiles() {
    std::unique_ptr<StagingFolder> folder;
    HRESULT hr = StagingFolder::Create(&folder);
    if (FAILED(hr)) return hr;
    StartOutwardTransfer();
    std::vector<std::wstring> paths;
    for (TransferEntry& entry : entries_) {
        if (cancel_) return E_OPERATION_CANCELLED;
        LPCITEMIDLIST item = LastItem(entry.item.get());
        if (IsDriveItem(item)) continue;   // no PC name for a whole drive
        const std::wstring target = folder->path() + L"\\" + entry.relativeName;
        if (entry.relativeName.find(L'\\') == std::wstring::npos) paths.push_back(target);
        if (entry.skip) {
            if (!CreateDirectoryW(target.c_str(), nullptr)) return HRESULT_FROM_WIN32(GetLastError());
            continue;
        }
        if (!entry.stream) return E_UNEXPECTED;
        ComPtr<IStream> clone, progress;
        if (FAILED(entry.stream->Clone(&clone)) || !clone) return E_UNEXPECTED;
        hr = CreateProgressStream(clone.Get(), progress_.get(), entry.size, &cancel_, true,
                                  &progress);
        if (FAILED(hr)) return hr;
        if (progress_)
            progress_->SetLines(entry.relativeName,
                                Resources().FormatString(IDS_PROGRESS_FROM_FOLDER,
                                                         {FileNamePart(ParentPath(
                                                             entry.ModulePath()))}));
        UniqueHandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return HRESULT_FROM_WIN32(GetLastError());
        uint64_t done = 0;
        BYTE buffer[ProgressStream::kBufferSize * 16];
        for (;;) {
            ULONG got = 0;
            hr = progress->Read(buffer, sizeof(buffer), &got);
            if (FAILED(hr)) return hr;
            if (got == 0) break;
            DWORD written = 0;
            if (!WriteFile(file.get(), buffer, got, &written, nullptr) || written != got)
                return HRESULT_FROM_WIN32(GetLastError());
            done += got;
        }
        if (done != entry.size) return E_UNEXPECTED;
        file.reset();
        if (progress_) progress_->Add(entry.size);
        SetFileTimesAndAttributes(target, item);
    }
    // Folder times last: filling a folder changes them.
    for (const TransferEntry& entry : entries_)
        if (entry.skip && !IsDriveItem(LastItem(entry.item.get())))
            SetFileTimesAndAttributes(folder->path() + L"\\" + entry.relativeName,
                                      LastItem(entry.item.get()));
    staging_ = std::move(folder);
    stagedPaths_ = std::move(paths);
    return S_OK;
}

HRESULT ModuleDataObject::EnsureStaged() {
    if (staging_) return S_OK;
    HRESULT hr = StageFiles();
    // A cancelled or failed staging leaves no folder behind (its holder went
    // with the failure); the dialog goes either way.
    CloseProgress();
    if (FAILED(hr) && hr != E_OPERATION_CANCELLED) {
        ReportModuleError(hr, L"");
        return E_FAIL;
    }
    return hr;
}

HRESULT ModuleDataObject::GetDropFiles(STGMEDIUM* medium) {
    ComPtr<ModuleDataObject> self(this);
    HRESULT hr = EnsureStaged();
    if (FAILED(hr)) return hr;
    HGLOBAL block = nullptr;
    hr = BuildDropFiles(stagedPaths_, &block);
    if (FAILED(hr)) return hr;
    return HGlobalMedium(block, medium);
}

HRESULT ModuleDataObject::GetStagedIdListArray(STGMEDIUM* medium) {
    ComPtr<ModuleDataObject> self(this);
    HRESULT hr = EnsureStaged();
    if (FAILED(hr)) return hr;
    ComPtr<IShellFolder> desktop;
    hr = SHGetDesktopFolder(&desktop);
    if (FAILED(hr)) return hr;
    // The desktop as parent and absolute items: what every reader of the
    // format understands, Wine's paste included (it takes the items alone).
    const USHORT empty = 0;
    std::vector<IdListHolder> items;
    std::vector<LPCITEMIDLIST> lists;
    for (const std::wstring& path : stagedPaths_) {
        std::wstring name = path;
        IdListHolder item;
        hr = desktop->ParseDisplayName(nullptr, nullptr, &name[0], nullptr, item.out(), nullptr);
        if (FAILED(hr)) return hr;
        items.push_back(std::move(item));
    }
    for (const IdListHolder& item : items) lists.push_back(item.get());
    HGLOBAL block = nullptr;
    hr = BuildShellIdListArray(reinterpret_cast<LPCITEMIDLIST>(&empty), lists.data(),
                               static_cast<UINT>(lists.size()), &block);
    if (FAILED(hr)) return hr;
    return HGlobalMedium(block, medium);
}

