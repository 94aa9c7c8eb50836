// Failures as a device gives them: the result code, and a description in the
// thread's error information for whoever receives the failure.
#pragma once
#include <windows.h>

#include <string>

namespace substitute {

// Sets an error-information object with `description` (none when empty) and
// returns `hr`.
HRESULT ReportFailure(HRESULT hr, const std::wstring& description);

// ReportFailure with the Win32 code's own system text after `what`.
HRESULT ReportWin32Failure(DWORD error, const std::wstring& what);

}  // namespace substitute
