// Answers the library's prompts in tests: records what was asked and gives
// scripted answers, or lets the real window come up and drives it.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/prompt.h"

class PromptRecorder : public PromptAnswerer {
public:
    PromptRecorder();
    ~PromptRecorder();
    PromptRecorder(const PromptRecorder&) = delete;
    PromptRecorder& operator=(const PromptRecorder&) = delete;

    // The next prompts get these answers in order; once they run out every
    // prompt gets the default answer (IDCANCEL unless changed).
    void Script(std::initializer_list<INT_PTR> answers);
    void SetDefaultAnswer(INT_PTR answer);
    // Lets dialogs with this id run for real (drive them with DialogDriver).
    void LetDialogRun(UINT dialogId);

    std::vector<PromptRequest> Requests() const;
    size_t Count() const;
    PromptRequest Last() const;

    bool Answer(const PromptRequest& request, INT_PTR* answer) override;

private:
    mutable std::mutex mutex_;
    std::deque<INT_PTR> script_;
    INT_PTR defaultAnswer_ = IDCANCEL;
    std::vector<UINT> realDialogs_;
    std::vector<PromptRequest> requests_;
    PromptAnswerer* previous_ = nullptr;
};

// Drives real dialog boxes and message boxes that come up on this thread:
// each time one is activated, the handler is called with its window and may
// read it, fill controls and press a button (PressButton posts the command).
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(HWND)> handler);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    static void PressButton(HWND dialog, int id);
    // The message text of a message box (static control 0xFFFF).
    static std::wstring MessageText(HWND box);

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
    HHOOK hook_ = nullptr;
    std::function<void(HWND)> handler_;
};
