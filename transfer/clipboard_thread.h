// Cut and Copy of module items: a ModuleDataObject made, filled and put on
// the clipboard by a clipboard thread of its own, which serves it (and the
// fresh copies it puts back during a transfer) until the last of them dies.
// The view's Cut/Copy commands and the context menu call these.
#pragma once
#include <windows.h>
#include <oleidl.h>
#include <shtypes.h>

#include <string>

#include "module_access/module_access_h.h"

// The bookkeeping of one clipboard thread, shared by the objects it serves.
// `live` counts them; the last one to die ends the thread.
// `current` is the one it last put on the clipboard (touched on that thread
// only). Requests from other threads go to its message-only window, which
// every message pump of the thread serves (a transfer's progress included).
struct ClipboardThreadState {
    DWORD threadId = 0;
    HWND window = nullptr;
    volatile LONG live = 1;
    IDataObject* current = nullptr;
};

// Messages to a clipboard thread's window: destroy an object (lParam) let go
// on another thread; marshal the clipboard's object for another thread.
constexpr UINT kDestroyDataObjectMessage = WM_APP + 0x4D1;
constexpr UINT kMarshalClipboardObjectMessage = WM_APP + 0x4D2;

// Puts the items (identifier lists relative to folderPath) on the clipboard
// with "Preferred DropEffect" 2 (Cut) or 1 (Copy). `view` (its address is
// the view token) and `sink` may be null; both are marshalled to the
// clipboard thread. A selection that starts with a drive only beeps (S_OK).
// A failure is shown to the user and returned.
HRESULT CutOrCopyToClipboard(const std::wstring& folderPath, IUnknown* view,
                             const LPCITEMIDLIST* items, UINT count, DWORD dropEffect,
                             IModuleChangeSink* sink);
inline HRESULT CutItemsToClipboard(const std::wstring& folderPath, IUnknown* view,
                                   const LPCITEMIDLIST* items, UINT count,
                                   IModuleChangeSink* sink) {
    return CutOrCopyToClipboard(folderPath, view, items, count, DROPEFFECT_MOVE, sink);
}
inline HRESULT CopyItemsToClipboard(const std::wstring& folderPath, IUnknown* view,
                                    const LPCITEMIDLIST* items, UINT count,
                                    IModuleChangeSink* sink) {
    return CutOrCopyToClipboard(folderPath, view, items, count, DROPEFFECT_COPY, sink);
}

// Makes the object on a clipboard thread and puts it on the clipboard; *out
// gets a pointer to it marshalled to the calling thread. No message.
HRESULT MakeClipboardDataObject(const std::wstring& folderPath, IUnknown* view,
                                const LPCITEMIDLIST* items, UINT count, DWORD preferredEffect,
                                IModuleChangeSink* sink, IDataObject** out);

// The clipboard's data object for a paste. When a clipboard thread of this
// process serves it, the object itself (marshalled here), so that "Paste
// Succeeded" and the other DWORD formats reach it (OleGetClipboard's own
// object takes no SetData); otherwise OleGetClipboard's.
HRESULT GetClipboardDataObject(IDataObject** out);

// Handle of the last clipboard thread started in this process (tests wait
// for it to end); the caller closes it. Null when none was started.
HANDLE TakeLastClipboardThread();
