#include "transfer/format_job.h"

#include <shlobj.h>
#include <wrl/client.h>

#include <memory>

#include "common/formatting.h"
#include "common/holders.h"
#include "common/module_thread.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "common/window_classes.h"
#include "module_access/call_wrappers.h"
#include "module_access/com_thread.h"
#include "module_access/module_access.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"

using Microsoft::WRL::ComPtr;

std::wstring FormatDialogTitle(const std::wstring& templateTitle, const std::wstring& drivePath) {
    return templateTitle + L" " + drivePath;
}

std::wstring FormatCapacityText(uint64_t capacity) {
    return FormatNumber(static_cast<int64_t>((capacity + 1023) / 1024)) + L" KB";
}

namespace {

struct FormatJob {
    std::wstring drivePath;
    uint64_t capacity = 0;
    // The opener's: written once, just before `ready` is set.
    HANDLE ready = nullptr;
    HRESULT* startup = nullptr;
    bool close = false;
    ComPtr<ModuleAccess> server;
};

FormatJob* JobOf(HWND dialog) {
    return reinterpret_cast<FormatJob*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void AddSingleEntry(HWND dialog, int comboId, const std::wstring& text) {
    SendDlgItemMessageW(dialog, comboId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendDlgItemMessageW(dialog, comboId, CB_SETCURSEL, 0, 0);
}

void InitFormatDialog(HWND dialog, FormatJob* job) {
    SetWindowTextW(dialog, FormatDialogTitle(WindowText(dialog), job->drivePath).c_str());
    AddSingleEntry(dialog, IDC_FORMAT_FILE_SYSTEM, L"FAT");
    AddSingleEntry(dialog, IDC_FORMAT_CLUSTER, Resources().LoadString(IDS_FORMAT_STANDARD_SIZE));
    AddSingleEntry(dialog, IDC_FORMAT_CAPACITY, FormatCapacityText(job->capacity));
    UniqueBstr drive(DriveArgument(job->drivePath.c_str()).c_str());
    UniqueBstr label;
    if (job->server && SUCCEEDED(job->server->GetLabel(drive.get(), label.out()))) {
        SetDlgItemTextW(dialog, IDC_FORMAT_LABEL, label.c_str());
        EnableWindow(GetDlgItem(dialog, IDC_FORMAT_LABEL), TRUE);
        EnableWindow(GetDlgItem(dialog, IDC_FORMAT_LABEL_CAPTION), TRUE);
    }
}

void CloseFormatDialog(HWND dialog, FormatJob* job) {
    job->close = true;
    // Wakes the thread's loop so that it sees the flag.
    PostMessageW(dialog, WM_NULL, 0, 0);
}

void StartFormatting(HWND dialog, FormatJob* job) {
    int answer = ShowMessageBox(dialog, Resources().LoadString(IDS_FORMAT_WARNING),
                                Resources().LoadString(IDS_MODULE),
                                MB_OKCANCEL | MB_ICONEXCLAMATION);
    if (answer != IDOK) {
        CloseFormatDialog(dialog, job);
        return;
    }
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    HWND start = GetDlgItem(dialog, IDOK);
    HWND close = GetDlgItem(dialog, IDCANCEL);
    EnableWindow(start, FALSE);
    EnableWindow(close, FALSE);

    const wchar_t* drive = job->drivePath.c_str();
    HRESULT hr = FormatDrive(job->server.Get(), dialog, drive);
    HWND labelEdit = GetDlgItem(dialog, IDC_FORMAT_LABEL);
    if (SUCCEEDED(hr) && IsWindowEnabled(labelEdit)) {
        std::wstring label = WindowText(labelEdit);
        if (!label.empty()) hr = SetDriveLabel(job->server.Get(), dialog, drive, label.c_str());
    }

    EnableWindow(start, TRUE);
    EnableWindow(close, TRUE);
    SetCursor(previous);
    if (SUCCEEDED(hr)) CloseFormatDialog(dialog, job);
}

INT_PTR CALLBACK FormatDialogProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        InitFormatDialog(dialog, reinterpret_cast<FormatJob*>(lp));
        return TRUE;
    case WM_COMMAND: {
        FormatJob* job = JobOf(dialog);
        if (!job || HIWORD(wp) != BN_CLICKED) return FALSE;
        if (LOWORD(wp) == IDOK) {
            StartFormatting(dialog, job);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            CloseFormatDialog(dialog, job);
            return TRUE;
        }
        return FALSE;
    }
    default:
        return FALSE;
    }
}

void RunFormatThread(FormatJob* job, bool* readySignalled) {
    HRESULT hr = CreateModuleAccess(&job->server);
    if (FAILED(hr)) {
        *job->startup = hr;
        return;
    }
    HWND parent = nullptr;
    if (RegisterModuleWindowClasses())
        parent = CreateWindowExW(0, kParentWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    UniqueHGlobal dialogTemplate(Resources().LoadDialogTemplate(IDD_FORMAT));
    HWND dialog = nullptr;
    if (parent && dialogTemplate)
        dialog = CreateDialogIndirectParamW(Resources().module(),
                                            static_cast<LPCDLGTEMPLATEW>(dialogTemplate.get()),
                                            parent, &FormatDialogProc,
                                            reinterpret_cast<LPARAM>(job));
    if (!dialog) {
        if (parent) DestroyWindow(parent);
        *job->startup = E_OUTOFMEMORY;
        return;
    }
    ShowWindow(dialog, SW_SHOW);
    ComPtr<IUnknown> explorer;
    SHGetInstanceExplorer(&explorer);

    *job->startup = S_OK;
    *readySignalled = true;
    SetEvent(job->ready);   // from here on the job is this thread's alone

    MSG msg;
    while (!job->close && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DestroyWindow(dialog);
    DestroyWindow(parent);
    job->server.Reset();
    explorer.Reset();
}

DWORD WINAPI FormatThread(void* parameter) {
    auto* job = static_cast<FormatJob*>(parameter);
    bool readySignalled = false;
    HRESULT ole = OleInitialize(nullptr);
    HRESULT com = EnterComThread();
    if (SUCCEEDED(com))
        RunFormatThread(job, &readySignalled);
    else
        *job->startup = com;
    if (SUCCEEDED(com)) LeaveComThread();
    if (SUCCEEDED(ole)) OleUninitialize();
    if (readySignalled) {
        // The thread owns the job once the opener has gone on.
        delete job;
    } else {
        SetEvent(job->ready);
    }
    return 0;
}

}  // namespace

HRESULT OpenFormatDialog(const std::wstring& drivePath, uint64_t capacity, HANDLE* thread) {
    if (thread) *thread = nullptr;
    std::unique_ptr<FormatJob> job(new (std::nothrow) FormatJob);
    if (!job) return E_OUTOFMEMORY;
    job->drivePath = drivePath;
    job->capacity = capacity;
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready.valid()) return HRESULT_FROM_WIN32(GetLastError());
    job->ready = ready.get();
    HRESULT startup = E_FAIL;
    job->startup = &startup;

    HANDLE started = nullptr;
    HRESULT hr = StartModuleThread(&FormatThread, job.get(), &started);
    if (FAILED(hr)) return hr;
    UniqueHandle worker(started);
    WaitForSingleObject(ready.get(), INFINITE);
    hr = startup;
    if (SUCCEEDED(hr)) {
        job.release();   // the thread frees it when the dialog closes
    } else {
        // The thread has finished with the job before it signalled.
        WaitForSingleObject(worker.get(), INFINITE);
    }
    if (thread) *thread = worker.release();
    return hr;
}
