#include "transfer/progress_stream.h"

#include <algorithm>
#include <cstring>

#include "common/result_codes.h"
#include "transfer/progress_dialog.h"
#include "transfer/stream_size.h"

namespace {

// The thread's error information carries the text of the failure to the reader.
HRESULT NotImplemented() {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetGUID(GUID_NULL);
        wchar_t* text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(E_NOTIMPL), 0,
                       reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        create->SetDescription(text ? text : const_cast<wchar_t*>(L""));
        if (text) LocalFree(text);
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return E_NOTIMPL;
}

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

HRESULT ProgressStream::Refill() {
    ULONG got = 0;
    HRESULT hr = inner_->Read(buffer_, kBufferSize, &got);
    filled_ = next_ = 0;
    if (FAILED(hr)) return hr;
    filled_ = std::min(got, kBufferSize);
    if (filled_ == 0) return S_FALSE;
    position_ += filled_;
    if (dialog_) dialog_->Refresh(share_, size_, position_);
    return S_OK;
}

STDMETHODIMP ProgressStream::Read(void* buffer, ULONG count, ULONG* read) {
    if (!buffer && count != 0) return E_POINTER;
    if (read) *read = 0;
    if (count == 0) return S_OK;
    if (!inner_) return E_UNEXPECTED;
    BYTE* out = static_cast<BYTE*>(buffer);
    ULONG handed = 0;
    for (;;) {
        if (pump_) PumpMessages();
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
