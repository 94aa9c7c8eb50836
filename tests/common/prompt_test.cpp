// The prompt seam's own behaviour; its dialog path is used for real by the
// delete confirmation tests.
#include <gtest/gtest.h>

#include <thread>

#include "common/formatting.h"
#include "common/prompt.h"
#include "tests/support/prompt_recorder.h"

TEST(PromptSeam, RecorderAnswersInOrderThenDefaultFromAnyThread) {
    PromptRecorder outer;
    outer.SetDefaultAnswer(IDOK);
    {
        PromptRecorder recorder;
        recorder.Script({IDYES, IDNO});
        HWND owner = GetDesktopWindow();
        EXPECT_EQ(ShowMessageBox(owner, L"first", L"Cap", MB_YESNO | MB_ICONQUESTION), IDYES);
        EXPECT_EQ(ShowMessageBox(nullptr, L"second", L"Cap", MB_YESNO), IDNO);
        int answer = 0;
        std::thread worker([&] { answer = ShowMessageBox(nullptr, L"third", L"Cap", MB_OKCANCEL); });
        worker.join();
        EXPECT_EQ(answer, IDCANCEL);
        std::vector<PromptRequest> asked = recorder.Requests();
        ASSERT_EQ(asked.size(), 3u);
        EXPECT_EQ(asked[0].owner, owner);
        EXPECT_EQ(asked[0].text, L"first");
        EXPECT_EQ(asked[0].caption, L"Cap");
        EXPECT_EQ(asked[0].flags, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
        EXPECT_EQ(asked[2].text, L"third");
    }
    // The outer recorder answers again once the inner one is gone.
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
