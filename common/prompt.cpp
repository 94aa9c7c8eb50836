#include "common/prompt.h"

namespace {
PromptAnswerer* volatile g_answerer = nullptr;
}

PromptAnswerer* SetPromptAnswerer(PromptAnswerer* answerer) {
    return static_cast<PromptAnswerer*>(InterlockedExchangePointer(
        reinterpret_cast<PVOID volatile*>(&g_answerer), answerer));
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
    if (PromptAnswerer* answerer = g_answerer) {
        PromptRequest request;
        request.kind = PromptRequest::Kind::MessageBox;
        request.owner = owner;
        request.caption = caption;
        request.text = text;
        request.flags = flags;
        INT_PTR answer = 0;
        if (answerer->Answer(request, &answer)) return static_cast<int>(answer);
    }
    return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

INT_PTR ShowDialog(UINT dialogId, HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                   DLGPROC proc, LPARAM initParam) {
    if (PromptAnswerer* answerer = g_answerer) {
        PromptRequest request;
        request.kind = PromptRequest::Kind::Dialog;
        request.owner = owner;
        request.dialogId = dialogId;
        request.instance = instance;
        request.dialogTemplate = dialogTemplate;
        request.dialogProc = proc;
        request.initParam = initParam;
        INT_PTR answer = 0;
        if (answerer->Answer(request, &answer)) return answer;
    }
    return DialogBoxIndirectParamW(instance, dialogTemplate, owner, proc, initParam);
}
