// Every window class the library registers, in one place: made when the
// library loads, removed when it unloads, so that no class outlives the code
// its procedure points into.
#pragma once
#include <windows.h>

extern const wchar_t kParentWindowClass[];   // hidden owners of dialog threads (host instance)
extern const wchar_t kWebViewWindowClass[];  // the information pane
extern const wchar_t kViewWindowClass[];     // the folder's view window
extern const wchar_t kPasteReplyWindowClass[];  // a paste's messages back to its source

// Posted to a view window when the items of a Cut are no longer on their
// way: its rows lose their cut marks (hidden items keep theirs).
constexpr UINT kClearCutMarksMessage = WM_APP + 2;

// A window of the view or paste-reply class forwards its messages to the handler given as
// the creation parameter.
class WindowMessageHandler {
public:
    virtual LRESULT OnWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~WindowMessageHandler() = default;
};

// The module holding the library's code (the DLL, or the program that links
// the code directly).
HINSTANCE CodeModule();

// Registers whatever class is missing; the load calls it, and so does every
// creator, for programs that link the code without loading the DLL.
bool RegisterModuleWindowClasses();
void UnregisterModuleWindowClasses();
