// Renaming in place: the shell's HandleRename and the list's label edit,
// which renames on the module before the new label is accepted.
#include "view/module_view.h"

#include "module_access/call_wrappers.h"
#include "module_access/listing.h"
#include "view/view_cell_texts.h"

using Microsoft::WRL::ComPtr;

namespace {

bool SameItem(LPCITEMIDLIST a, LPCITEMIDLIST b) {
    bool folderA = (ItemAttributes(a) & FILE_ATTRIBUTE_DIRECTORY) != 0;
    bool folderB = (ItemAttributes(b) & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return folderA == folderB && lstrcmpiW(ItemPath(a), ItemPath(b)) == 0;
}

// Dispatches what is waiting, then sleeps until more arrives (or a short
// while passes, so that a flag cleared by a nested call is seen). A quit
// request stays in the queue for the thread's own loop.
bool PumpOnce() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    return true;
}

}  // namespace

STDMETHODIMP ModuleView::HandleRename(PCUITEMID_CHILD item) {
    if (!item) return E_POINTER;
    if (!AsModuleItem(item)) return E_INVALIDARG;
    if (!access_) return E_UNEXPECTED;
    // Messages run while we wait: the browser may let the view go meanwhile.
    ComPtr<ModuleView> self(this);
    // A copy: a refresh during the edit frees the rows' identifiers.
    if (FAILED(renameItem_.Assign(item))) return E_OUTOFMEMORY;
    renameInProgress_ = true;
    HRESULT hr = SelectAndPositionItem(item, SVSI_EDIT | SVSI_ENSUREVISIBLE, nullptr);
    if (FAILED(hr)) {
        renameInProgress_ = false;
        renameItem_.reset();
        return hr;
    }
    editEnded_ = false;
    volatile bool wait = true;
    renameWait_ = &wait;
    while (wait && !editEnded_) {
        if (!PumpOnce()) break;
    }
    renameWait_ = nullptr;
    renameInProgress_ = false;
    renameItem_.reset();
    return wait ? S_OK : E_FAIL;
}

LRESULT ModuleView::OnBeginLabelEdit(NMLVDISPINFOW* info) {
    if (renameInProgress_) return FALSE;
    LPCITEMIDLIST item = (info->item.mask & LVIF_PARAM) && info->item.lParam
                             ? reinterpret_cast<LPCITEMIDLIST>(info->item.lParam)
                             : RowItem(info->item.iItem);
    // An edit the list starts itself (a click on a selected name) renames
    // when it ends. No waiting here: the list goes on setting up its edit box
    // after this notice, and a view destroyed meanwhile would pull the list
    // away from under it.
    if (!item || FAILED(renameItem_.Assign(item))) return TRUE;
    renameInProgress_ = true;
    listStartedEdit_ = true;
    editEnded_ = false;
    return FALSE;
}

LRESULT ModuleView::OnEndLabelEdit(NMLVDISPINFOW* info) {
    BOOL accept = FALSE;
    int row = info->item.iItem;
    LPCITEMIDLIST shown = info->item.pszText ? RowItem(row) : nullptr;
    // Changes on the module may have removed or reordered the rows while the
    // name was typed: the item the edit began on is the one renamed.
    LPCITEMIDLIST edited = shown;
    if (info->item.pszText && renameItem_ && !(shown && SameItem(shown, renameItem_.get())))
        edited = renameItem_.get();
    // The server's change notifications arrive during its calls and may
    // refresh the view, freeing the rows' identifiers: work on a copy.
    IdListHolder copy;
    LPCITEMIDLIST old = edited && SUCCEEDED(copy.Assign(edited)) ? copy.get() : nullptr;
    std::wstring newPath;
    if (old && SUCCEEDED(RenameItem(access_.Get(), list_, old, info->item.pszText, &newPath))) {
        IdListHolder renamed;
        if (SUCCEEDED(GetItemRecord(newPath.c_str(), access_.Get(), renamed.out())) && renamed) {
            for (UINT i = 0; i < items_.count(); ++i) {
                if (!SameItem(items_[i], old)) continue;
                LPITEMIDLIST previous = items_.items()[i];
                LPITEMIDLIST fresh = renamed.release();
                items_.items()[i] = fresh;
                // Every row that showed the old identifier shows the new one.
                for (int r = 0, rows = ItemCount(); r < rows; ++r) {
                    if (RowItem(r) != previous) continue;
                    LVITEMW change = {};
                    change.mask = LVIF_PARAM;
                    change.iItem = r;
                    change.lParam = reinterpret_cast<LPARAM>(fresh);
                    SendMessageW(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&change));
                }
                ShellFree(previous);
                // The edited row takes the new label only when it is still the item's.
                accept = RowItem(row) == fresh ? TRUE : FALSE;
                break;
            }
        }
    }
    editEnded_ = true;
    if (listStartedEdit_) {
        listStartedEdit_ = false;
        renameInProgress_ = false;
        renameItem_.reset();
    }
    return accept;
}

void ModuleView::EndRunningLabelEdit() {
    if (!renameInProgress_ || !list_) return;
    HWND edit = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETEDITCONTROL, 0, 0));
    // Taking the focus from the edit box ends the edit with its text.
    if (edit && GetFocus() == edit) SetFocus(list_);
}
