#include "transfer/copy_engine.h"

#include <wrl/client.h>

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

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// `inner` lies below `outer` ("\A:\X\Y" below "\A:\X", not "\A:\X2").
bool IsBelow(const std::wstring& inner, const std::wstring& outer) {
    return inner.size() > outer.size() && inner[outer.size()] == L'\\' &&
           CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, inner.c_str(),
                          static_cast<int>(outer.size()), outer.c_str(),
                          static_cast<int>(outer.size())) == CSTR_EQUAL;
}

// A module path the engine may read from or write to: "\X:" and plain names.
bool IsWellFormedModulePath(const std::wstring& path) {
    if (path.size() < 3 || path.size() > kLongestModulePath || path[0] != L'\\' ||
        path[1] < L'A' || path[1] > L'Z' || path[2] != L':')
        return false;
    size_t start = 3;
    while (start < path.size()) {
        if (path[start] != L'\\') return false;
        size_t next = path.find(L'\\', start + 1);
        if (next == std::wstring::npos) next = path.size();
        if (!IsPlainItemName(path.substr(start + 1, next - start - 1))) return false;
        start = next;
    }
    return true;
}

// The last component of a PC path.
std::wstring PcName(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Sizes of the files at and below a PC path.
ULONGLONG PcTreeSize(const std::wstring& path, const WIN32_FIND_DATAW& found) {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    ULONGLONG total = 0;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!wcscmp(entry.cFileName, L".") || !wcscmp(entry.cFileName, L"..")) continue;
        total += PcTreeSize(path + L"\\" + entry.cFileName, entry);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return total;
}

HRESULT InvalidNameFailure() { return SetModuleErrorInfo(HRESULT_FROM_WIN32(ERROR_INVALID_NAME)); }

}  // namespace

bool IsPlainItemName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name)
        if (c < 32 || wcschr(L"\\/:*?\"<>|", c)) return false;
    return true;
}

CopyEngine::CopyEngine(ModuleAccess* server, std::wstring destination, DWORD effect, HWND owner)
    : server_(server), destination_(std::move(destination)), effect_(effect), owner_(owner) {}

CopyEngine::~CopyEngine() { CloseProgress(); }

void CopyEngine::CloseProgress() {
    if (progress_) progress_->Close();
    progress_.reset();
}

void CopyEngine::OpenProgress(ULONGLONG total) {
    progress_.reset(new (std::nothrow) ProgressDialog(
        IsMove() ? ProgressMode::Move : ProgressMode::Copy, total, &cancel_));
    if (progress_ && progress_->window()) owner_ = progress_->window();
}

void CopyEngine::Pump() {
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

void CopyEngine::ShowItem(const std::wstring& sourcePath, const std::wstring& targetFolder) {
    if (!progress_) return;
    progress_->SetLines(FileNamePart(sourcePath),
                        Resources().FormatString(IDS_PROGRESS_FROM_TO,
                                                 {FileNamePart(ParentPath(sourcePath)),
                                                  FileNamePart(targetFolder)}));
}

void CopyEngine::AddDone(ULONGLONG amount) {
    if (progress_) progress_->Add(amount);
}

int CopyEngine::Message(UINT textId, std::initializer_list<const wchar_t*> inserts,
                        UINT captionId, UINT flags) {
    std::wstring text;
    switch (inserts.size()) {
    case 0: text = Resources().LoadString(textId); break;
    case 1: text = Resources().FormatString(textId, {inserts.begin()[0]}); break;
    default:
        text = Resources().FormatString(textId, {inserts.begin()[0], inserts.begin()[1]});
        break;
    }
    int answer = ShowMessageBox(owner_, text, Resources().LoadString(captionId), flags);
    if ((flags & MB_OKCANCEL) && answer == IDCANCEL) cancel_ = 1;
    return answer;
}

void CopyEngine::ReportCopyFailure(HRESULT hr, const std::wstring& name) {
    if (hr == E_OPERATION_CANCELLED) cancel_ = 1;
    if (cancel_) return;
    std::wstring text = ErrorText(hr);
    Message(IDS_ERR_COPY, {name.c_str(), text.c_str()}, IDS_ERR_COPY_CAPTION, kStopOkCancel);
}

HRESULT CopyEngine::Refuse(UINT textId, const std::wstring& name) {
    Message(textId, {name.c_str()}, IDS_ERR_COPY_CAPTION, kStopOk);
    ++skips_;
    return E_FAIL;
}

bool CopyEngine::Exists(const std::wstring& path, HRESULT* hr) {
    IdListHolder item;
    *hr = GetItemRecord(path.c_str(), server_, item.out());
    return SUCCEEDED(*hr) && item;
}

HRESULT CopyEngine::CopyName(const std::wstring& path, std::wstring* name) {
    const std::wstring folder = ParentPath(path) + L"\\";
    const std::wstring leaf = FileNamePart(path);
    HRESULT hr = S_OK;
    std::wstring candidate = folder + Resources().FormatString(IDS_COPY_OF, {leaf});
    for (int k = 2; Exists(candidate, &hr); ++k) {
        if (k > 9999) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
        candidate = folder + Resources().FormatString(IDS_COPY_NUMBERED_OF, {k, leaf});
    }
    if (FAILED(hr)) return hr;
    if (candidate.size() > kLongestModulePath) return InvalidNameFailure();
    *name = candidate;
    return S_OK;
}

// --- PC items ---------------------------------------------------------------

HRESULT CopyEngine::TransferPcItems(const std::vector<std::wstring>& paths, bool unreadable) {
    if (paths.empty()) return E_UNEXPECTED;
    ULONGLONG total = 0;
    for (const std::wstring& path : paths) {
        Pump();
        WIN32_FIND_DATAW found;
        if (path.empty()) continue;
        HANDLE search = FindFirstFileW(path.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        FindClose(search);
        total += PcTreeSize(path, found);
    }
    OpenProgress(total);
    several_ = paths.size() > 1;
    ReplaceState top;
    HRESULT last = S_OK;
    for (const std::wstring& path : paths) {
        Pump();
        if (cancel_) break;
        WIN32_FIND_DATAW found;
        HANDLE search = path.empty() ? INVALID_HANDLE_VALUE : FindFirstFileW(path.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            // Gone since it was dropped, or never a path at all.
            HRESULT hr = path.empty() ? InvalidNameFailure()
                                      : SetModuleErrorInfo(HRESULT_FROM_WIN32(GetLastError()));
            ReportCopyFailure(hr, PcName(path));
            ++failures_;
            last = E_FAIL;
            continue;
        }
        FindClose(search);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            last = CopyPcFolder(path, found.dwFileAttributes, destination_, top);
        } else {
            ShowItem(path, destination_);
            last = CopyPcFile(path, found, destination_, top);
        }
    }
    HRESULT checked = CheckArrivals(destination_);
    if (FAILED(checked)) last = checked;
    if (FAILED(last) || cancel_) return E_FAIL;
    return unreadable ? E_UNEXPECTED : S_OK;
}

HRESULT CopyEngine::CopyPcFile(const std::wstring& source, const WIN32_FIND_DATAW& find,
                               const std::wstring& folder, ReplaceState& pair) {
    const std::wstring name = PcName(source);
    if (find.nFileSizeHigh != 0 || find.nFileSizeLow > kLargestModuleFile) {
        Message(IDS_ERR_COPY_TOO_LARGE, {name.c_str()}, IDS_ERR_COPY_CAPTION, kStopOkCancel);
        ++failures_;
        return E_FAIL;
    }
    const DWORD size = find.nFileSizeLow;
    const std::wstring target = folder + L"\\" + name;
    HRESULT hr = IsPlainItemName(name) && target.size() <= kLongestModulePath
                     ? S_OK
                     : InvalidNameFailure();
    ComPtr<IStream> file;
    if (SUCCEEDED(hr)) hr = LocalFileStream::Open(source, &file);
    ComPtr<IStream> stream;
    if (SUCCEEDED(hr)) hr = CreateProgressStream(file.Get(), progress_.get(), size, &cancel_, true,
                                                 &stream);
    if (FAILED(hr)) {
        ReportCopyFailure(hr, name);
        ++failures_;
        return hr;
    }
    double date = 0;
    FileTimeToTime(find.ftLastWriteTime, &date);
    SetAside aside;
    CheckArrivalOf(target);
    hr = CheckConflict(target, size, date, pair, find.dwFileAttributes, &aside);
    if (hr == S_OK) {
        UniqueBstr btarget(target.c_str());
        hr = server_->WriteFile(btarget.get(), stream.Get(), static_cast<LONG>(find.dwFileAttributes));
        hr = SUCCEEDED(hr) ? Expect(folder, target, name, size, aside) : Settle(hr, target, size, &aside);
        if (FAILED(hr)) {
            ReportCopyFailure(hr, name);
            ++failures_;
        }
    } else if (hr == S_FALSE) {
        ++skips_;
        hr = S_OK;
    } else {
        ++failures_;
    }
    AddDone(size);
    return hr;
}

HRESULT CopyEngine::CopyPcFolder(const std::wstring& source, DWORD attributes,
                                 const std::wstring& folder, ReplaceState& parent) {
    several_ = true;
    ReplaceState own = parent;
    const std::wstring name = PcName(source);
    const std::wstring target = folder + L"\\" + name;
    if (!IsPlainItemName(name) || target.size() > kLongestModulePath) {
        ReportCopyFailure(InvalidNameFailure(), name);
        ++failures_;
        return E_FAIL;
    }
    HRESULT hr = CreateOrReplaceFolder(target, own, parent, attributes);
    if (hr == S_FALSE) ++skips_;
    if (hr != S_OK) {
        if (FAILED(hr)) ++failures_;
        return hr;
    }
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((source + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        ReportCopyFailure(SetModuleErrorInfo(HRESULT_FROM_WIN32(GetLastError())), name);
        ++failures_;
        return E_FAIL;
    }
    HRESULT last = S_OK;
    bool more = true;
    while (more) {
        Pump();
        if (cancel_) break;
        if (wcscmp(entry.cFileName, L".") && wcscmp(entry.cFileName, L"..")) {
            const std::wstring child = source + L"\\" + entry.cFileName;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                last = CopyPcFolder(child, entry.dwFileAttributes, target, own);
            } else {
                ShowItem(child, target);
                last = CopyPcFile(child, entry, target, own);
            }
        }
        more = FindNextFileW(search, &entry) != FALSE;
        if (!more && GetLastError() != ERROR_NO_MORE_FILES) {
            ++failures_;
            last = E_FAIL;
        }
    }
    FindClose(search);
    HRESULT checked = CheckArrivals(target);
    return FAILED(checked) ? checked : last;
}

// --- module items -----------------------------------------------------------

HRESULT CopyEngine::TransferModuleItems(const std::wstring& sourceFolder,
                                        const LPCITEMIDLIST* items, UINT count) {
    if (!items || count == 0) return E_UNEXPECTED;
    std::vector<LPCITEMIDLIST> usable(count, nullptr);
    for (UINT i = 0; i < count; ++i)
        if (items[i] && IsValidItemId(items[i]) && IsWellFormedModulePath(ItemPath(items[i])))
            usable[i] = items[i];
    ULONGLONG total = 0;
    for (LPCITEMIDLIST item : usable) {
        if (!item) continue;
        TotalFileSize(sourceFolder.c_str(), &item, 1, &total, true, server_);
    }
    OpenProgress(total);
    several_ = count > 1;
    ReplaceState top;
    HRESULT last = S_OK;
    for (LPCITEMIDLIST item : usable) {
        Pump();
        if (cancel_) break;
        if (!item) {
            ReportCopyFailure(InvalidNameFailure(), std::wstring());
            ++failures_;
            last = E_FAIL;
            continue;
        }
        const std::wstring path = ItemPath(item);
        if (!IsContainerItem(item)) {
            ShowItem(path, destination_);
            last = CopyModuleFile(item, destination_, top);
        } else if (SamePath(path, destination_)) {
            last = Refuse(IDS_ERR_COPY_SAME_FOLDER, ItemName(item));
        } else if (IsBelow(destination_, path)) {
            last = Refuse(IDS_ERR_COPY_INTO_SUBFOLDER, ItemName(item));
        } else {
            last = CopyModuleFolder(path, ItemAttributes(item), top, destination_);
        }
    }
    HRESULT checked = CheckArrivals(destination_);
    if (FAILED(checked)) last = checked;
    return FAILED(last) || cancel_ ? E_FAIL : S_OK;
}

HRESULT CopyEngine::CopyModuleFile(LPCITEMIDLIST item, const std::wstring& folder,
                                   ReplaceState& pair) {
    const std::wstring source = ItemPath(item);
    const std::wstring name = FileNamePart(source);
    std::wstring target = folder + L"\\" + name;
    HRESULT hr = S_OK;
    if (SamePath(target, source)) {
        if (IsMove()) {
            Message(IDS_ERR_MOVE_SAME_FILE, {name.c_str()}, IDS_ERR_MOVE_CAPTION, kStopOkCancel);
            ++skips_;
            return E_FAIL;
        }
        hr = CopyName(source, &target);
    } else if (target.size() > kLongestModulePath) {
        hr = InvalidNameFailure();
    }
    if (FAILED(hr)) {
        ReportCopyFailure(hr, name);
        ++failures_;
        return hr;
    }
    const DWORD size = ItemSize(item);
    SetAside aside;
    CheckArrivalOf(target);
    hr = CheckConflict(target, size, ItemModified(item), pair, ItemAttributes(item), &aside);
    if (hr == S_FALSE) {
        ++skips_;
        return S_OK;
    }
    if (FAILED(hr)) {
        ++failures_;
        return hr;
    }
    UniqueBstr bsource(source.c_str()), btarget(target.c_str());
    hr = server_->CopyItem(bsource.get(), btarget.get());
    // A source changed since it was listed fails the check: the move then
    // keeps it, which is the safe side.
    hr = SUCCEEDED(hr) ? Expect(folder, target, name, size, aside) : Settle(hr, target, size, &aside);
    if (FAILED(hr)) {
        ReportCopyFailure(hr, name);
        ++failures_;
    }
    AddDone(size);
    return hr;
}

HRESULT CopyEngine::CopyModuleFolder(const std::wstring& path, DWORD attributes,
                                     ReplaceState& parent, const std::wstring& folder) {
    several_ = true;
    ReplaceState own = parent;
    std::wstring target = folder + L"\\" + FileNamePart(path);
    HRESULT hr = S_OK;
    if (SamePath(target, path)) {
        if (IsMove()) {
            Message(IDS_ERR_MOVE_SAME_FOLDER, {FileNamePart(target).c_str()}, IDS_ERR_MOVE_CAPTION,
                    kStopOkCancel);
            ++skips_;
            return E_FAIL;
        }
        hr = CopyName(path, &target);
    } else if (target.size() > kLongestModulePath) {
        hr = InvalidNameFailure();
    }
    if (FAILED(hr)) {
        ReportCopyFailure(hr, FileNamePart(path));
        ++failures_;
        return hr;
    }
    hr = CreateOrReplaceFolder(target, own, parent, attributes);
    if (hr == S_FALSE) ++skips_;
    if (hr != S_OK) {
        if (FAILED(hr)) ++failures_;
        return hr;
    }
    const unsigned problemsBefore = failures_ + skips_;
    std::vector<IdListHolder> items;
    hr = ListItems(path.c_str(), &items, server_, false);
    if (FAILED(hr)) {
        ReportCopyFailure(hr, FileNamePart(path));
        ++failures_;
        return hr;
    }
    HRESULT last = S_OK;
    for (const IdListHolder& item : items) {
        Pump();
        if (cancel_) break;
        LPCITEMIDLIST child = item.get();
        if (IsContainerItem(child)) {
            last = CopyModuleFolder(ItemPath(child), ItemAttributes(child), own, target);
        } else {
            ShowItem(ItemPath(child), target);
            last = CopyModuleFile(child, target, own);
        }
    }
    HRESULT checked = CheckArrivals(target);
    if (FAILED(checked)) last = checked;
    // Only a folder whose whole content arrived may go.
    if (IsMove() && SUCCEEDED(last) && !cancel_ && failures_ + skips_ == problemsBefore) {
        UniqueBstr bpath(path.c_str());
        const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (readOnly) server_->SetAttributes(bpath.get(), FILE_ATTRIBUTE_NORMAL);
        // A folder that stays keeps what protected it.
        if (FAILED(server_->DeleteFolder(bpath.get())) && readOnly)
            server_->SetAttributes(bpath.get(), static_cast<LONG>(attributes));
    }
    return last;
}

