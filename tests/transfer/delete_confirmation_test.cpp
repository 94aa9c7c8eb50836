#include <windows.h>
#include <gtest/gtest.h>

#include "common/formatting.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "tests/support/prompt_recorder.h"
#include "transfer/delete_confirmation.h"

namespace {

struct Seen {
    std::wstring title;
    std::wstring text;
    bool helpVisible = true;
};

// Shows a real confirmation, records what it showed and presses `buttons` in order.
INT_PTR ShowAndPress(UINT dialogId, DeleteConfirmMode mode, const std::wstring& name,
                     std::initializer_list<int> buttons, Seen* seen) {
    PromptRecorder recorder;
    recorder.LetDialogRun(dialogId);
    std::vector<int> presses(buttons);
    DialogDriver driver([&](HWND dialog) {
        seen->title = WindowText(dialog);
        seen->text = WindowText(GetDlgItem(dialog, IDC_CONFIRM_TEXT));
        HWND help = GetDlgItem(dialog, IDC_CONFIRM_HELP);
        seen->helpVisible = help && IsWindowVisible(help);
        for (int id : presses) DialogDriver::PressButton(dialog, id);
    });
    INT_PTR answer = ConfirmDelete(dialogId, nullptr, mode, name);
    EXPECT_EQ(1u, recorder.Count());
    return answer;
}

}  // namespace

// Help is ignored; any other button ends the dialog with its id.
TEST(DeleteConfirmation, EachModeShowsItsOwnTitleAndTextAndAnswersWithTheButton) {
    struct Case {
        UINT dialogId;
        DeleteConfirmMode mode;
        UINT title, text;   // text 0: the dialog's own, without the name
        int button;
    };
    const Case cases[] = {
        {IDD_CONFIRM_DELETE, DeleteConfirmMode::File, IDS_CONFIRM_FILE_DELETE_TITLE,
         IDS_CONFIRM_FILE_DELETE, IDOK},
        {IDD_CONFIRM_DELETE, DeleteConfirmMode::Folder, IDS_CONFIRM_FOLDER_DELETE_TITLE,
         IDS_CONFIRM_FOLDER_DELETE, IDCANCEL},
        {IDD_CONFIRM_DELETE, DeleteConfirmMode::ReadOnlyFolder, IDS_CONFIRM_FOLDER_DELETE_TITLE,
         IDS_CONFIRM_READONLY_FOLDER_DELETE, IDOK},
        {IDD_CONFIRM_READONLY_DELETE, DeleteConfirmMode::ReadOnlyFile,
         IDS_CONFIRM_FILE_DELETE_TITLE, IDS_CONFIRM_READONLY_FILE_DELETE, IDC_DELETE_ALL},
        {IDD_CONFIRM_READONLY_DELETE, DeleteConfirmMode::ReadOnlyFile,
         IDS_CONFIRM_FILE_DELETE_TITLE, IDS_CONFIRM_READONLY_FILE_DELETE, IDNO},
        {IDD_CONFIRM_MULTIPLE_DELETE, DeleteConfirmMode::Several, 0, 0, IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        Seen seen;
        EXPECT_EQ(c.button, ShowAndPress(c.dialogId, c.mode, L"Photo.jpg",
                                         {IDC_CONFIRM_HELP, c.button}, &seen));
        if (c.text) {
            EXPECT_EQ(Resources().LoadString(c.title), seen.title);
            EXPECT_EQ(Resources().FormatString(c.text, {L"Photo.jpg"}), seen.text);
        } else {
            EXPECT_FALSE(seen.text.empty());
            EXPECT_EQ(std::wstring::npos, seen.text.find(L"Photo.jpg"));
        }
        EXPECT_FALSE(seen.helpVisible);
    }
}

TEST(DeleteConfirmation, TheDialogsExistInEveryLanguage) {
    for (LANGID lang : {kLangGerman, kLangEnglishUs, kLangEnglishUk}) {
        for (UINT id : {IDD_PROGRESS, IDD_CONFIRM_MULTIPLE_DELETE, IDD_CONFIRM_READONLY_DELETE,
                        IDD_CONFIRM_DELETE, IDD_FORMAT}) {
            EXPECT_TRUE(FindResourceExW(Resources().module(), RT_DIALOG, MAKEINTRESOURCEW(id),
                                        lang))
                << id << " in " << lang;
        }
    }
}
