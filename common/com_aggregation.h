// Aggregation support for the library's creatable classes. An aggregated
// object's own IUnknown methods delegate to the outer object; a separate inner
// unknown, held only by the outer object, decides the object's lifetime.
#pragma once
#include <windows.h>
#include <unknwn.h>
#include <new>

class Aggregatable {
public:
    // QueryInterface over the object's own interfaces, AddRef'ing the answer
    // through the (possibly delegating) AddRef.
    virtual HRESULT InternalQueryInterface(REFIID iid, void** out) = 0;
    // Drops the object's own reference (the one it was created with).
    virtual ULONG InternalRelease() = 0;

    void SetOuterUnknown(IUnknown* outer) { outer_ = outer; }
    IUnknown* OuterUnknown() const { return outer_; }

protected:
    ~Aggregatable() = default;
    // Not counted: the outer object owns the aggregate, not the other way round.
    IUnknown* outer_ = nullptr;
};

// The non-delegating unknown of an aggregated object.
class AggregateInner final : public IUnknown {
public:
    explicit AggregateInner(Aggregatable* object) : object_(object) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return object_->InternalQueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) {
            object_->InternalRelease();
            delete this;
        }
        return static_cast<ULONG>(left);
    }

private:
    Aggregatable* object_;
    volatile LONG refs_ = 1;
};

// Creates a T (default-constructed, reference count one) alone or as the inner
// part of `outer`. Aggregation is only possible when IUnknown is asked for.
template <class T>
HRESULT CreateAggregatableInstance(IUnknown* outer, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T();
    if (!object) return E_OUTOFMEMORY;
    if (!outer) {
        HRESULT hr = object->InternalQueryInterface(iid, out);
        object->InternalRelease();
        return hr;
    }
    AggregateInner* inner = new (std::nothrow) AggregateInner(object);
    if (!inner) {
        object->InternalRelease();
        return E_OUTOFMEMORY;
    }
    object->SetOuterUnknown(outer);
    *out = static_cast<IUnknown*>(inner);
    return S_OK;
}
