#include "transfer/delete_confirmation.h"

#include "common/holders.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"

namespace {

struct ModeTexts {
    UINT title;   // 0: the template's own title and text
    UINT text;
};

ModeTexts TextsOf(DeleteConfirmMode mode) {
    switch (mode) {
    case DeleteConfirmMode::File:
        return {IDS_CONFIRM_FILE_DELETE_TITLE, IDS_CONFIRM_FILE_DELETE};
    case DeleteConfirmMode::Folder:
        return {IDS_CONFIRM_FOLDER_DELETE_TITLE, IDS_CONFIRM_FOLDER_DELETE};
    case DeleteConfirmMode::ReadOnlyFile:
        return {IDS_CONFIRM_FILE_DELETE_TITLE, IDS_CONFIRM_READONLY_FILE_DELETE};
    case DeleteConfirmMode::ReadOnlyFolder:
        return {IDS_CONFIRM_FOLDER_DELETE_TITLE, IDS_CONFIRM_READONLY_FOLDER_DELETE};
    case DeleteConfirmMode::Several:
    default:
        return {0, 0};
    }
}

}  // namespace

INT_PTR ConfirmDelete(UINT dialogId, HWND owner, DeleteConfirmMode mode, const std::wstring& name) {
    UniqueHGlobal dialogTemplate(Resources().LoadDialogTemplate(dialogId));
    if (!dialogTemplate) return -1;
    DeleteConfirmation confirmation = {mode, name};
    return ShowDialog(dialogId, Resources().module(),
                      static_cast<LPCDLGTEMPLATEW>(dialogTemplate.get()), owner,
                      &DeleteConfirmationProc, reinterpret_cast<LPARAM>(&confirmation));
}

INT_PTR CALLBACK DeleteConfirmationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_INITDIALOG: {
        // There is no help file behind these dialogs.
        ShowWindow(GetDlgItem(dialog, IDC_CONFIRM_HELP), SW_HIDE);
        SendDlgItemMessageW(dialog, IDC_CONFIRM_ICON, STM_SETICON,
                            reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_WARNING)), 0);
        auto* confirmation = reinterpret_cast<const DeleteConfirmation*>(lp);
        if (confirmation) {
            ModeTexts texts = TextsOf(confirmation->mode);
            if (texts.title) {
                SetWindowTextW(dialog, Resources().LoadString(texts.title).c_str());
                SetDlgItemTextW(dialog, IDC_CONFIRM_TEXT,
                                Resources().FormatString(texts.text, {confirmation->name}).c_str());
            }
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wp) != BN_CLICKED || LOWORD(wp) == IDC_CONFIRM_HELP) return TRUE;
        EndDialog(dialog, LOWORD(wp));
        return TRUE;
    default:
        return FALSE;
    }
}
