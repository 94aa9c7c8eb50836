// Shows the file operations' dialogs in a chosen language for a while, so
// that they can be looked at (and photographed) without Explorer:
//   transfer_preview <language id> progress <seconds>
//     the delete progress half-way through a folder of twelve items
//   transfer_preview <language id> format <seconds>
//     the format dialog of a 64 MB drive, over an in-process module
//   transfer_preview <language id> confirm <seconds>
//     the question about a read-only file met while deleting a folder
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "common/resource_module.h"
#include "resources/transfer_ids.h"
#include "testing/fake_module_access.h"
#include "transfer/delete_confirmation.h"
#include "transfer/format_job.h"
#include "resources/string_ids.h"
#include "transfer/progress_dialog.h"

namespace {

DWORD g_ticks = 0;
DWORD WINAPI PreviewTicks() { return g_ticks; }

void PumpFor(DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void ShowDeleteProgress(DWORD seconds) {
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Delete, 12, &cancel, &PreviewTicks);
    PumpFor(500);
    bool german = Resources().language() == kLangGerman;
    dialog.SetLines(german ? L"Urlaub am Meer 2024.jpg" : L"Holiday by the sea 2024.jpg",
                    Resources().FormatString(IDS_PROGRESS_FROM,
                                             {german ? L"\\A:\\Bilder\\Urlaub"
                                                     : L"\\A:\\Pictures\\Holiday"}));
    g_ticks += 5 * 42000;
    dialog.Add(5);
    PumpFor(seconds * 1000);
}

void ShowFormat(DWORD seconds) {
    auto* module = new FakeModuleAccess;
    module->AddDrive(L"A:", 64 << 20);
    BSTR drive = SysAllocString(L"A:"), label = SysAllocString(L"FLASH");
    module->SetLabel(drive, label);
    SysFreeString(drive);
    SysFreeString(label);
    {
        FakeModuleAccessScope scope(module);
        HANDLE thread = nullptr;
        if (SUCCEEDED(OpenFormatDialog(L"\\A:", 64ull << 20, &thread)) && thread) {
            if (WaitForSingleObject(thread, seconds * 1000) == WAIT_TIMEOUT)
                TerminateProcess(GetCurrentProcess(), 0);   // a preview: no tidy end needed
            CloseHandle(thread);
        }
    }
    module->Release();
}

DWORD WINAPI EndAfter(void* milliseconds) {
    Sleep(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(milliseconds)));
    TerminateProcess(GetCurrentProcess(), 0);   // a preview: no tidy end needed
    return 0;
}

void ShowReadOnlyQuestion(DWORD seconds) {
    CloseHandle(CreateThread(nullptr, 0, &EndAfter,
                             reinterpret_cast<void*>(static_cast<UINT_PTR>(seconds * 1000)), 0,
                             nullptr));
    ConfirmDelete(IDD_CONFIRM_READONLY_DELETE, nullptr, DeleteConfirmMode::ReadOnlyFile,
                  L"\u00dcbersicht Gr\u00f6\u00dfen 2006.txt");
}

}  // namespace

int main() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    Resources().Set(instance, static_cast<LANGID>(wcstoul(argv[1], nullptr, 10)));
    std::wstring what = argv[2];
    DWORD seconds = argc > 3 ? wcstoul(argv[3], nullptr, 10) : 10;
    if (what == L"progress") ShowDeleteProgress(seconds);
    if (what == L"format") ShowFormat(seconds);
    if (what == L"confirm") ShowReadOnlyQuestion(seconds);
    LocalFree(argv);
    return 0;
}
