#include "tests/support/prompt_recorder.h"

#include <algorithm>

#include "common/formatting.h"

PromptRecorder::PromptRecorder() { previous_ = SetPromptAnswerer(this); }
PromptRecorder::~PromptRecorder() { SetPromptAnswerer(previous_); }

void PromptRecorder::Script(std::initializer_list<INT_PTR> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.insert(script_.end(), answers.begin(), answers.end());
}

void PromptRecorder::SetDefaultAnswer(INT_PTR answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    defaultAnswer_ = answer;
}

void PromptRecorder::LetDialogRun(UINT dialogId) {
    std::lock_guard<std::mutex> lock(mutex_);
    realDialogs_.push_back(dialogId);
}

std::vector<PromptRequest> PromptRecorder::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t PromptRecorder::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
}

PromptRequest PromptRecorder::Last() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.empty() ? PromptRequest() : requests_.back();
}

bool PromptRecorder::Answer(const PromptRequest& request, INT_PTR* answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (request.kind == PromptRequest::Kind::Dialog &&
        std::find(realDialogs_.begin(), realDialogs_.end(), request.dialogId) != realDialogs_.end())
        return false;
    if (!script_.empty()) {
        *answer = script_.front();
        script_.pop_front();
    } else {
        *answer = defaultAnswer_;
    }
    return true;
}

namespace {
thread_local DialogDriver* t_driver = nullptr;
}

DialogDriver::DialogDriver(std::function<void(HWND)> handler) : handler_(std::move(handler)) {
    t_driver = this;
    hook_ = SetWindowsHookExW(WH_CBT, &DialogDriver::Hook, nullptr, GetCurrentThreadId());
}

DialogDriver::~DialogDriver() {
    if (hook_) UnhookWindowsHookEx(hook_);
    t_driver = nullptr;
}

LRESULT CALLBACK DialogDriver::Hook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && t_driver) {
        HWND window = reinterpret_cast<HWND>(wp);
        wchar_t cls[32] = {};
        GetClassNameW(window, cls, ARRAYSIZE(cls));
        if (wcscmp(cls, L"#32770") == 0) t_driver->handler_(window);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

void DialogDriver::PressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

std::wstring DialogDriver::MessageText(HWND box) {
    return WindowText(GetDlgItem(box, 0xFFFF));
}
