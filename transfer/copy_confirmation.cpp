#include "transfer/copy_confirmation.h"

#include <oleauto.h>
#include <shellapi.h>

#include "common/holders.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"

namespace {

INT_PTR Show(UINT dialogId, HWND owner, DLGPROC proc, LPARAM param) {
    UniqueHGlobal dialogTemplate(Resources().LoadDialogTemplate(dialogId));
    if (!dialogTemplate) return -1;
    return ShowDialog(dialogId, Resources().module(),
                      static_cast<LPCDLGTEMPLATEW>(dialogTemplate.get()), owner, proc, param);
}

// The shell's icon for a file of that name, whatever the file really is.
void SetFileIcon(HWND dialog, int control, const std::wstring& name) {
    SHFILEINFOW info = {};
    if (!SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                        SHGFI_ICON | SHGFI_USEFILEATTRIBUTES) ||
        !info.hIcon)
        return;
    HICON old = reinterpret_cast<HICON>(SendDlgItemMessageW(
        dialog, control, STM_SETICON, reinterpret_cast<WPARAM>(info.hIcon), 0));
    if (old) DestroyIcon(old);
}

void DestroyFileIcon(HWND dialog, int control) {
    HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageW(dialog, control, STM_GETICON, 0, 0));
    if (icon) DestroyIcon(icon);
}

void PrepareCommon(HWND dialog) {
    SendDlgItemMessageW(dialog, IDC_CONFIRM_ICON, STM_SETICON,
                        reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
}

// Help stays on show but has no help file behind it: pressing it does nothing.
bool EndOnButton(HWND dialog, WPARAM wp) {
    if (HIWORD(wp) != BN_CLICKED || LOWORD(wp) == IDC_CONFIRM_HELP) return true;
    EndDialog(dialog, LOWORD(wp));
    return true;
}

}  // namespace

std::wstring ReplaceDetailsLine(DWORD size, double date) {
    UniqueBstr text;
    std::wstring when;
    if (SUCCEEDED(VarBstrFromDate(date, 0, 0, text.out()))) when = text.c_str();
    return Resources().FormatString(IDS_CONFIRM_REPLACE_FILE_DETAILS, {size, when});
}

INT_PTR AskReplaceFile(HWND owner, const ReplaceFileQuestion& question) {
    return Show(IDD_CONFIRM_FILE_REPLACE, owner, &ReplaceFileProc,
                reinterpret_cast<LPARAM>(&question));
}

INT_PTR AskReplaceFolder(HWND owner, const std::wstring& folderName) {
    ConfirmationText text = {Resources().FormatString(IDS_CONFIRM_REPLACE_FOLDER, {folderName})};
    return Show(IDD_CONFIRM_FOLDER_REPLACE, owner, &ConfirmationTextProc,
                reinterpret_cast<LPARAM>(&text));
}

INT_PTR AskMoveFile(HWND owner, bool several, UINT textId, const std::wstring& fileName) {
    ConfirmationText text = {Resources().FormatString(textId, {fileName})};
    return Show(several ? IDD_CONFIRM_FILE_MOVE_SEVERAL : IDD_CONFIRM_FILE_MOVE, owner,
                &ConfirmationTextProc, reinterpret_cast<LPARAM>(&text));
}

INT_PTR CALLBACK ReplaceFileProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_INITDIALOG: {
        PrepareCommon(dialog);
        auto* question = reinterpret_cast<const ReplaceFileQuestion*>(lp);
        if (question) {
            UINT top = question->readOnly ? IDS_CONFIRM_REPLACE_READONLY_FILE
                                          : IDS_CONFIRM_REPLACE_FILE;
            SetDlgItemTextW(dialog, IDC_CONFIRM_TEXT,
                            Resources().FormatString(top, {question->name}).c_str());
            SetDlgItemTextW(
                dialog, IDC_REPLACE_OLD_DETAILS,
                ReplaceDetailsLine(question->existingSize, question->existingDate).c_str());
            SetDlgItemTextW(dialog, IDC_REPLACE_NEW_DETAILS,
                            ReplaceDetailsLine(question->newSize, question->newDate).c_str());
            SetFileIcon(dialog, IDC_REPLACE_OLD_ICON, question->name);
            SetFileIcon(dialog, IDC_REPLACE_NEW_ICON, question->name);
        }
        return TRUE;
    }
    case WM_DESTROY:
        DestroyFileIcon(dialog, IDC_REPLACE_OLD_ICON);
        DestroyFileIcon(dialog, IDC_REPLACE_NEW_ICON);
        return FALSE;
    case WM_COMMAND:
        return EndOnButton(dialog, wp);
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK ConfirmationTextProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_INITDIALOG: {
        PrepareCommon(dialog);
        auto* text = reinterpret_cast<const ConfirmationText*>(lp);
        if (text) SetDlgItemTextW(dialog, IDC_CONFIRM_TEXT, text->text.c_str());
        return TRUE;
    }
    case WM_COMMAND:
        return EndOnButton(dialog, wp);
    default:
        return FALSE;
    }
}
