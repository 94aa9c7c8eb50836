// The questions asked before and while deleting: several items (208), one
// item (214) and a read-only file met on the way (213).
#pragma once
#include <windows.h>

#include <string>

enum class DeleteConfirmMode {
    File = 1,
    Folder = 2,
    Several = 3,
    ReadOnlyFile = 4,
    ReadOnlyFolder = 5,
};

// What the dialog procedure receives as its creation parameter.
struct DeleteConfirmation {
    DeleteConfirmMode mode;
    std::wstring name;
};

// Shows the dialog modally through the prompt seam and returns the id of the
// button that ended it (-1 when it could not be shown).
INT_PTR ConfirmDelete(UINT dialogId, HWND owner, DeleteConfirmMode mode, const std::wstring& name);

// Hides Help, fills title and text from the mode, ends with any other command's id.
INT_PTR CALLBACK DeleteConfirmationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);
