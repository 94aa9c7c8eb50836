// Shows the file operations' dialogs in a chosen language for a while, so
// that they can be looked at (and photographed) without Explorer:
//   transfer_preview <language id> progress <seconds>
//     the delete progress half-way through a folder of twelve items
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "common/resource_module.h"
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
    LocalFree(argv);
    return 0;
}
