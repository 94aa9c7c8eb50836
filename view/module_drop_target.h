// Where dragged PC files and module items land: on a view's list or pane
// (rows that are folders or drives take the drop themselves, icons dragged
// within one folder are only moved), or on a module folder the shell asks
// about. The transfer itself is the paste operation's.
#pragma once
#include <windows.h>
#include <oleidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>

#include "common/com_object.h"
#include "item_id/module_item_id.h"
#include "transfer/clipboard_formats.h"

class ModuleView;

// The effect a drag asks for, before anything the target itself knows:
// `keys` the key state, `allowed` what the source allows.
DWORD BaseDropEffect(bool moduleItems, bool pcFiles, DWORD keys, DWORD allowed, int windowsFamily);

// The automatic scroll while dragging over a list: how far to scroll
// (LVM_SCROLL's dx, dy), from the point in list coordinates, the list's
// client size, the hit test's flags, the step sizes and the top row's y.
struct ScrollStep {
    int dx = 0;
    int dy = 0;
};
struct AutoScrollInput {
    int viewMode = 4;               // 1, 2 icons; 3 list; 4 details
    POINT point = {};
    SIZE client = {};
    UINT hitFlags = 0;              // LVHT_ABOVE, LVHT_BELOW, LVHT_TOLEFT, LVHT_TORIGHT
    SIZE icon = {};                 // SM_CXICON, SM_CYICON
    int rowWidth = 0;               // list mode: the hit (or first) row's width
    int rowHeight = 0;              // details mode: its height
    int topRowY = 0;                // details mode: the top row's position
};
ScrollStep AutoScrollStep(const AutoScrollInput& in);

class ModuleDropTarget : public IDropTarget, public RefCounted<ModuleDropTarget> {
public:
    // A target on a view's list or pane.
    static HRESULT ForView(ModuleView* view, IDropTarget** out);
    // A module folder's target: drops go into `item`'s path when it is a
    // module item, else into `folderPath`.
    static HRESULT ForFolder(const std::wstring& folderPath, LPCITEMIDLIST item, HWND owner, REFIID iid,
                             void** out);

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    ModuleDropTarget() = default;

    DWORD Base(DWORD keys, DWORD allowed) const;
    DWORD OverEffect(DWORD keys, POINTL point, DWORD allowed);
    // The row under a screen point that takes drops (a folder or drive hit
    // on its icon or label), or -1.
    int TargetRow(POINTL point) const;
    void ClearHighlight();
    DWORD AutoScroll(POINTL point);
    bool FromThisView() const;
    DWORD ChooseFromMenu(DWORD keys, POINTL point, DWORD allowed);
    void TakeData(IDataObject* data);

    std::wstring path_;
    Microsoft::WRL::ComPtr<IShellView> viewRef_;
    ModuleView* view_ = nullptr;
    IdListHolder item_;
    HWND owner_ = nullptr;
    Microsoft::WRL::ComPtr<IDataObject> data_;
    FormatInventory inventory_;
    DWORD keys_ = 0;
    DWORD lastScroll_ = 0;
};
