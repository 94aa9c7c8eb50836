// Paste and drop into a module folder, and the small services around them:
// whether Paste can work, whether a drop target is one of the dragged
// folders, and the message pumps. (Opening and exploring module items lives
// in handlers/open_items.h.)
#pragma once
#include <windows.h>
#include <objidl.h>

#include <string>

// Pastes `data` (null: the clipboard's object) into the module folder at
// `destination` on a worker thread of its own. `effect` is the drop effect
// (0: the source's "Preferred DropEffect"). With `wait` it returns when the
// worker has ended, pumping this thread's messages every 100 ms, and gives
// the worker's exit code (S_OK once the data was received and usable);
// without it, it returns at once. *done (when given) is cleared now and set
// to 1 only when every item arrived whole: a drop target reports a move back
// to its source only then. An empty destination only beeps. E_FAIL without a
// message when the data carries neither PC files nor module items.
HRESULT StartPasteOperation(const std::wstring& destination, HWND owner, IDataObject* data,
                            DWORD effect, bool wait, volatile LONG* done);

// True when the clipboard holds PC files or module items.
bool CanPaste();

// True when `data` carries module items and one of its folders or drives has
// exactly this module path (case-insensitive).
bool IsDraggedFolder(const std::wstring& path, IDataObject* data);

// Dispatches every waiting message of this thread.
void PumpMessages();
// The same, offering each message to `dialog` first.
void PumpDialogMessages(HWND dialog);
