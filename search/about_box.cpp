#include "search/about_box.h"

#include <shellapi.h>

#include "common/holders.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "resources/search_ids.h"

const wchar_t kMakerWebAddress[] = L"https://www.velkor.example/";

namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            HICON icon = Resources().LoadIcon(IDI_ABOUT);
            if (!icon) icon = Resources().LoadIcon(IDI_SEARCH_WINDOW);
            if (icon) SendDlgItemMessageW(dialog, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_ABOUT_WEB) {
                ShellExecuteW(dialog, nullptr, kMakerWebAddress, nullptr, nullptr, SW_SHOWNORMAL);
                return TRUE;
            }
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        case WM_DESTROY: {
            HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageW(dialog, IDC_ABOUT_ICON, STM_GETICON, 0, 0));
            if (icon) DestroyIcon(icon);
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

void ShowAboutBox(HWND owner) {
    UniqueHGlobal dialog(Resources().LoadDialogTemplate(IDD_ABOUT));
    if (!dialog) return;
    ShowDialog(IDD_ABOUT, Resources().module(), static_cast<LPCDLGTEMPLATEW>(dialog.get()), owner, AboutProc, 0);
}
