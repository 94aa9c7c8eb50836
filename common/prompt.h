// The one seam through which every message box and modal dialog of the
// library goes. Production shows the real thing; tests install an answerer.
#pragma once
#include <windows.h>
#include <string>

struct PromptRequest {
    enum class Kind { MessageBox, Dialog };
    Kind kind = Kind::MessageBox;
    HWND owner = nullptr;
    // Message boxes.
    std::wstring caption;
    std::wstring text;
    UINT flags = 0;
    // Dialogs: the resource id the template came from, and what the real call takes.
    UINT dialogId = 0;
    HINSTANCE instance = nullptr;
    LPCDLGTEMPLATEW dialogTemplate = nullptr;
    DLGPROC dialogProc = nullptr;
    LPARAM initParam = 0;
};

// Answers a prompt instead of the user. Return true with *answer set to
// answer it; return false to let the real box or dialog run (tests that
// drive real windows do that). Called on the prompting thread.
class PromptAnswerer {
public:
    virtual bool Answer(const PromptRequest& request, INT_PTR* answer) = 0;

protected:
    ~PromptAnswerer() = default;
};

// Installs an answerer for the whole process (null restores the real boxes);
// returns the previous one.
PromptAnswerer* SetPromptAnswerer(PromptAnswerer* answerer);

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);
INT_PTR ShowDialog(UINT dialogId, HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                   DLGPROC proc, LPARAM initParam);
