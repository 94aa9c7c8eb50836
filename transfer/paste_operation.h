// Paste and drop into a module folder, and the small services around them:
// whether Paste can work, whether a drop target is one of the dragged
// folders, opening and exploring module items, and the message pumps.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <shtypes.h>

#include <string>
#include <vector>

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

// The view's Explore command; any other command opens.
constexpr UINT kExploreCommand = 8213;

// Opens (or explores) every folder or drive among `items` (children of the
// folder whose absolute list is `folder`) in a window of its own, except the
// one that is `contextItem`. Files are not opened: when there was one, one
// message says so afterwards.
HRESULT OpenItems(UINT command, HWND owner, LPCITEMIDLIST folder, const LPCITEMIDLIST* items,
                  UINT count, LPCITEMIDLIST contextItem);
// The same for items named by module path.
HRESULT OpenItemPaths(UINT command, HWND owner, const std::vector<std::wstring>& paths,
                      LPCITEMIDLIST contextItem);
// Opens one module folder.
HRESULT OpenFolderPath(UINT command, HWND owner, const std::wstring& path);

// Dispatches every waiting message of this thread.
void PumpMessages();
// The same, offering each message to `dialog` first.
void PumpDialogMessages(HWND dialog);
