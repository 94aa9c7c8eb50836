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
    bool helpExists = false;
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
        seen->helpExists = help != nullptr;
        seen->helpVisible = help && IsWindowVisible(help);
        for (int id : presses) DialogDriver::PressButton(dialog, id);
    });
    INT_PTR answer = ConfirmDelete(dialogId, nullptr, mode, name);
    EXPECT_EQ(1u, recorder.Count());
    EXPECT_EQ(dialogId, recorder.Last().dialogId);
    return answer;
}

}  // namespace

TEST(DeleteConfirmation, EachModeNamesTheItemWithItsOwnTitleAndText) {
    struct Case {
        UINT dialogId;
        DeleteConfirmMode mode;
        UINT title, text;
    };
    const Case cases[] = {
        {IDD_CONFIRM_DELETE, DeleteConfirmMode::File, IDS_CONFIRM_FILE_DELETE_TITLE,
         IDS_CONFIRM_FILE_DELETE},
        {IDD_CONFIRM_DELETE, DeleteConfirmMode::Folder, IDS_CONFIRM_FOLDER_DELETE_TITLE,
         IDS_CONFIRM_FOLDER_DELETE},
        {IDD_CONFIRM_DELETE, DeleteConfirmMode::ReadOnlyFile, IDS_CONFIRM_FILE_DELETE_TITLE,
         IDS_CONFIRM_READONLY_FILE_DELETE},
        {IDD_CONFIRM_DELETE, DeleteConfirmMode::ReadOnlyFolder, IDS_CONFIRM_FOLDER_DELETE_TITLE,
         IDS_CONFIRM_READONLY_FOLDER_DELETE},
        {IDD_CONFIRM_READONLY_DELETE, DeleteConfirmMode::ReadOnlyFile,
         IDS_CONFIRM_FILE_DELETE_TITLE, IDS_CONFIRM_READONLY_FILE_DELETE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        Seen seen;
        EXPECT_EQ(IDOK, ShowAndPress(c.dialogId, c.mode, L"Photo.jpg", {IDOK}, &seen));
        EXPECT_EQ(Resources().LoadString(c.title), seen.title);
        EXPECT_EQ(Resources().FormatString(c.text, {L"Photo.jpg"}), seen.text);
        EXPECT_FALSE(seen.helpVisible);
    }
    if (Resources().language() != kLangGerman) {
        Seen seen;
        ShowAndPress(IDD_CONFIRM_DELETE, DeleteConfirmMode::ReadOnlyFile, L"a.txt", {IDOK}, &seen);
        EXPECT_EQ(L"Confirm File Delete", seen.title);
        EXPECT_EQ(L"The file 'a.txt' is read-only.  Are you sure that you want to do this?",
                  seen.text);
    }
}

TEST(DeleteConfirmation, SeveralItemsKeepTheDialogsOwnTexts) {
    Seen seen;
    EXPECT_EQ(IDCANCEL, ShowAndPress(IDD_CONFIRM_MULTIPLE_DELETE, DeleteConfirmMode::Several,
                                     L"ignored", {IDCANCEL}, &seen));
    EXPECT_TRUE(seen.helpExists);
    EXPECT_FALSE(seen.helpVisible);
    EXPECT_FALSE(seen.text.empty());
    EXPECT_EQ(std::wstring::npos, seen.text.find(L"ignored"));
    if (Resources().language() != kLangGerman) {
        EXPECT_EQ(L"Confirm Multiple File Delete", seen.title);
        EXPECT_EQ(L"These files will be permanently deleted. Do you still want to continue?",
                  seen.text);
    }
}

TEST(DeleteConfirmation, HelpIsIgnoredAndAnyOtherButtonEndsWithItsId) {
    Seen seen;
    EXPECT_EQ(IDCANCEL, ShowAndPress(IDD_CONFIRM_DELETE, DeleteConfirmMode::File, L"a",
                                     {IDC_CONFIRM_HELP, IDCANCEL}, &seen));
    EXPECT_EQ(IDC_DELETE_ALL,
              ShowAndPress(IDD_CONFIRM_READONLY_DELETE, DeleteConfirmMode::ReadOnlyFile, L"a",
                           {IDC_DELETE_ALL}, &seen));
    EXPECT_EQ(IDNO, ShowAndPress(IDD_CONFIRM_READONLY_DELETE, DeleteConfirmMode::ReadOnlyFile,
                                 L"a", {IDNO}, &seen));
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
