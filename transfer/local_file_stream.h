// A read-only stream over a PC file, handed to the server's WriteFile when
// PC files are pasted into the module.
#pragma once
#include <windows.h>
#include <objidl.h>
#include <oaidl.h>

#include <string>

#include "common/com_object.h"

class LocalFileStream : public IStream, public ISupportErrorInfo, public RefCounted<LocalFileStream> {
public:
    // Opens `path` for reading (others may read it too). Failures carry the
    // system's code and error information.
    static HRESULT Open(const std::wstring& path, IStream** out);

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
    LocalFileStream(std::wstring path, HANDLE file) : path_(std::move(path)), file_(file) {}
    ~LocalFileStream() override;
    friend class RefCounted<LocalFileStream>;

    std::wstring path_;
    HANDLE file_;
};
