// The view's ear on the module: the module-access server and the program's
// own worker threads call OnChange when something on the module changed.
#pragma once
#include <windows.h>

#include <string>

#include "common/com_object.h"
#include "module_access/module_access_h.h"

// What a change notification can ask of a view.
class ViewChangeTarget {
public:
    virtual HRESULT RefreshForChange() = 0;
    virtual void RemoveItemByPath(const std::wstring& path) = 0;

protected:
    ~ViewChangeTarget() = default;
};

class ViewChangeSink : public IModuleChangeSink, public RefCounted<ViewChangeSink> {
public:
    // `deleteMessages`: the search results list, which only takes "D:" messages.
    ViewChangeSink(ViewChangeTarget* target, bool deleteMessages)
        : target_(target), deleteMessages_(deleteMessages) {}

    // The view unbinds itself before it goes; later calls do nothing.
    void Unbind() { target_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP OnChange(BSTR message) override;

private:
    ViewChangeTarget* target_;
    bool deleteMessages_;
};
