#include "handlers/module_properties.h"

#include <commctrl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <memory>
#include <vector>

#include "common/holders.h"
#include "common/module_thread.h"
#include "common/window_classes.h"
#include "common/resource_module.h"
#include "handlers/property_sheet_handler.h"
#include "handlers/selection_summary.h"
#include "module_access/com_thread.h"
#include "item_id/module_item_id.h"
#include "resources/string_ids.h"

using Microsoft::WRL::ComPtr;

namespace {

struct SheetJob {
    std::vector<IdListHolder> items;
    std::wstring folderPath;
    std::wstring caption;
    // The opener's, until `ready` is set.
    HANDLE ready = nullptr;
    HRESULT* startup = nullptr;
    HWND* sheet = nullptr;
};

BOOL CALLBACK CollectPage(HPROPSHEETPAGE page, LPARAM lParam) {
    auto* pages = reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(lParam);
    if (pages->size() >= kMaxSheetPages) return FALSE;
    pages->push_back(page);
    return TRUE;
}

std::wstring ItemCaption(LPCITEMIDLIST item) {
    if (IsDriveItem(item)) return DrivePageTitle(ItemPath(item));
    return ItemName(item);
}

// Runs the sheet until it is closed; signals the opener once it is up.
void RunSheet(SheetJob* job, bool* signalled) {
    std::vector<LPCITEMIDLIST> items;
    for (const IdListHolder& item : job->items) items.push_back(item.get());

    ComPtr<PropertySheetHandler> handler;
    HRESULT hr = MakeComObject(handler.GetAddressOf());
    if (SUCCEEDED(hr))
        hr = handler->InitializeWithItems(items.data(), static_cast<UINT>(items.size()),
                                          job->folderPath.c_str());
    std::vector<HPROPSHEETPAGE> pages;
    if (SUCCEEDED(hr)) hr = handler->AddPages(&CollectPage, reinterpret_cast<LPARAM>(&pages));
    if (SUCCEEDED(hr) && pages.empty()) hr = E_FAIL;
    HWND parent = nullptr;
    if (SUCCEEDED(hr) && RegisterModuleWindowClasses())
        parent = CreateWindowExW(0, kParentWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND sheet = nullptr;
    if (parent) {
        PROPSHEETHEADERW header = {};
        header.dwSize = sizeof(header);
        header.dwFlags = PSH_PROPTITLE | PSH_MODELESS;
        header.hwndParent = parent;
        header.hInstance = Resources().module();
        header.pszCaption = job->caption.c_str();
        header.nPages = static_cast<UINT>(pages.size());
        header.phpage = pages.data();
        sheet = reinterpret_cast<HWND>(PropertySheetW(&header));
        pages.clear();   // the sheet owns them now, even when it failed
        if (!sheet || sheet == reinterpret_cast<HWND>(-1)) sheet = nullptr;
    }
    for (HPROPSHEETPAGE page : pages) DestroyPropertySheetPage(page);
    handler.Reset();   // the pages hold their own references
    if (!sheet) {
        if (parent) DestroyWindow(parent);
        *job->startup = FAILED(hr) ? hr : E_FAIL;
        return;
    }
    ComPtr<IUnknown> explorer;
    SHGetInstanceExplorer(&explorer);
    *job->sheet = sheet;
    *job->startup = S_OK;
    *signalled = true;
    SetEvent(job->ready);   // from here on the job is this thread's alone

    MSG msg;
    while (PropSheet_GetCurrentPageHwnd(sheet) && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (PropSheet_IsDialogMessage(sheet, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DestroyWindow(sheet);
    DestroyWindow(parent);
}

DWORD WINAPI SheetThread(void* parameter) {
    auto* job = static_cast<SheetJob*>(parameter);
    bool signalled = false;
    HRESULT ole = OleInitialize(nullptr);
    HRESULT com = EnterComThread();
    if (SUCCEEDED(com))
        RunSheet(job, &signalled);
    else
        *job->startup = com;
    if (SUCCEEDED(com)) LeaveComThread();
    if (SUCCEEDED(ole)) OleUninitialize();
    if (signalled)
        delete job;
    else
        SetEvent(job->ready);
    return 0;
}

}  // namespace

std::wstring ModulePropertiesCaption(const LPCITEMIDLIST* items, UINT count,
                                     const wchar_t* folderPath) {
    if (count == 0 || !items) {
        if (folderPath && IsDrivePath(folderPath)) return DrivePageTitle(folderPath);
        return Resources().LoadString(IDS_MODULE);
    }
    LPCITEMIDLIST first = items[0] ? LastItem(items[0]) : nullptr;
    if (!first || !IsValidItemId(first)) return Resources().LoadString(IDS_MODULE);
    std::wstring caption = ItemCaption(first);
    if (count > 1) caption += L", ...";
    return caption;
}

HRESULT ShowModuleProperties(const LPCITEMIDLIST* items, UINT count, const wchar_t* folderPath,
                             ModulePropertiesSheet* opened) {
    if (opened) *opened = ModulePropertiesSheet();
    if (count && !items) return E_INVALIDARG;
    std::unique_ptr<SheetJob> job(new (std::nothrow) SheetJob);
    if (!job) return E_OUTOFMEMORY;
    for (UINT i = 0; i < count; ++i) {
        LPCITEMIDLIST last = items[i] ? LastItem(items[i]) : nullptr;
        if (!last || !IsValidItemId(last)) return E_INVALIDARG;
        IdListHolder copy;
        if (FAILED(copy.Assign(last))) return E_OUTOFMEMORY;
        job->items.push_back(std::move(copy));
    }
    job->folderPath = folderPath ? folderPath : L"";
    job->caption = ModulePropertiesCaption(items, count, folderPath);
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready.valid()) return HRESULT_FROM_WIN32(GetLastError());
    job->ready = ready.get();
    HRESULT hr = E_FAIL;
    HWND sheet = nullptr;
    job->startup = &hr;
    job->sheet = &sheet;

    HANDLE started = nullptr;
    HRESULT startedResult = StartModuleThread(&SheetThread, job.get(), &started);
    if (FAILED(startedResult)) return startedResult;
    UniqueHandle worker(started);
    // The opener may own windows (Explorer's): they keep answering meanwhile.
    WaitPumpingMessages(ready.get());
    if (SUCCEEDED(hr)) {
        job.release();   // the thread frees it when the sheet closes
    } else {
        WaitForSingleObject(worker.get(), INFINITE);
    }
    if (opened) {
        opened->sheet = SUCCEEDED(hr) ? sheet : nullptr;
        opened->thread = worker.release();
    }
    return hr;
}
