#include <gtest/gtest.h>

#include <thread>

#include "common/formatting.h"
#include "common/prompt.h"
#include "tests/support/prompt_recorder.h"

TEST(PromptSeam, RecorderAnswersInOrderThenDefault) {
    PromptRecorder recorder;
    recorder.Script({IDYES, IDNO});
    HWND owner = GetDesktopWindow();
    EXPECT_EQ(ShowMessageBox(owner, L"first", L"Cap", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(ShowMessageBox(nullptr, L"second", L"Cap", MB_YESNO), IDNO);
    EXPECT_EQ(ShowMessageBox(nullptr, L"third", L"Cap", MB_OKCANCEL), IDCANCEL);
    std::vector<PromptRequest> asked = recorder.Requests();
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].owner, owner);
    EXPECT_EQ(asked[0].text, L"first");
    EXPECT_EQ(asked[0].caption, L"Cap");
    EXPECT_EQ(asked[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(asked[2].text, L"third");
}

TEST(PromptSeam, AnswersPromptsFromOtherThreads) {
    PromptRecorder recorder;
    recorder.SetDefaultAnswer(IDRETRY);
    int answer = 0;
    std::thread worker([&] { answer = ShowMessageBox(nullptr, L"t", L"c", MB_ABORTRETRYIGNORE); });
    worker.join();
    EXPECT_EQ(answer, IDRETRY);
    EXPECT_EQ(recorder.Count(), 1u);
}

TEST(PromptSeam, RecorderRestoresThePreviousAnswererWhenNested) {
    PromptRecorder outer;
    outer.SetDefaultAnswer(IDOK);
    {
        PromptRecorder inner;
        inner.SetDefaultAnswer(IDNO);
        EXPECT_EQ(ShowMessageBox(nullptr, L"x", L"c", MB_YESNO), IDNO);
    }
    EXPECT_EQ(ShowMessageBox(nullptr, L"y", L"c", MB_OK), IDOK);
    EXPECT_EQ(outer.Count(), 1u);
}

TEST(PromptSeam, RealMessageBoxDrivenOnThisThread) {
    std::wstring seenCaption, seenText;
    DialogDriver driver([&](HWND box) {
        seenCaption = WindowText(box);
        seenText = DialogDriver::MessageText(box);
        DialogDriver::PressButton(box, IDNO);
    });
    EXPECT_EQ(ShowMessageBox(nullptr, L"Replace the file?", L"Confirm", MB_YESNO), IDNO);
    EXPECT_EQ(seenCaption, L"Confirm");
    EXPECT_EQ(seenText, L"Replace the file?");
}

namespace {
// A one-button dialog built in memory, as the library builds its own.
struct DialogInMemory {
    DLGTEMPLATE dlg;
    WORD menu, cls, title;
    DLGITEMTEMPLATE item;
    WORD itemClassFlag, itemClass, itemTitle, itemExtra;
};

INT_PTR CALLBACK OkDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
        EndDialog(dlg, 1234);
        return TRUE;
    }
    return FALSE;
}
}  // namespace

TEST(PromptSeam, DialogsAnsweredOrLetRun) {
    alignas(DWORD) DialogInMemory t = {};
    t.dlg.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    t.dlg.cdit = 1;
    t.dlg.cx = 100;
    t.dlg.cy = 40;
    t.item.style = WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON;
    t.item.cx = 40;
    t.item.cy = 14;
    t.item.id = IDOK;
    t.itemClassFlag = 0xFFFF;
    t.itemClass = 0x0080;   // button
    const auto* dlgTemplate = reinterpret_cast<LPCDLGTEMPLATEW>(&t);

    PromptRecorder recorder;
    recorder.Script({IDCANCEL});
    EXPECT_EQ(ShowDialog(77, GetModuleHandleW(nullptr), dlgTemplate, nullptr, OkDialogProc, 5),
              IDCANCEL);
    ASSERT_EQ(recorder.Count(), 1u);
    EXPECT_EQ(recorder.Last().kind, PromptRequest::Kind::Dialog);
    EXPECT_EQ(recorder.Last().dialogId, 77u);
    EXPECT_EQ(recorder.Last().initParam, 5);

    recorder.LetDialogRun(77);
    DialogDriver driver([](HWND dlg) { DialogDriver::PressButton(dlg, IDOK); });
    EXPECT_EQ(ShowDialog(77, GetModuleHandleW(nullptr), dlgTemplate, nullptr, OkDialogProc, 5),
              1234) << "the real dialog ran and its procedure ended it";
}
