// The standard class object of each creatable class. One per class, created
// on first request and kept until the library unloads. References held by
// clients count in the module's object count; the object map's own does not,
// so a kept class object does not pin the library.
#pragma once
#include <windows.h>
#include <unknwn.h>

// Creates an instance of one class, aggregated when `outer` is given.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(InstanceCreator create) : create_(create) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    // The object map's own reference, dropped when the library unloads.
    void ReleaseFromMap();

private:
    ~ClassFactory() = default;
    InstanceCreator create_;
    volatile LONG refs_ = 1;
};
