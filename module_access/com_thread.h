// The per-thread COM set-up of every thread that talks to the module-access
// server: OLE initialised, and a message filter that keeps retrying calls the
// busy server rejects. Threads bracket their server work in
// EnterComThread/LeaveComThread; brackets nest.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <objidl.h>

#include "common/com_object.h"

// The thread's record, which is also the thread's message filter.
class ThreadComContext : public IMessageFilter, public RefCounted<ThreadComContext> {
public:
    // Milliseconds COM waits before retrying a call the server asked to retry later.
    static constexpr DWORD kRetryDelay = 250;

    // Takes a reference on `previous` (may be null).
    explicit ThreadComContext(IMessageFilter* previous = nullptr);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // IMessageFilter
    STDMETHODIMP_(DWORD) HandleInComingCall(DWORD callType, HTASK caller, DWORD tickCount,
                                            LPINTERFACEINFO interfaceInfo) override;
    STDMETHODIMP_(DWORD) RetryRejectedCall(HTASK callee, DWORD tickCount,
                                           DWORD rejectType) override;
    STDMETHODIMP_(DWORD) MessagePending(HTASK callee, DWORD tickCount,
                                        DWORD pendingType) override;

    IMessageFilter* previous() const { return previous_; }
    LONG nesting() const { return nesting_; }
    bool oleInitialized() const { return oleInitialized_ != 0; }

private:
    friend HRESULT EnterComThread();
    friend void LeaveComThread();
    ~ThreadComContext() override;
    friend class RefCounted<ThreadComContext>;

    IMessageFilter* previous_ = nullptr;  // owned
    LONG nesting_ = 0;
    LONG oleInitialized_ = 0;
};

using BusyRetryFilter = ThreadComContext;

// Allocates and frees the thread-local slot of the records. The library calls
// them when it is loaded and unloaded; EnterComThread allocates the slot on
// first use when nobody did (test programs).
bool InitComThreadSlot();
void FreeComThreadSlot();

// Creates the thread's record on the outermost call (OleInitialize, filter
// registered), then counts one more bracket. Returns the registration's
// failure or E_OUTOFMEMORY.
HRESULT EnterComThread();
// Ends one bracket; the outermost restores the earlier filter and drops the record.
void LeaveComThread();
// The calling thread's record, or null outside any bracket (no reference added).
ThreadComContext* CurrentComContext();

// Enter/Leave for a scope; check ok() (or hr()) before talking to the server.
class ComThreadScope {
public:
    ComThreadScope() : hr_(EnterComThread()) {}
    ~ComThreadScope() {
        if (SUCCEEDED(hr_)) LeaveComThread();
    }
    ComThreadScope(const ComThreadScope&) = delete;
    ComThreadScope& operator=(const ComThreadScope&) = delete;
    HRESULT hr() const { return hr_; }
    bool ok() const { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};
