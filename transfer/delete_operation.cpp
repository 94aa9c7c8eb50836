#include "transfer/delete_operation.h"

#include <mmsystem.h>
#include <wrl/client.h>

#include "common/holders.h"
#include "common/module_thread.h"
#include "common/paths.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/com_thread.h"
#include "module_access/listing.h"
#include "module_access/module_access.h"
#include "module_access/module_errors.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "transfer/delete_confirmation.h"
#include "transfer/progress_dialog.h"

using Microsoft::WRL::ComPtr;

namespace {

// The direct contents of a folder; false when it cannot be listed.
bool ListContents(ModuleAccess* server, const std::wstring& folder,
                  std::vector<DeleteTarget>* contents) {
    std::vector<IdListHolder> items;
    if (FAILED(ListItems(folder.c_str(), &items, server, false))) return false;
    for (const IdListHolder& item : items)
        contents->push_back({ItemPath(item.get()), ItemAttributes(item.get())});
    return true;
}

// Files and folders below `folder`, at every depth.
uint64_t CountBelow(ModuleAccess* server, const std::wstring& folder) {
    ItemArray items;
    if (FAILED(ListItemsEx(folder.c_str(), L"*", &items, server, false, true))) return 0;
    return items.count();
}

}  // namespace

DeleteClassification ClassifySelection(const std::vector<DeleteTarget>& targets) {
    DeleteClassification selection;
    for (size_t i = 0; i < targets.size(); ++i) {
        selection.last = i;
        if (targets[i].IsFolder())
            ++selection.folders;
        else
            ++selection.files;
        if (selection.folders > 1 || selection.files > 1 ||
            (selection.folders == 1 && selection.files == 1))
            break;
    }
    return selection;
}

DeleteOperation::DeleteOperation(std::wstring folderPath, std::vector<DeleteTarget> targets,
                                 bool silent, HWND owner)
    : folderPath_(std::move(folderPath)),
      targets_(std::move(targets)),
      silent_(silent),
      owner_(silent ? nullptr : owner),
      confirmReadOnly_(!silent) {}

DeleteOperation::~DeleteOperation() = default;

void DeleteOperation::Run(ModuleAccess* server, IModuleChangeSink* sink) {
    server_ = server;
    sink_ = sink;
    DeleteClassification selection = ClassifySelection(targets_);
    if (selection.Empty()) return;
    if (!silent_) {
        if (!Confirm(selection)) return;
        if (selection.folders > 0 || selection.files > 1) OpenProgress();
    }
    for (const DeleteTarget& target : targets_) {
        PumpMessages();
        if (cancel_) break;
        if (target.IsFolder()) {
            DeleteFolderItem(target);
        } else {
            ShowItem(target.path);
            DeleteFileItem(target);
        }
    }
    if (progress_) progress_->Close();
    server_ = nullptr;
    sink_ = nullptr;
}

bool DeleteOperation::Confirm(const DeleteClassification& selection) {
    const DeleteTarget& named = targets_[selection.last];
    std::wstring name = FileNamePart(named.path);
    INT_PTR answer;
    if (selection.Several()) {
        answer = ConfirmDelete(IDD_CONFIRM_MULTIPLE_DELETE, owner_, DeleteConfirmMode::Several,
                               name);
    } else {
        DeleteConfirmMode mode;
        if (named.IsReadOnly()) {
            // Asked once here: the read-only file or folder is not asked about again.
            mode = named.IsFolder() ? DeleteConfirmMode::ReadOnlyFolder
                                    : DeleteConfirmMode::ReadOnlyFile;
            confirmReadOnly_ = false;
        } else {
            mode = named.IsFolder() ? DeleteConfirmMode::Folder : DeleteConfirmMode::File;
        }
        answer = ConfirmDelete(IDD_CONFIRM_DELETE, owner_, mode, name);
    }
    return answer == IDOK || answer == IDYES;
}

void DeleteOperation::OpenProgress() {
    uint64_t total = 0;
    for (const DeleteTarget& target : targets_) {
        PumpMessages();
        if (cancel_) break;
        ++total;
        if (target.IsFolder()) total += CountBelow(server_, target.path);
    }
    progress_.reset(new (std::nothrow) ProgressDialog(ProgressMode::Delete, total, &cancel_));
    if (progress_ && progress_->window()) owner_ = progress_->window();
    // Lets the dialog paint before the first server call blocks the thread.
    Sleep(100);
}

void DeleteOperation::PumpMessages() {
    HWND dialog = progress_ ? progress_->window() : nullptr;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (dialog && IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void DeleteOperation::ShowItem(const std::wstring& path) {
    if (!progress_) return;
    progress_->SetLines(FileNamePart(path),
                        Resources().FormatString(IDS_PROGRESS_FROM, {ParentPath(path)}));
    progress_->Add(1);
}

void DeleteOperation::DeleteFileItem(const DeleteTarget& item) {
    const std::wstring& path = item.path;
    UniqueBstr bpath(path.c_str());
    if (item.IsReadOnly()) {
        if (confirmReadOnly_) {
            INT_PTR answer = ConfirmDelete(IDD_CONFIRM_READONLY_DELETE, owner_,
                                           DeleteConfirmMode::ReadOnlyFile, FileNamePart(path));
            if (answer == IDC_DELETE_ALL) {
                confirmReadOnly_ = false;
            } else if (answer == IDCANCEL) {
                cancel_ = 1;
                return;
            } else if (answer != IDOK && answer != IDYES) {
                return;
            }
        }
        server_->SetAttributes(bpath.get(), FILE_ATTRIBUTE_NORMAL);
    }
    if (!DeleteWithRetry(path, bpath.get(), false)) RestoreAttributes(item, bpath.get());
}

void DeleteOperation::DeleteFolderItem(const DeleteTarget& folder, int depth) {
    const std::wstring& path = folder.path;
    std::vector<DeleteTarget> contents;
    // Below the walk's depth limit only a server that loops has folders: the
    // folder itself is tried, and its failure asked about as any other.
    if (depth < kMaxListingDepth && ListContents(server_, path, &contents)) {
        for (const DeleteTarget& item : contents) {
            PumpMessages();
            if (cancel_) break;
            if (item.IsFolder()) {
                DeleteFolderItem(item, depth + 1);
            } else {
                ShowItem(item.path);
                DeleteFileItem(item);
            }
        }
    }
    if (cancel_) return;
    ShowItem(path);
    UniqueBstr bpath(path.c_str());
    if (folder.IsReadOnly()) server_->SetAttributes(bpath.get(), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteWithRetry(path, bpath.get(), true)) RestoreAttributes(folder, bpath.get());
}

// Retry repeats the very same server call; a success is announced at once.
bool DeleteOperation::DeleteWithRetry(const std::wstring& path, BSTR bpath, bool folder) {
    for (;;) {
        HRESULT hr = folder ? server_->DeleteFolder(bpath) : server_->DeleteFile(bpath);
        if (SUCCEEDED(hr)) {
            Notify(path);
            return true;
        }
        if (hr == E_OPERATION_CANCELLED) {
            cancel_ = 1;
            return false;
        }
        bool retry = folder
            ? RetryAfter(hr, IDS_ERR_DELETE_FOLDER, IDS_ERR_DELETE_FOLDER_CAPTION, path)
            : RetryAfter(hr, IDS_ERR_DELETE_FILE, IDS_ERR_DELETE_FILE_CAPTION, path);
        if (!retry) return false;
    }
}

// Only a read-only item had its attributes cleared (to 0x80, which takes the
// system and hidden bits with it); a failed, aborted or ignored delete must
// not leave it writable.
void DeleteOperation::RestoreAttributes(const DeleteTarget& item, BSTR bpath) {
    if (!item.IsReadOnly()) return;
    const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                           FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    server_->SetAttributes(bpath, static_cast<LONG>(item.attributes & settable));
}

bool DeleteOperation::RetryAfter(HRESULT failure, UINT textId, UINT captionId,
                                 const std::wstring& path) {
    if (cancel_) return false;
    std::wstring text = Resources().FormatString(textId, {FileNamePart(path), ErrorText(failure)});
    int answer = ShowMessageBox(owner_, text, Resources().LoadString(captionId),
                                MB_ABORTRETRYIGNORE | MB_ICONHAND);
    if (answer == IDRETRY) return true;
    if (answer == IDABORT) cancel_ = 1;
    return false;
}

void DeleteOperation::Notify(const std::wstring& path) {
    if (!sink_) return;
    UniqueBstr message((L"D:" + path).c_str());
    sink_->OnChange(message.get());
}

std::vector<DeleteTarget> TargetsFromIdLists(const LPCITEMIDLIST* items, UINT count) {
    std::vector<DeleteTarget> targets;
    for (UINT i = 0; items && i < count; ++i) {
        // The last identifier names the item with its whole path.
        LPCITEMIDLIST item = items[i] ? LastItem(items[i]) : nullptr;
        if (!item || !IsValidItemId(item)) continue;
        targets.push_back({ItemPath(item), ItemAttributes(item)});
    }
    return targets;
}

namespace {

// Frees a marshalled interface that was never unmarshalled.
void DiscardMarshalledStream(IStream* stream) {
    if (!stream) return;
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CoReleaseMarshalData(stream);
    stream->Release();
}

struct DeleteJob {
    DeleteOperation operation;
    IStream* sinkStream;   // the marshalled change sink, or null
};

DWORD WINAPI DeleteThread(void* parameter) {
    std::unique_ptr<DeleteJob> job(static_cast<DeleteJob*>(parameter));
    HRESULT ole = OleInitialize(nullptr);
    if (SUCCEEDED(EnterComThread())) {
        ComPtr<IUnknown> explorer;
        SHGetInstanceExplorer(&explorer);
        ComPtr<IModuleChangeSink> sink;
        if (job->sinkStream)
            CoGetInterfaceAndReleaseStream(job->sinkStream, IID_IModuleChangeSink, &sink);
        job->sinkStream = nullptr;
        ComPtr<ModuleAccess> server;
        if (SUCCEEDED(CreateModuleAccess(&server))) job->operation.Run(server.Get(), sink.Get());
        server.Reset();
        sink.Reset();
        explorer.Reset();
        LeaveComThread();
    }
    DiscardMarshalledStream(job->sinkStream);
    job.reset();
    if (SUCCEEDED(ole)) OleUninitialize();
    return 0;
}

}  // namespace

HRESULT StartDelete(const std::wstring& folderPath, const LPCITEMIDLIST* items, UINT count,
                    bool silent, HWND owner, IModuleChangeSink* sink, HANDLE* thread) {
    if (thread) *thread = nullptr;
    if (folderPath.empty()) {
        sndPlaySoundW(L".Default", SND_ASYNC);
        return S_OK;
    }
    IStream* sinkStream = nullptr;
    if (sink) {
        HRESULT hr = CoMarshalInterThreadInterfaceInStream(IID_IModuleChangeSink, sink,
                                                           &sinkStream);
        if (FAILED(hr)) return hr;
    }
    auto* job = new (std::nothrow)
        DeleteJob{DeleteOperation(folderPath, TargetsFromIdLists(items, count), silent, owner),
                  sinkStream};
    if (!job) {
        DiscardMarshalledStream(sinkStream);
        return E_OUTOFMEMORY;
    }
    HRESULT hr = StartModuleThread(&DeleteThread, job, thread);
    if (FAILED(hr)) {
        DiscardMarshalledStream(sinkStream);
        delete job;
    }
    return hr;
}
