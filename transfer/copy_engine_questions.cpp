// The copy engine's questions before a write: replacing files and folders,
// the move questions, and the replaced file set aside until its successor
// arrived whole; after the writes, the check that they arrived whole.
#include "transfer/copy_engine.h"

#include <cwchar>
#include <wrl/client.h>

#include <unordered_map>

#include "common/holders.h"
#include "common/item_time.h"
#include "common/paths.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/listing.h"
#include "module_access/module_errors.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "transfer/copy_confirmation.h"
#include "transfer/local_file_stream.h"
#include "transfer/progress_dialog.h"
#include "transfer/progress_stream.h"

using Microsoft::WRL::ComPtr;

namespace {

// Puts a failure's text back as the thread's error information.
HRESULT RestoreErrorText(HRESULT hr, const std::wstring& text) {
    ComPtr<ICreateErrorInfo> create;
    if (text.empty() || FAILED(CreateErrorInfo(&create))) return hr;
    create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    return hr;
}

}  // namespace

// --- questions --------------------------------------------------------------

HRESULT CopyEngine::CreateOrReplaceFolder(const std::wstring& target, ReplaceState& own,
                                          ReplaceState& parent, DWORD attributes) {
    const std::wstring name = FileNamePart(target);
    IdListHolder existing;
    HRESULT hr = GetItemRecord(target.c_str(), server_, existing.out());
    if (SUCCEEDED(hr) && !existing) {
        UniqueBstr btarget(target.c_str());
        hr = server_->CreateFolder(btarget.get());
        if (SUCCEEDED(hr)) {
            server_->SetAttributes(btarget.get(),
                                   static_cast<LONG>(attributes & ~FILE_ATTRIBUTE_DIRECTORY));
            return S_OK;
        }
    }
    if (FAILED(hr)) {
        if (hr == E_OPERATION_CANCELLED) cancel_ = 1;
        if (!cancel_) {
            std::wstring text = ErrorText(hr);
            Message(IDS_ERR_CREATE_OR_REPLACE, {name.c_str(), text.c_str()}, IDS_ERR_COPY_CAPTION,
                    kStopOkCancel);
        }
        return hr;
    }
    if (!(ItemAttributes(existing.get()) & FILE_ATTRIBUTE_DIRECTORY)) {
        Message(IDS_ERR_COPY_FOLDER_ONTO_FILE, {target.c_str()}, IDS_PROGRESS_COPYING, MB_OK);
        return S_FALSE;
    }
    if (parent.allFolders) return S_OK;
    switch (AskReplaceFolder(owner_, name)) {
    case IDC_REPLACE_ALL:
        parent.allFiles = parent.allFolders = true;
        own.allFiles = own.allFolders = true;
        return S_OK;
    case IDNO:
        return S_FALSE;
    case IDCANCEL:
        cancel_ = 1;
        return S_FALSE;
    default:   // Yes, or no dialog to ask with
        own.allFiles = own.allFolders = true;
        return S_OK;
    }
}

HRESULT CopyEngine::AskMoveQuestion(DWORD attributes, const std::wstring& target) {
    bool system = (attributes & FILE_ATTRIBUTE_SYSTEM) && !yesAllSystem_;
    bool readOnly = !system && (attributes & FILE_ATTRIBUTE_READONLY) && !yesAllReadOnly_;
    if (!system && !readOnly) return S_OK;
    INT_PTR answer = AskMoveFile(owner_, several_,
                                 system ? IDS_CONFIRM_MOVE_SYSTEM : IDS_CONFIRM_MOVE_READONLY,
                                 FileNamePart(target));
    if (answer == IDCANCEL) {
        cancel_ = 1;
        return S_FALSE;
    }
    if (answer == IDC_MOVE_YES_TO_ALL) {
        (system ? yesAllSystem_ : yesAllReadOnly_) = true;
        return S_OK;
    }
    return answer == IDYES || answer == IDOK ? S_OK : S_FALSE;
}

HRESULT CopyEngine::CheckConflict(const std::wstring& target, DWORD size, double date,
                                  ReplaceState& pair, DWORD attributes, SetAside* aside) {
    if (IsMove()) {
        HRESULT asked = AskMoveQuestion(attributes, target);
        if (asked != S_OK) return asked;
    }
    IdListHolder existing;
    HRESULT hr = GetItemRecord(target.c_str(), server_, existing.out());
    if (FAILED(hr)) {
        ReportCopyFailure(hr, FileNamePart(target));
        return hr;
    }
    if (!existing) return S_OK;
    const DWORD existingAttributes = ItemAttributes(existing.get());
    if (existingAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        Message(IDS_ERR_COPY_FILE_ONTO_FOLDER, {target.c_str()}, IDS_PROGRESS_COPYING, MB_OK);
        return S_FALSE;
    }
    if (!pair.allFiles) {
        ReplaceFileQuestion question;
        question.name = ItemName(existing.get());
        question.readOnly = (existingAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        question.existingSize = ItemSize(existing.get());
        question.existingDate = ItemModified(existing.get());
        question.newSize = size;
        question.newDate = date;
        INT_PTR answer = AskReplaceFile(owner_, question);
        if (answer == IDCANCEL) cancel_ = 1;
        if (answer == IDC_REPLACE_ALL)
            pair.allFiles = true;
        else if (answer != IDOK && answer != IDYES)
            return S_FALSE;
    }
    return MakeRoom(target, existingAttributes, aside);
}

// The file to be replaced is renamed, not deleted, until its successor is in
// place. The name aside is one no paste is likely to bring along (a plain
// "~ktx1.tmp" could arrive later in the same paste and then be taken for ours).
HRESULT CopyEngine::MakeRoom(const std::wstring& target, DWORD attributes, SetAside* aside) {
    const std::wstring folder = ParentPath(target) + L"\\";
    std::wstring backup;
    HRESULT hr = S_OK;
    static volatile LONG sequence = 0;
    const DWORD stamp = (GetTickCount() * 2654435761u) ^ (GetCurrentProcessId() << 16);
    for (int k = 1; k < 10000; ++k) {
        wchar_t name[32];
        swprintf(name, ARRAYSIZE(name), L"~ktx%08lX.tmp",
                 static_cast<unsigned long>(stamp + static_cast<DWORD>(InterlockedIncrement(&sequence))));
        backup = folder + name;
        if (!Exists(backup, &hr)) break;
    }
    UniqueBstr btarget(target.c_str()), bbackup(backup.c_str());
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (SUCCEEDED(hr) && readOnly) hr = server_->SetAttributes(btarget.get(), FILE_ATTRIBUTE_NORMAL);
    if (SUCCEEDED(hr)) hr = server_->RenameFile(btarget.get(), bbackup.get());
    if (FAILED(hr)) {
        if (hr == E_OPERATION_CANCELLED) cancel_ = 1;
        std::wstring text = ErrorText(hr);
        if (readOnly) server_->SetAttributes(btarget.get(), static_cast<LONG>(attributes));
        if (!cancel_)
            Message(IDS_ERR_DELETE, {FileNamePart(target).c_str(), text.c_str()},
                    IDS_ERR_DELETE_FILE_CAPTION, kStopOkCancel);
        return hr;
    }
    aside->backup = backup;
    aside->attributes = attributes;
    return S_OK;
}

HRESULT CopyEngine::Settle(HRESULT written, const std::wstring& target, DWORD size,
                           SetAside* aside, bool checked) {
    UniqueBstr btarget(target.c_str());
    HRESULT hr = written;
    if (SUCCEEDED(hr) && !checked) {
        IdListHolder arrived;
        hr = GetItemRecord(target.c_str(), server_, arrived.out());
        if (SUCCEEDED(hr) && (!arrived || (ItemAttributes(arrived.get()) & FILE_ATTRIBUTE_DIRECTORY) ||
                              ItemSize(arrived.get()) != size))
            hr = SetModuleErrorInfo(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT));
    }
    if (SUCCEEDED(hr)) {
        if (!aside->backup.empty()) {
            UniqueBstr bbackup(aside->backup.c_str());
            server_->DeleteFile(bbackup.get());
        }
        return hr;
    }
    // Keep the failure's own text for the message that follows the clean-up.
    std::wstring text = ErrorText(hr);
    HRESULT probe = S_OK;
    // Whatever stands under the final name now is a partial write of ours.
    if (Exists(target, &probe)) {
        server_->SetAttributes(btarget.get(), FILE_ATTRIBUTE_NORMAL);
        server_->DeleteFile(btarget.get());
    }
    if (!aside->backup.empty()) {
        UniqueBstr bbackup(aside->backup.c_str());
        if (SUCCEEDED(server_->RenameFile(bbackup.get(), btarget.get())) &&
            (aside->attributes & FILE_ATTRIBUTE_READONLY))
            server_->SetAttributes(btarget.get(), static_cast<LONG>(aside->attributes));
    }
    return RestoreErrorText(hr, text);
}

namespace {

std::wstring TargetKey(const std::wstring& path) {
    std::wstring key = path;
    if (!key.empty()) CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

}  // namespace

HRESULT CopyEngine::Expect(const std::wstring& folder, const std::wstring& target,
                           const std::wstring& name, DWORD size, const SetAside& aside) {
    arrivals_.push_back(Arrival{folder, target, name, size, aside});
    arrivedTargets_.insert(TargetKey(target));
    return S_OK;
}

void CopyEngine::CheckArrivalOf(const std::wstring& target) {
    if (arrivedTargets_.count(TargetKey(target))) CheckArrivals(ParentPath(target));
}

HRESULT CopyEngine::CheckArrivals(const std::wstring& folder) {
    std::vector<Arrival> due;
    for (size_t i = 0; i < arrivals_.size();) {
        if (arrivals_[i].folder.size() == folder.size() &&
            lstrcmpiW(arrivals_[i].folder.c_str(), folder.c_str()) == 0) {
            arrivedTargets_.erase(TargetKey(arrivals_[i].target));
            due.push_back(std::move(arrivals_[i]));
            arrivals_.erase(arrivals_.begin() + static_cast<ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    if (due.empty()) return S_OK;
    // Sizes by upper-case name from one listing; a single file, or a folder
    // that cannot be listed, is looked up item by item.
    std::unordered_map<std::wstring, LPCITEMIDLIST> listed;
    std::vector<IdListHolder> items;
    const bool together = due.size() > 1 && SUCCEEDED(ListItems(folder.c_str(), &items, server_, false));
    for (const IdListHolder& item : items) listed.emplace(TargetKey(ItemName(item.get())), item.get());
    HRESULT last = S_OK;
    for (Arrival& arrival : due) {
        HRESULT hr = S_OK;
        if (!together) {
            hr = Settle(S_OK, arrival.target, arrival.size, &arrival.aside);
        } else {
            auto found = listed.find(TargetKey(FileNamePart(arrival.target)));
            const bool whole = found != listed.end() &&
                               !(ItemAttributes(found->second) & FILE_ATTRIBUTE_DIRECTORY) &&
                               ItemSize(found->second) == arrival.size;
            hr = Settle(whole ? S_OK : SetModuleErrorInfo(HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)),
                        arrival.target, arrival.size, &arrival.aside, whole);
        }
        if (FAILED(hr)) {
            ReportCopyFailure(hr, arrival.name);
            ++failures_;
            last = hr;
        }
    }
    return last;
}
