// Reference counting shared by every COM object of the library. Each live
// object holds one count in the module-wide object count for its lifetime.
#pragma once
#include <windows.h>
#include <unknwn.h>
#include <new>

#include "common/module_count.h"

class ModuleObjectLifetime {
public:
    ModuleObjectLifetime() { ModuleAddRef(); }
    ModuleObjectLifetime(const ModuleObjectLifetime&) { ModuleAddRef(); }
    ModuleObjectLifetime& operator=(const ModuleObjectLifetime&) { return *this; }
    ~ModuleObjectLifetime() { ModuleRelease(); }
};

// Implements AddRef/Release for a class whose QueryInterface is its own:
//   class Foo : public IFoo, public RefCounted<Foo> { ... };
//   STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
//   STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
template <class Derived>
class RefCounted : private ModuleObjectLifetime {
protected:
    RefCounted() = default;
    virtual ~RefCounted() = default;
    ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG ReleaseImpl() {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete static_cast<Derived*>(this);
        return static_cast<ULONG>(left);
    }

private:
    volatile LONG refs_ = 1;
};

// Creates an object with a reference count of one, or answers E_OUTOFMEMORY.
template <class T, class... Args>
HRESULT MakeComObject(T** out, Args&&... args) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) T(static_cast<Args&&>(args)...);
    return *out ? S_OK : E_OUTOFMEMORY;
}
