#include "view/module_drop_target.h"

#include <commctrl.h>

#include "common/resource_module.h"
#include "handlers/view_menus.h"
#include "resources/command_ids.h"
#include "common/windows_family.h"
#include "transfer/paste_operation.h"
#include "transfer/view_address_format.h"
#include "view/module_view.h"
#include "view/view_state.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr UINT kDropMove = CMD_DROP_MOVE;
constexpr UINT kDropCopy = CMD_DROP_COPY;

constexpr DWORD kButtons = MK_LBUTTON | MK_RBUTTON;
constexpr DWORD kScrollInterval = 200;


}  // namespace

DWORD BaseDropEffect(bool moduleItems, bool pcFiles, DWORD keys, DWORD allowed, int windowsFamily) {
    if (!moduleItems && !pcFiles) return DROPEFFECT_NONE;
    if (!(keys & kButtons)) return DROPEFFECT_NONE;
    if (keys & MK_SHIFT) {
        if (!(allowed & DROPEFFECT_MOVE)) return DROPEFFECT_NONE;
        // The oldest consumer line cannot move PC files through us.
        return windowsFamily == 0 && !moduleItems ? DROPEFFECT_COPY : DROPEFFECT_MOVE;
    }
    return (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

ScrollStep AutoScrollStep(const AutoScrollInput& in) {
    ScrollStep step;
    const POINT& p = in.point;
    auto horizontal = [&](int amount) {
        if ((in.hitFlags & LVHT_TOLEFT) || p.x < in.icon.cx) step.dx = -amount;
        else if ((in.hitFlags & LVHT_TORIGHT) || p.x > in.client.cx - in.icon.cx) step.dx = amount;
    };
    if (IsIconMode(in.viewMode)) {
        if ((in.hitFlags & LVHT_ABOVE) || p.y < in.icon.cy) step.dy = -in.icon.cy;
        else if ((in.hitFlags & LVHT_BELOW) || p.y > in.client.cy - in.icon.cy) step.dy = in.icon.cy;
        horizontal(in.icon.cx);
    } else if (in.viewMode == 3) {
        horizontal(in.rowWidth > 0 ? in.rowWidth : in.icon.cx);
    } else {
        int amount = in.rowHeight;
        if ((in.hitFlags & LVHT_ABOVE) || p.y < in.topRowY + amount) step.dy = -amount;
        else if ((in.hitFlags & LVHT_BELOW) || p.y > in.client.cy - amount) step.dy = amount;
    }
    return step;
}

HRESULT ModuleDropTarget::ForView(ModuleView* view, IDropTarget** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!view) return E_INVALIDARG;
    ModuleDropTarget* target = new (std::nothrow) ModuleDropTarget();
    if (!target) return E_OUTOFMEMORY;
    target->path_ = view->FolderPath();
    target->view_ = view;
    target->viewRef_ = static_cast<IShellView*>(view);
    target->owner_ = view->ViewWindow();
    *out = target;
    return S_OK;
}

HRESULT ModuleDropTarget::ForFolder(const std::wstring& folderPath, LPCITEMIDLIST item, HWND owner, REFIID iid,
                                    void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ModuleDropTarget* target = new (std::nothrow) ModuleDropTarget();
    if (!target) return E_OUTOFMEMORY;
    target->path_ = folderPath;
    target->owner_ = owner;
    HRESULT hr = item ? target->item_.Assign(item) : S_OK;
    if (SUCCEEDED(hr)) hr = target->QueryInterface(iid, out);
    target->Release();
    return hr;
}

STDMETHODIMP ModuleDropTarget::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDropTarget) {
        *out = static_cast<IDropTarget*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

void ModuleDropTarget::TakeData(IDataObject* data) {
    data_ = data;
    inventory_ = FormatInventory();
    TakeFormatInventory(data, &inventory_);
}

DWORD ModuleDropTarget::Base(DWORD keys, DWORD allowed) const {
    return BaseDropEffect(inventory_.CanGet(FormatInventory::DirectoryData), inventory_.CanGet(FormatInventory::Hdrop),
                          keys, allowed, WindowsFamily());
}

bool ModuleDropTarget::FromThisView() const {
    return view_ && data_ && IsFromView(data_.Get(), static_cast<IShellView*>(view_));
}

int ModuleDropTarget::TargetRow(POINTL point) const {
    HWND list = view_ ? view_->ListWindow() : nullptr;
    if (!list) return -1;
    LVHITTESTINFO hit = {};
    hit.pt = {point.x, point.y};
    ScreenToClient(list, &hit.pt);
    int row = static_cast<int>(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row < 0 || !(hit.flags & (LVHT_ONITEMICON | LVHT_ONITEMLABEL))) return -1;
    LPCITEMIDLIST item = view_->RowItem(row);
    return item && IsContainerItem(item) ? row : -1;
}

void ModuleDropTarget::ClearHighlight() {
    HWND list = view_ ? view_->ListWindow() : nullptr;
    if (!list) return;
    LVITEMW state = {};
    state.stateMask = LVIS_DROPHILITED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
}

DWORD ModuleDropTarget::AutoScroll(POINTL point) {
    HWND list = view_ ? view_->ListWindow() : nullptr;
    if (!list) return 0;
    DWORD now = GetTickCount();
    if (lastScroll_ && now - lastScroll_ < kScrollInterval) return 0;
    AutoScrollInput in;
    in.viewMode = view_->ViewMode();
    in.point = {point.x, point.y};
    ScreenToClient(list, &in.point);
    RECT client = {};
    GetClientRect(list, &client);
    in.client = {client.right, client.bottom};
    LVHITTESTINFO hit = {};
    hit.pt = in.point;
    int row = static_cast<int>(SendMessageW(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    in.hitFlags = hit.flags;
    in.icon = {GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)};
    RECT rowRect = {};
    rowRect.left = LVIR_BOUNDS;
    if (SendMessageW(list, LVM_GETITEMRECT, row >= 0 ? row : 0, reinterpret_cast<LPARAM>(&rowRect))) {
        in.rowWidth = rowRect.right - rowRect.left;
        in.rowHeight = rowRect.bottom - rowRect.top;
    }
    if (in.rowHeight <= 0) in.rowHeight = GetSystemMetrics(SM_CYSMICON);
    POINT top = {};
    int topRow = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    if (SendMessageW(list, LVM_GETITEMPOSITION, topRow, reinterpret_cast<LPARAM>(&top))) in.topRowY = top.y;
    ScrollStep step = AutoScrollStep(in);
    if (!step.dx && !step.dy) return 0;
    if (!SendMessageW(list, LVM_SCROLL, step.dx, step.dy)) return 0;
    lastScroll_ = now ? now : 1;
    return DROPEFFECT_SCROLL;
}

DWORD ModuleDropTarget::OverEffect(DWORD keys, POINTL point, DWORD allowed) {
    DWORD effect = Base(keys, allowed);
    if (!view_ || effect == DROPEFFECT_NONE) return effect;
    DWORD scroll = AutoScroll(point);
    ClearHighlight();
    int row = TargetRow(point);
    if (row >= 0) {
        LVITEMW state = {};
        state.stateMask = state.state = LVIS_DROPHILITED;
        SendMessageW(view_->ListWindow(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    }
    effect |= scroll;
    if (view_->Kind() == ListKind::Search && row < 0) return DROPEFFECT_NONE;
    if (!inventory_.CanGet(FormatInventory::DirectoryData) || (keys & MK_RBUTTON)) return effect;
    if (!FromThisView()) return effect;
    bool ontoDragged = row >= 0 && IsDraggedFolder(ItemPath(view_->RowItem(row)), data_.Get());
    if (IsIconMode(view_->ViewMode())) {
        // Icons dropped beside themselves are only moved.
        if ((keys & MK_LBUTTON) && !(keys & MK_CONTROL) && (row < 0 || ontoDragged)) effect = DROPEFFECT_MOVE;
    } else if (row < 0 || ontoDragged) {
        effect = DROPEFFECT_NONE;
    }
    return effect;
}

STDMETHODIMP ModuleDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) {
    if (!data || !effect) return E_POINTER;
    TakeData(data);
    *effect = OverEffect(keys, point, *effect);
    keys_ = keys;
    return S_OK;
}

STDMETHODIMP ModuleDropTarget::DragOver(DWORD keys, POINTL point, DWORD* effect) {
    if (!effect) return E_POINTER;
    *effect = data_ ? OverEffect(keys, point, *effect) : DROPEFFECT_NONE;
    keys_ = keys;
    return S_OK;
}

STDMETHODIMP ModuleDropTarget::DragLeave() {
    ClearHighlight();
    inventory_ = FormatInventory();
    data_.Reset();
    return S_OK;
}

DWORD ModuleDropTarget::ChooseFromMenu(DWORD keys, POINTL point, DWORD allowed) {
    // A copy of the shared menu's drop popup, changed freely and then destroyed.
    HMENU menu = CreatePopupMenu();
    if (!menu) return DROPEFFECT_NONE;
    HMENU popup = ViewMenuPopup(kPopupDrop) && CopyMenuItems(ViewMenuPopup(kPopupDrop), menu, -1) > 0 ? menu : nullptr;
    bool moduleItems = inventory_.CanGet(FormatInventory::DirectoryData);
    DWORD effect = DROPEFFECT_NONE;
    if (popup) {
        if (WindowsFamily() == 0 && !moduleItems) DeleteMenu(popup, kDropMove, MF_BYCOMMAND);
        if ((keys & MK_SHIFT) && (allowed & DROPEFFECT_MOVE)) SetMenuDefaultItem(popup, kDropMove, FALSE);
        else if (!(keys & MK_SHIFT) && (allowed & DROPEFFECT_COPY)) SetMenuDefaultItem(popup, kDropCopy, FALSE);
        UINT chosen = static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON,
                                                       point.x, point.y, 0, owner_, nullptr));
        if (chosen == kDropMove) effect = DROPEFFECT_MOVE;
        else if (chosen == kDropCopy) effect = DROPEFFECT_COPY;
    }
    DestroyMenu(menu);
    if (view_) view_->EndSimpleStatus();
    return effect;
}

STDMETHODIMP ModuleDropTarget::Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) {
    if (!data || !effect) return E_POINTER;
    // The paste pumps messages: the view may let go of us meanwhile.
    ComPtr<ModuleDropTarget> self(this);
    ClearHighlight();
    TakeData(data);
    const DWORD allowed = *effect;
    const DWORD either = keys | keys_;
    const bool moduleItems = inventory_.CanGet(FormatInventory::DirectoryData);
    DWORD result = DROPEFFECT_NONE;
    if (moduleItems || inventory_.CanGet(FormatInventory::Hdrop)) {
        if (either & MK_LBUTTON) result = Base(keys | MK_LBUTTON, allowed);
        else if (either & MK_RBUTTON) result = ChooseFromMenu(keys, point, allowed);
    }

    std::wstring destination = path_;
    bool refused = false;
    if (!view_) {
        LPCITEMIDLIST item = item_ ? LastItem(item_.get()) : nullptr;
        if (item && IsValidItemId(item)) destination = ItemPath(item);
    } else {
        int row = TargetRow(point);
        if (row < 0) {
            refused = view_->Kind() == ListKind::Search;
        } else {
            // A copy: reading a foreign data object may run messages, and a
            // refresh then frees the row's identifier.
            const std::wstring rowPath = ItemPath(view_->RowItem(row));
            if (IsDraggedFolder(rowPath, data)) result = DROPEFFECT_MOVE;
            else destination = rowPath;
        }
    }

    if (refused) {
        result = DROPEFFECT_NONE;
    } else if (moduleItems && view_ && (((either & MK_LBUTTON) && !(keys & MK_CONTROL)) || result == DROPEFFECT_MOVE) &&
               FromThisView() && lstrcmpiW(destination.c_str(), path_.c_str()) == 0) {
        // Icons dragged within their own folder: moved on screen, nothing transferred.
        HWND list = view_->ListWindow();
        POINT start = view_->DragStartPoint();
        int dx = point.x - start.x, dy = point.y - start.y;
        int row = -1;
        while ((row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
            POINT at = {};
            if (!SendMessageW(list, LVM_GETITEMPOSITION, row, reinterpret_cast<LPARAM>(&at))) continue;
            SendMessageW(list, LVM_SETITEMPOSITION, row, MAKELPARAM(at.x + dx, at.y + dy));
        }
        result = DROPEFFECT_NONE;
    } else if (result != DROPEFFECT_NONE) {
        volatile LONG done = 0;
        HRESULT hr = StartPasteOperation(destination, owner_, data, result & ~DROPEFFECT_SCROLL, true, &done);
        if (FAILED(hr) || !done) result = DROPEFFECT_NONE;
    }
    inventory_ = FormatInventory();
    data_.Reset();
    *effect = result;
    return S_OK;
}
