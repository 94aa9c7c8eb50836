// Failure texts of the module-access server and the one way a failure is
// shown to the user. E_OPERATION_CANCELLED is never shown: callers test for
// it before reporting.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <string>

// A failure code as the user reads it: the code it is reported as, and its
// text (empty for a success code).
struct ModuleErrorInfo {
    HRESULT code = S_OK;
    std::wstring text;
};

// The table of the server's own failures: cancellation becomes the system's
// "cancelled" code, the port and link failures get their own texts, anything
// else keeps its code and takes the system's text.
ModuleErrorInfo MakeModuleErrorInfo(HRESULT hr);

// The thread's current error-information description when there is one,
// else the system's text for the code, else this library's own text (the
// link failures, a stopped or busy server), else the code in hexadecimal;
// never empty for a failure, empty for a success code.
// Takes the thread's error information (GetErrorInfo clears it).
std::wstring ErrorText(HRESULT hr);
// The system's message text for a code alone (empty when it has none).
std::wstring SystemErrorText(HRESULT hr);

// Installs error information carrying the code's text for whoever receives
// the failure next; returns hr unchanged.
HRESULT SetModuleErrorInfo(HRESULT hr);

// Shows one failure in a message box owned by the thread's first top-level
// window (none: unowned). An empty itemName shows ErrorText(hr) under
// "General"; otherwise "<name> cannot be copied: <text>".
void ReportModuleError(HRESULT hr, const wchar_t* itemName);
// The window ReportModuleError takes as owner: the first top-level window of
// the calling thread, or null.
HWND FindThreadOwnerWindow();
