// Helpers of the delete tests: prompts answered from a script with the
// confirmation's mode recorded, a change sink that records what it hears,
// and a count of the progress dialogs that came up.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "common/com_object.h"
#include "module_access/module_access_h.h"
#include "tests/support/prompt_recorder.h"
#include "transfer/delete_confirmation.h"

// A PromptRecorder that also notes the mode and name of delete confirmations.
class DeletePrompts : public PromptRecorder {
public:
    struct Confirmation {
        int mode;
        std::wstring name;
    };
    // One per prompt, in order; mode 0 for message boxes.
    std::vector<Confirmation> confirmations;

    bool Answer(const PromptRequest& request, INT_PTR* answer) override {
        auto* asked = request.kind == PromptRequest::Kind::Dialog
                          ? reinterpret_cast<const DeleteConfirmation*>(request.initParam)
                          : nullptr;
        confirmations.push_back({asked ? static_cast<int>(asked->mode) : 0,
                                 asked ? asked->name : std::wstring()});
        return PromptRecorder::Answer(request, answer);
    }
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
