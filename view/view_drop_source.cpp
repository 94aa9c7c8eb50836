#include "view/view_drop_source.h"

#include "transfer/clipboard_formats.h"
#include "transfer/module_data_object.h"
#include "view/module_view.h"

using Microsoft::WRL::ComPtr;

STDMETHODIMP ViewDropSource::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDropSource) {
        *out = static_cast<IDropSource*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ViewDropSource::QueryContinueDrag(BOOL escape, DWORD keys) {
    if (escape) return DRAGDROP_S_CANCEL;
    DWORD button = button_ == 2 ? MK_RBUTTON : MK_LBUTTON;
    if (!(keys & button)) {
        if (data_) WriteDwordFormat(data_.Get(), ClipboardFormat(ModuleClipboardFormat::Converted), 1);
        return DRAGDROP_S_DROP;
    }
    return S_OK;
}

// ---------------------------------------------------------------------------
// The view's side: drags out of the list and GetItemObject.

void ModuleView::StartDrag(int button) {
    std::vector<LPCITEMIDLIST> items = SelectedItems();
    if (items.empty()) return;
    DWORD pos = GetMessagePos();
    dragStart_.x = static_cast<short>(LOWORD(pos));
    dragStart_.y = static_cast<short>(HIWORD(pos));

    ComPtr<ModuleView> self(this);
    ComPtr<IDataObject> data;
    IModuleChangeSink* sink = ResultsSink();
    if (FAILED(CreateModuleDataObject(path_, static_cast<IShellView*>(this), items.data(),
                                      static_cast<UINT>(items.size()), 0, sink, false, &data)))
        return;
    ComPtr<ViewDropSource> source;
    if (FAILED(MakeComObject(source.ReleaseAndGetAddressOf(), static_cast<IShellView*>(this), button, data.Get())))
        return;
    DWORD allowed = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    if (kind_ == ListKind::Root) {
        // Drives go nowhere.
        WriteDwordFormat(data.Get(), ClipboardFormat(ModuleClipboardFormat::PreferredDropEffect), 0);
        allowed = DROPEFFECT_NONE;
    }
    DWORD effect = DROPEFFECT_NONE;
    HRESULT hr = DoDragDrop(data.Get(), source.Get(), allowed, &effect);
    if (hr == DRAGDROP_S_DROP && (effect & DROPEFFECT_MOVE)) {
        WriteDwordFormat(data.Get(), ClipboardFormat(ModuleClipboardFormat::PerformedDropEffect), DROPEFFECT_MOVE);
        WriteDwordFormat(data.Get(), ClipboardFormat(ModuleClipboardFormat::PasteSucceeded), DROPEFFECT_MOVE);
    }
}

STDMETHODIMP ModuleView::GetItemObject(UINT what, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IDataObject) return E_NOINTERFACE;
    std::vector<LPCITEMIDLIST> items;
    if (what == SVGIO_SELECTION) {
        items = SelectedItems();
    } else if (what == SVGIO_ALLVIEW) {
        items.assign(items_.items(), items_.items() + items_.count());
    } else {
        return E_INVALIDARG;
    }
    IModuleChangeSink* sink = ResultsSink();
    ComPtr<IDataObject> data;
    HRESULT hr = CreateModuleDataObject(path_, static_cast<IShellView*>(this), items.data(),
                                        static_cast<UINT>(items.size()), DROPEFFECT_COPY, sink, false, &data);
    if (FAILED(hr)) return hr;
    return data->QueryInterface(iid, out);
}
