// A read-only stream that hands out another stream's bytes in 4096-byte
// chunks and moves a progress dialog as it goes; it keeps the thread's
// windows alive while a large file is read and stops when the user cancels.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <oaidl.h>

#include <cstdint>

#include "common/com_object.h"

class ProgressDialog;

class ProgressStream : public IStream, public ISupportErrorInfo, public RefCounted<ProgressStream> {
public:
    static constexpr ULONG kBufferSize = 4096;
    // Milliseconds between two services of the dialog and the message queue.
    static constexpr DWORD kServiceInterval = 15;

    ProgressStream() = default;

    // Takes the inner stream's size first; on failure nothing is bound. The
    // dialog and the cancel flag may be null; they must outlive the stream's use.
    HRESULT Bind(IStream* inner, ProgressDialog* dialog, uint64_t share, DWORD* cancelFlag,
                 bool pumpMessages);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    // ISequentialStream
    STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override;
    STDMETHODIMP Write(const void* buffer, ULONG count, ULONG* written) override;

    // IStream
    STDMETHODIMP Seek(LARGE_INTEGER offset, DWORD origin, ULARGE_INTEGER* newPosition) override;
    STDMETHODIMP SetSize(ULARGE_INTEGER size) override;
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                        ULARGE_INTEGER* written) override;
    STDMETHODIMP Commit(DWORD flags) override;
    STDMETHODIMP Revert() override;
    STDMETHODIMP LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override;
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override;
    STDMETHODIMP Clone(IStream** out) override;

    // ISupportErrorInfo
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    ~ProgressStream() override;
    friend class RefCounted<ProgressStream>;

    void PumpMessages();
    HRESULT Refill();
    DWORD Now() const;
    bool ServiceDue() const;
    void Service(bool refresh);
    void RefreshDialog();

    IStream* inner_ = nullptr;
    ProgressDialog* dialog_ = nullptr;
    uint64_t share_ = 0;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    DWORD* cancelFlag_ = nullptr;
    bool pump_ = false;
    bool serviced_ = false;
    DWORD lastService_ = 0;
    uint64_t refreshedAt_ = 0;  // the position the dialog last showed
    ULONG filled_ = 0;
    ULONG next_ = 0;
    BYTE buffer_[kBufferSize];
};

// A new stream bound as ProgressStream::Bind describes.
HRESULT CreateProgressStream(IStream* inner, ProgressDialog* dialog, uint64_t share,
                             DWORD* cancelFlag, bool pumpMessages, IStream** out);
