// The module's help: Ktx-help.hlp beside the registered library, opened with
// the platform's help engine (finder first, then contents).
#pragma once
#include <windows.h>

#include <string>

// The help file's path from the folder class's registered InProcServer32
// value; empty when the value is missing, shorter than one character or not
// terminated within 520 bytes.
std::wstring HelpFilePath();

// Shows the help file; no registered path shows nothing. A help file that is
// not there gets a message instead of the help engine's own complaint.
void OpenHelp(HWND owner = nullptr);
