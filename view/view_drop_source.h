// The source side of a drag out of the view's list: it tells a drop by the
// button that started the drag, and marks the data object on the way
// ("QEL SNE Converted") so that the module's own targets know the drop came
// from a view.
#pragma once
#include <windows.h>
#include <oleidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "common/com_object.h"

class ViewDropSource : public IDropSource, public RefCounted<ViewDropSource> {
public:
    // `button`: 1 left, 2 right.
    ViewDropSource(IShellView* view, int button, IDataObject* data) : view_(view), button_(button), data_(data) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override;
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    Microsoft::WRL::ComPtr<IShellView> view_;
    int button_;
    Microsoft::WRL::ComPtr<IDataObject> data_;
};
