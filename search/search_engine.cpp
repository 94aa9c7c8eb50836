#include "search/search_engine.h"

#include <memory>
#include <new>
#include <vector>

#include <wrl/client.h>

#include "common/prompt.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "module_access/listing.h"
#include "module_access/module_errors.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"
#include "search/content_scan.h"
#include "search/item_tests.h"

using Microsoft::WRL::ComPtr;

namespace {

bool IsFolder(LPCITEMIDLIST item) { return (ItemAttributes(item) & FILE_ATTRIBUTE_DIRECTORY) != 0; }

SearchItemValues ValuesOf(LPCITEMIDLIST item) {
    SearchItemValues values;
    values.fileName = ItemName(item);
    values.size = static_cast<LONG>(ItemSize(item));
    values.attributes = ItemAttributes(item);
    values.created = ItemCreated(item);
    values.accessed = ItemAccessed(item);
    values.modified = ItemModified(item);
    return values;
}

// The folder is skipped; a cancelled listing is not the user's error to read.
void ReportListingFailure(HRESULT hr) {
    if (hr != E_OPERATION_CANCELLED) ReportModuleError(hr, L"");
}

// A server that has gone answers every later call the same way: one message
// is enough, and the walk ends with what it found.
bool IsServerGone(HRESULT hr) {
    return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED || hr == RPC_E_SERVER_DIED_DNE ||
           hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) ||
           hr == CO_E_OBJNOTCONNECTED;
}

}  // namespace

std::wstring SearchingStatusText(const std::wstring& path) {
    std::wstring where = Resources().LoadString(IDS_MODULE) + L" " +
                         (path.empty() ? std::wstring() : path.substr(1));
    return Resources().FormatString(IDS_SEARCH_STATUS, {where});
}

std::wstring FoundStatusText(size_t count) {
    return Resources().FormatString(IDS_SEARCH_FILES_FOUND, {static_cast<int>(count)});
}

SearchEngine::SearchEngine(const SearchCriteria& criteria, SearchHost& host)
    : criteria_(criteria), host_(host) {}

void SearchEngine::Pump() {
    const DWORD now = GetTickCount();
    if (pumped_ && now - lastPump_ < host_.PumpIntervalMs()) return;
    pumped_ = true;
    lastPump_ = now;
    host_.PumpMessages();
}

void SearchEngine::ShowSearching(const std::wstring& path) {
    host_.SetStatusText(SearchingStatusText(path));
    Pump();
}

HRESULT SearchEngine::SearchFolder(const std::wstring& folderPath, ModuleAccess* access) {
    if (!access) return E_POINTER;
    if (serverGone_) return S_OK;
    ShowSearching(folderPath);
    if (host_.StopRequested()) return S_OK;
    if (criteria_.text.empty()) {
        ListingSearch(folderPath, access);
    } else {
        ContentSearch(folderPath, access);
    }
    return S_OK;
}

void SearchEngine::ListingSearch(const std::wstring& folderPath, ModuleAccess* access) {
    if (depth_ > kMaxListingDepth) {
        // A tree this deep comes only from a server that loops; once is enough.
        if (!tooDeepShown_) ReportModuleError(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), L"");
        tooDeepShown_ = true;
        return;
    }
    ItemArray listing;
    HRESULT hr = ListItemsEx(folderPath.c_str(), L"*", &listing, access, false, false);
    if (FAILED(hr)) {
        ReportListingFailure(hr);
        serverGone_ = IsServerGone(hr);
        return;
    }
    SYSTEMTIME now;
    host_.CurrentLocalTime(&now);
    for (UINT i = 0; i < listing.count(); ++i) {
        if (host_.StopRequested()) break;
        Pump();
        LPCITEMIDLIST item = listing[i];
        // Folders are results like files; drives never are.
        if (!IsDriveItem(item) && PassesAllTests(criteria_, ValuesOf(item), now))
            host_.AddResult(item);
        Pump();
    }
    if (!criteria_.includeSubfolders) return;
    // Every folder is searched, whether or not it passed the tests itself.
    for (UINT i = 0; i < listing.count(); ++i) {
        if (host_.StopRequested()) break;
        LPCITEMIDLIST item = listing[i];
        if (serverGone_) break;
        if (IsFolder(item) || IsDriveItem(item)) {
            ++depth_;
            SearchFolder(ItemPath(item), access);
            --depth_;
        }
    }
}

void SearchEngine::ContentSearch(const std::wstring& folderPath, ModuleAccess* access) {
    ItemArray listing;
    HRESULT hr = ListItemsEx(folderPath.c_str(), L"*", &listing, access, false,
                             criteria_.includeSubfolders != 0);
    if (FAILED(hr)) {
        ReportListingFailure(hr);
        return;
    }

    SYSTEMTIME now;
    host_.CurrentLocalTime(&now);
    std::vector<UINT> candidates;
    ULONGLONG total = 0;
    for (UINT i = 0; i < listing.count(); ++i) {
        Pump();
        if (host_.StopRequested()) return;
        LPCITEMIDLIST item = listing[i];
        if (!IsFolder(item) && !IsDriveItem(item) &&
            PassesAllTests(criteria_, ValuesOf(item), now)) {
            candidates.push_back(i);
            total += ItemSize(item);
        }
        Pump();
    }

    if (total > kContentQuestionBytes) {
        const ResourceModule& res = Resources();
        std::wstring question = res.FormatString(
            IDS_SEARCH_CONFIRM_DOWNLOAD, {criteria_.text, static_cast<int>(total / 1024)});
        if (ShowMessageBox(host_.OwnerWindow(), question,
                           res.LoadString(IDS_SEARCH_CONTENT_CAPTION),
                           MB_YESNO | MB_ICONQUESTION) != IDYES)
            return;
    }

    for (UINT index : candidates) {
        LPCITEMIDLIST item = listing[index];
        const std::wstring path = ItemPath(item);
        ShowSearching(path);
        hr = ContentTest(path, access);
        if (hr == S_OK) {
            host_.AddResult(item);
        } else if (hr != E_FAIL && hr != E_OPERATION_CANCELLED) {
            ReportModuleError(hr, path.c_str());
            if (hr != E_ACCESSDENIED) return;
        }
    }
}

HRESULT SearchEngine::ContentTest(const std::wstring& itemPath, ModuleAccess* access) {
    if (!access) return E_POINTER;
    // A stopped search reads no more content; there is no need to open the file either.
    if (host_.StopRequested()) return E_OPERATION_CANCELLED;
    // Releasing the streams is a call to the server too, and would take the
    // failure's description with it: keep it for whoever reports the failure.
    ComPtr<IErrorInfo> failureInfo;
    HRESULT hr = ReadAndScan(itemPath, access, &failureInfo);
    if (failureInfo) SetErrorInfo(0, failureInfo.Get());
    return hr;
}

HRESULT SearchEngine::ReadAndScan(const std::wstring& itemPath, ModuleAccess* access,
                                  IErrorInfo** failureInfo) {
    auto serverFailure = [failureInfo](HRESULT failure) {
        GetErrorInfo(0, failureInfo);
        return failure;
    };

    BSTR path = SysAllocStringLen(itemPath.data(), static_cast<UINT>(itemPath.size()));
    if (!path) return E_OUTOFMEMORY;
    ComPtr<IUnknown> object;
    HRESULT hr = access->OpenFile(path, &object);
    SysFreeString(path);
    if (FAILED(hr)) return serverFailure(hr);
    ComPtr<IStream> stream;
    if (!object || FAILED(object.As(&stream))) return E_NOINTERFACE;

    STATSTG stat = {};
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return serverFailure(hr);
    if (stat.cbSize.QuadPart >= 0x100000000ULL) return E_UNEXPECTED;
    const size_t size = static_cast<size_t>(stat.cbSize.QuadPart);

    std::unique_ptr<char[]> block(new (std::nothrow) char[size ? size : 1]());
    if (!block) return E_OUTOFMEMORY;
    // Reading a clone leaves the server's stream where it was. A stream that
    // cannot be cloned is read itself rather than not searched at all.
    ComPtr<IStream> clone;
    hr = stream->Clone(&clone);
    if (hr == E_NOTIMPL) {
        clone = stream;
    } else if (FAILED(hr)) {
        return serverFailure(hr);
    }
    if (!clone) return E_UNEXPECTED;

    size_t done = 0;
    while (done < size) {
        Pump();
        if (host_.StopRequested()) return E_OPERATION_CANCELLED;
        ULONG want = size - done < kContentChunkBytes ? static_cast<ULONG>(size - done)
                                                       : kContentChunkBytes;
        ULONG got = 0;
        hr = clone->Read(block.get() + done, want, &got);
        if (FAILED(hr)) return serverFailure(hr);
        if (got == 0) break;
        done += got > want ? want : got;
    }
    if (done != size) return E_UNEXPECTED;

    std::string pattern = ToAnsi(criteria_.text);
    if (size < pattern.size()) return E_FAIL;
    if (!criteria_.caseSensitive) {
        FoldAnsiCase(&pattern[0], pattern.size());
        FoldAnsiCase(block.get(), size);
    }
    return ContainsBytes(block.get(), size, pattern.data(), pattern.size()) ? S_OK : E_FAIL;
}

HRESULT RunSearch(const SearchCriteria& criteria, ModuleAccess* access, SearchHost& host) {
    if (!access) return E_POINTER;
    host.OnSearchStarting();
    SearchEngine engine(criteria, host);
    HRESULT hr = engine.SearchFolder(criteria.path, access);
    host.SetStatusText(FoundStatusText(host.ResultCount()));
    host.OnSearchFinished();
    return hr;
}
