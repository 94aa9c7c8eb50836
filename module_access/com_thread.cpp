#include "module_access/com_thread.h"

#include <ole2.h>

namespace {

volatile LONG g_slot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD Slot() { return static_cast<DWORD>(g_slot); }

}  // namespace

bool InitComThreadSlot() {
    if (Slot() != TLS_OUT_OF_INDEXES) return true;
    const DWORD slot = TlsAlloc();
    if (slot == TLS_OUT_OF_INDEXES) return false;
    // Another thread may have won the race: keep its slot.
    if (InterlockedCompareExchange(&g_slot, static_cast<LONG>(slot),
                                   static_cast<LONG>(TLS_OUT_OF_INDEXES)) !=
        static_cast<LONG>(TLS_OUT_OF_INDEXES))
        TlsFree(slot);
    return true;
}

void FreeComThreadSlot() {
    const DWORD slot = static_cast<DWORD>(
        InterlockedExchange(&g_slot, static_cast<LONG>(TLS_OUT_OF_INDEXES)));
    if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
}

ThreadComContext::ThreadComContext(IMessageFilter* previous) : previous_(previous) {
    if (previous_) previous_->AddRef();
}

ThreadComContext::~ThreadComContext() {
    if (oleInitialized_) OleUninitialize();
    if (previous_) previous_->Release();
}

STDMETHODIMP ThreadComContext::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IMessageFilter) {
        *ppv = static_cast<IMessageFilter*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(DWORD) ThreadComContext::HandleInComingCall(DWORD callType, HTASK caller,
                                                          DWORD tickCount,
                                                          LPINTERFACEINFO interfaceInfo) {
    if (previous_) return previous_->HandleInComingCall(callType, caller, tickCount, interfaceInfo);
    return SERVERCALL_ISHANDLED;
}

STDMETHODIMP_(DWORD) ThreadComContext::RetryRejectedCall(HTASK callee, DWORD tickCount,
                                                         DWORD rejectType) {
    // A busy server is waited for as long as it stays busy: the serial link
    // can keep it occupied for minutes (formatting, large transfers).
    if (rejectType == SERVERCALL_RETRYLATER) return kRetryDelay;
    if (previous_) return previous_->RetryRejectedCall(callee, tickCount, rejectType);
    return static_cast<DWORD>(-1);
}

STDMETHODIMP_(DWORD) ThreadComContext::MessagePending(HTASK callee, DWORD tickCount,
                                                      DWORD pendingType) {
    if (previous_) return previous_->MessagePending(callee, tickCount, pendingType);
    return PENDINGMSG_WAITDEFPROCESS;
}

HRESULT EnterComThread() {
    if (!InitComThreadSlot()) return E_OUTOFMEMORY;
    auto* context = static_cast<ThreadComContext*>(TlsGetValue(Slot()));
    if (!context) {
        context = new (std::nothrow) ThreadComContext();
        if (!context) return E_OUTOFMEMORY;
        if (SUCCEEDED(OleInitialize(nullptr))) context->oleInitialized_ = 1;
        HRESULT hr = CoRegisterMessageFilter(context, &context->previous_);
        if (FAILED(hr)) {
            context->Release();
            return hr;
        }
        TlsSetValue(Slot(), context);
    }
    ++context->nesting_;
    return S_OK;
}

void LeaveComThread() {
    if (Slot() == TLS_OUT_OF_INDEXES) return;
    auto* context = static_cast<ThreadComContext*>(TlsGetValue(Slot()));
    if (!context) return;
    if (--context->nesting_ > 0) return;
    TlsSetValue(Slot(), nullptr);
    CoRegisterMessageFilter(context->previous_, nullptr);
    context->Release();
}

ThreadComContext* CurrentComContext() {
    if (Slot() == TLS_OUT_OF_INDEXES) return nullptr;
    return static_cast<ThreadComContext*>(TlsGetValue(Slot()));
}
