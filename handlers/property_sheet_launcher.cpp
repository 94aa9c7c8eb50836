#include "handlers/property_sheet_launcher.h"

#include <ole2.h>

#include <memory>
#include <new>

#include "common/holders.h"
#include "common/module_thread.h"
#include "handlers/operation_hooks.h"

namespace {

// Shared by the caller and the sheet's thread until the caller has read the
// result; after a success it belongs to the thread.
struct PropertySheetJob final : PropertySheetReady {
    std::wstring folderPath;
    std::vector<IdListHolder> items;
    HANDLE ready = nullptr;
    HRESULT result = E_FAIL;
    // On the thread's stack: after a failed start the caller frees the job
    // at once, so the thread must not look at the job any more.
    bool* signalled = nullptr;
    bool* owned = nullptr;

    ~PropertySheetJob() {
        if (ready) CloseHandle(ready);
    }
    void SheetReady(HRESULT hr) override {
        if (*signalled) return;
        *signalled = true;
        *owned = SUCCEEDED(hr);
        result = hr;
        SetEvent(ready);
    }
};

DWORD WINAPI PropertySheetThread(void* parameter) {
    auto job = static_cast<PropertySheetJob*>(parameter);
    bool signalled = false;
    bool owned = false;
    job->signalled = &signalled;
    job->owned = &owned;
    HRESULT hr = OleInitialize(nullptr);
    if (FAILED(hr)) {
        job->SheetReady(hr);   // the caller frees the job
        return hr;
    }
    std::vector<LPCITEMIDLIST> lists;
    for (const IdListHolder& item : job->items) lists.push_back(item.get());
    hr = RunPropertySheet(job->folderPath, lists.empty() ? nullptr : lists.data(), static_cast<UINT>(lists.size()),
                          job);
    if (!signalled) job->SheetReady(FAILED(hr) ? hr : E_FAIL);
    if (owned) delete job;
    OleUninitialize();
    return 0;
}

}  // namespace

HRESULT LaunchPropertySheet(const std::wstring& folderPath, std::vector<IdListHolder> items) {
    std::unique_ptr<PropertySheetJob> job(new (std::nothrow) PropertySheetJob());
    if (!job) return E_OUTOFMEMORY;
    job->folderPath = folderPath;
    job->items = std::move(items);
    job->ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!job->ready) return HRESULT_FROM_WIN32(GetLastError());
    // The sheet's thread holds the library until it has ended.
    HRESULT started = StartModuleThread(&PropertySheetThread, job.get());
    if (FAILED(started)) return started;
    WaitForSingleObject(job->ready, INFINITE);
    HRESULT result = job->result;
    if (SUCCEEDED(result)) {
        job.release();   // the thread frees it when the sheet closes
        return S_OK;
    }
    // The thread touches the job no more once it signalled a failure.
    return result;
}
