#include "transfer/progress_stream.h"

#include <algorithm>
#include <cstring>

#include "common/result_codes.h"
#include "module_access/module_errors.h"
#include "transfer/progress_dialog.h"
#include "transfer/stream_size.h"

namespace {

// The thread's error information carries the failure's text to the reader.
HRESULT NotImplemented() { return SetModuleErrorInfo(E_NOTIMPL); }

}  // namespace

ProgressStream::~ProgressStream() {
    if (inner_) inner_->Release();
}

HRESULT ProgressStream::Bind(IStream* inner, ProgressDialog* dialog, uint64_t share,
                             DWORD* cancelFlag, bool pumpMessages) {
    if (!inner) return E_POINTER;
    uint64_t size = 0;
    HRESULT hr = StreamSize(inner, &size);
    if (FAILED(hr)) return hr;
    inner->AddRef();
    if (inner_) inner_->Release();
    inner_ = inner;
    dialog_ = dialog;
    share_ = share;
    size_ = size;
    position_ = 0;
    cancelFlag_ = cancelFlag;
    pump_ = pumpMessages;
    filled_ = next_ = 0;
    serviced_ = false;
    refreshedAt_ = 0;
    return S_OK;
}

STDMETHODIMP ProgressStream::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) {
        *out = static_cast<IStream*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
        *out = static_cast<ISupportErrorInfo*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

void ProgressStream::PumpMessages() {
    HWND dialogWindow = dialog_ ? dialog_->window() : nullptr;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit for the thread's own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (dialogWindow && IsDialogMessageW(dialogWindow, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A person takes in a few updates of a bar or a text a second, but a refresh
// that moves the bar repaints it at once, and a refresh and a pump of the
// queue cost from tens of microseconds to a millisecond, many times what a
// 4 KB chunk from memory or a fast server costs. So both happen at most every
// kServiceInterval ms, and always at the first read (a key already waiting is
// seen; the dialog moves as soon as bytes come) and at the last chunk (the
// dialog shows the end). A source as slow as the module's serial link still
// refreshes at every chunk. The cancel flag is tested at every step.
DWORD ProgressStream::Now() const { return dialog_ ? dialog_->Now() : GetTickCount(); }

bool ProgressStream::ServiceDue() const {
    return !serviced_ || Now() - lastService_ >= kServiceInterval;
}

void ProgressStream::Service(bool refresh) {
    if (refresh) RefreshDialog();
    if (pump_) PumpMessages();
    serviced_ = true;
    lastService_ = Now();
}

void ProgressStream::RefreshDialog() {
    if (!dialog_ || position_ == 0 || position_ == refreshedAt_) return;
    dialog_->Refresh(share_, size_, position_);
    refreshedAt_ = position_;
}

HRESULT ProgressStream::Refill() {
    ULONG got = 0;
    HRESULT hr = inner_->Read(buffer_, kBufferSize, &got);
    filled_ = next_ = 0;
    if (FAILED(hr)) return hr;
    filled_ = std::min(got, kBufferSize);
    position_ += filled_;
    if ((dialog_ || pump_) &&
        (filled_ == 0 || position_ >= size_ || refreshedAt_ == 0 || ServiceDue()))
        Service(true);
    return filled_ == 0 ? S_FALSE : S_OK;
}

STDMETHODIMP ProgressStream::Read(void* buffer, ULONG count, ULONG* read) {
    if (!buffer && count != 0) return E_POINTER;
    if (read) *read = 0;
    if (count == 0) return S_OK;
    if (!inner_) return E_UNEXPECTED;
    BYTE* out = static_cast<BYTE*>(buffer);
    ULONG handed = 0;
    const bool attended = dialog_ || pump_;
    for (;;) {
        if (attended && ServiceDue()) Service(true);
        if (cancelFlag_ && *cancelFlag_) return E_OPERATION_CANCELLED;
        if (next_ == filled_) {
            HRESULT hr = Refill();
            if (FAILED(hr)) return hr;
            if (hr == S_FALSE) return S_OK;   // end of the inner stream
        }
        ULONG chunk = std::min(count - handed, filled_ - next_);
        memcpy(out + handed, buffer_ + next_, chunk);
        next_ += chunk;
        handed += chunk;
        if (read) *read = handed;
        if (handed == count) return S_OK;
    }
}

STDMETHODIMP ProgressStream::Seek(LARGE_INTEGER offset, DWORD origin,
                                  ULARGE_INTEGER* newPosition) {
    if (!inner_) return E_UNEXPECTED;
    // The inner stream stands where the buffer ends, not where the reader is.
    if (origin == STREAM_SEEK_CUR) offset.QuadPart -= static_cast<LONGLONG>(filled_ - next_);
    filled_ = next_ = 0;
    ULARGE_INTEGER where = {};
    HRESULT hr = inner_->Seek(offset, origin, &where);
    if (FAILED(hr)) return hr;
    position_ = where.QuadPart;
    refreshedAt_ = 0;
    if (newPosition) *newPosition = where;
    return hr;
}

STDMETHODIMP ProgressStream::Stat(STATSTG* stat, DWORD flags) {
    if (!inner_) return E_UNEXPECTED;
    return inner_->Stat(stat, flags);
}

STDMETHODIMP ProgressStream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                    ULARGE_INTEGER* written) {
    if (read) read->QuadPart = 0;
    if (written) written->QuadPart = 0;
    if (!target) return E_POINTER;
    BYTE chunk[kBufferSize];
    uint64_t left = count.QuadPart;
    while (left > 0) {
        ULONG want = static_cast<ULONG>(std::min<uint64_t>(left, sizeof(chunk)));
        ULONG got = 0;
        HRESULT hr = Read(chunk, want, &got);
        if (read) read->QuadPart += got;
        if (FAILED(hr)) return hr;
        if (got == 0) break;
        ULONG put = 0;
        hr = target->Write(chunk, got, &put);
        if (written) written->QuadPart += put;
        if (FAILED(hr)) return hr;
        left -= got;
        if (got < want) break;
    }
    return S_OK;
}

STDMETHODIMP ProgressStream::Write(const void*, ULONG, ULONG*) { return NotImplemented(); }
STDMETHODIMP ProgressStream::SetSize(ULARGE_INTEGER) { return NotImplemented(); }
STDMETHODIMP ProgressStream::Commit(DWORD) { return NotImplemented(); }
STDMETHODIMP ProgressStream::Revert() { return NotImplemented(); }
STDMETHODIMP ProgressStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return NotImplemented();
}
STDMETHODIMP ProgressStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return NotImplemented();
}
STDMETHODIMP ProgressStream::Clone(IStream** out) {
    if (out) *out = nullptr;
    return NotImplemented();
}

STDMETHODIMP ProgressStream::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID_IStream || iid == IID_ISequentialStream ? S_OK : S_FALSE;
}

HRESULT CreateProgressStream(IStream* inner, ProgressDialog* dialog, uint64_t share,
                             DWORD* cancelFlag, bool pumpMessages, IStream** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    ProgressStream* stream = nullptr;
    HRESULT hr = MakeComObject(&stream);
    if (FAILED(hr)) return hr;
    hr = stream->Bind(inner, dialog, share, cancelFlag, pumpMessages);
    if (FAILED(hr)) {
        stream->Release();
        return hr;
    }
    *out = stream;
    return S_OK;
}
