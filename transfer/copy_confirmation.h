// The questions of a copy or move into the module: replace a file (220),
// replace a folder (221), move a read-only or system file (28675 for one
// item, 28676 with Yes to All and Cancel for several).
#pragma once
#include <windows.h>

#include <string>

// What dialog 220 shows; also its creation parameter.
struct ReplaceFileQuestion {
    std::wstring name;      // the existing file's name
    bool readOnly = false;  // the existing file is read-only
    DWORD existingSize = 0;
    double existingDate = 0;
    DWORD newSize = 0;
    double newDate = 0;
};

// The creation parameter of dialogs 221, 28675 and 28676: the top line's text.
struct ConfirmationText {
    std::wstring text;
};

// Each shows its dialog modally through the prompt seam and returns the id
// of the button that ended it, or -1 when the dialog could not be shown.
INT_PTR AskReplaceFile(HWND owner, const ReplaceFileQuestion& question);
INT_PTR AskReplaceFolder(HWND owner, const std::wstring& folderName);
// textId: the read-only or the system-file question.
INT_PTR AskMoveFile(HWND owner, bool several, UINT textId, const std::wstring& fileName);

// The line under each file of dialog 220: size and modification date.
std::wstring ReplaceDetailsLine(DWORD size, double date);

INT_PTR CALLBACK ReplaceFileProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);
INT_PTR CALLBACK ConfirmationTextProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);
