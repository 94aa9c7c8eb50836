// The prompt seam with a real message box; the recorder's scripted answers
// are used by the tests of every prompting component.
#include <gtest/gtest.h>

#include <thread>

#include "common/formatting.h"
#include "common/prompt.h"
#include "tests/support/prompt_recorder.h"

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

// The seam is process-wide: prompts of worker threads reach the recorder too.
TEST(PromptSeam, RecorderAnswersPromptsFromOtherThreads) {
    PromptRecorder recorder;
    recorder.Script({IDYES});
    int answer = 0;
    std::thread worker([&] { answer = ShowMessageBox(nullptr, L"text", L"caption", MB_YESNO); });
    worker.join();
    EXPECT_EQ(answer, IDYES);
    EXPECT_EQ(recorder.Last().text, L"text");
}
