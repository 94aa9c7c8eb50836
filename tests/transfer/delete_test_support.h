// Helpers of the delete tests: prompts answered from a script with the
// confirmation's mode recorded, a change sink that records what it hears,
// and a count of the progress dialogs that came up.
#pragma once
#include <windows.h>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "common/com_object.h"
#include "common/prompt.h"
#include "module_access/module_access_h.h"
#include "transfer/delete_confirmation.h"

struct AskedPrompt {
    PromptRequest::Kind kind;
    UINT dialogId = 0;                 // dialogs
    int mode = 0;                      // delete confirmations
    std::wstring name;                 // delete confirmations
    std::wstring caption, text;        // message boxes
    UINT flags = 0;
};

class DeletePrompts : public PromptAnswerer {
public:
    DeletePrompts() { previous_ = SetPromptAnswerer(this); }
    ~DeletePrompts() { SetPromptAnswerer(previous_); }
    DeletePrompts(const DeletePrompts&) = delete;
    DeletePrompts& operator=(const DeletePrompts&) = delete;

    // Answers in order; afterwards every prompt gets IDCANCEL.
    void Script(std::initializer_list<INT_PTR> answers) {
        std::lock_guard<std::mutex> lock(mutex_);
        script_.insert(script_.end(), answers.begin(), answers.end());
    }
    std::vector<AskedPrompt> Asked() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return asked_;
    }

    bool Answer(const PromptRequest& request, INT_PTR* answer) override {
        std::lock_guard<std::mutex> lock(mutex_);
        AskedPrompt asked;
        asked.kind = request.kind;
        asked.dialogId = request.dialogId;
        asked.caption = request.caption;
        asked.text = request.text;
        asked.flags = request.flags;
        if (request.kind == PromptRequest::Kind::Dialog && request.initParam) {
            auto* confirmation = reinterpret_cast<const DeleteConfirmation*>(request.initParam);
            asked.mode = static_cast<int>(confirmation->mode);
            asked.name = confirmation->name;
        }
        asked_.push_back(asked);
        *answer = IDCANCEL;
        if (!script_.empty()) {
            *answer = script_.front();
            script_.pop_front();
        }
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::deque<INT_PTR> script_;
    std::vector<AskedPrompt> asked_;
    PromptAnswerer* previous_ = nullptr;
};

class RecordingSink : public IModuleChangeSink, public RefCounted<RecordingSink> {
public:
    std::vector<std::wstring> messages;
    DWORD thread = 0;   // the thread of the last call

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IModuleChangeSink) {
            *out = static_cast<IModuleChangeSink*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP OnChange(BSTR message) override {
        messages.push_back(message ? message : L"");
        thread = GetCurrentThreadId();
        return S_OK;
    }
};

// Counts the dialog windows created on this thread while it lives (the
// scripted confirmations create none, so these are progress dialogs).
class DialogWindowCounter {
public:
    DialogWindowCounter() {
        t_self = this;
        hook_ = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
    }
    ~DialogWindowCounter() {
        UnhookWindowsHookEx(hook_);
        t_self = nullptr;
    }
    DialogWindowCounter(const DialogWindowCounter&) = delete;
    DialogWindowCounter& operator=(const DialogWindowCounter&) = delete;
    int count() const { return count_; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp) {
        if (code == HCBT_CREATEWND && t_self) {
            auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lp);
            LPCWSTR cls = create->lpcs->lpszClass;
            bool dialog = IS_INTRESOURCE(cls) ? cls == MAKEINTRESOURCEW(0x8002)
                                              : lstrcmpW(cls, L"#32770") == 0;
            if (dialog && !(create->lpcs->style & WS_CHILD)) ++t_self->count_;
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
    static inline thread_local DialogWindowCounter* t_self = nullptr;
    HHOOK hook_ = nullptr;
    int count_ = 0;
};
