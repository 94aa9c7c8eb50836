#include "transfer/local_file_stream.h"

#include <algorithm>

#include "module_access/module_errors.h"

namespace {

HRESULT LastFailure() {
    DWORD error = GetLastError();
    return SetModuleErrorInfo(HRESULT_FROM_WIN32(error ? error : ERROR_GEN_FAILURE));
}

HRESULT NotImplemented() { return SetModuleErrorInfo(E_NOTIMPL); }

}  // namespace

HRESULT LocalFileStream::Open(const std::wstring& path, IStream** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastFailure();
    auto* stream = new (std::nothrow) LocalFileStream(path, file);
    if (!stream) {
        CloseHandle(file);
        return E_OUTOFMEMORY;
    }
    *out = stream;
    return S_OK;
}

LocalFileStream::~LocalFileStream() { CloseHandle(file_); }

STDMETHODIMP LocalFileStream::QueryInterface(REFIID iid, void** out) {
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

STDMETHODIMP LocalFileStream::Read(void* buffer, ULONG count, ULONG* read) {
    if (read) *read = 0;
    if (!buffer && count != 0) return E_POINTER;
    DWORD got = 0;
    if (!ReadFile(file_, buffer, count, &got, nullptr)) return LastFailure();
    if (read) *read = got;
    return S_OK;
}

STDMETHODIMP LocalFileStream::Seek(LARGE_INTEGER offset, DWORD origin,
                                   ULARGE_INTEGER* newPosition) {
    DWORD method;
    switch (origin) {
    case STREAM_SEEK_SET: method = FILE_BEGIN; break;
    case STREAM_SEEK_CUR: method = FILE_CURRENT; break;
    case STREAM_SEEK_END: method = FILE_END; break;
    default: return E_INVALIDARG;
    }
    LARGE_INTEGER where = {};
    if (!SetFilePointerEx(file_, offset, &where, method)) return LastFailure();
    if (newPosition) newPosition->QuadPart = static_cast<ULONGLONG>(where.QuadPart);
    return S_OK;
}

STDMETHODIMP LocalFileStream::Stat(STATSTG* stat, DWORD flags) {
    if (!stat) return E_POINTER;
    ZeroMemory(stat, sizeof(*stat));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(file_, &info)) return LastFailure();
    if (!(flags & STATFLAG_NONAME)) {
        size_t slash = path_.find_last_of(L"\\/");
        std::wstring name = slash == std::wstring::npos ? path_ : path_.substr(slash + 1);
        size_t bytes = (name.size() + 1) * sizeof(wchar_t);
        stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (!stat->pwcsName) return E_OUTOFMEMORY;
        memcpy(stat->pwcsName, name.c_str(), bytes);
    }
    stat->type = STGTY_STREAM;
    stat->cbSize.HighPart = info.nFileSizeHigh;
    stat->cbSize.LowPart = info.nFileSizeLow;
    stat->mtime = info.ftLastWriteTime;
    stat->ctime = info.ftCreationTime;
    stat->atime = info.ftLastAccessTime;
    stat->grfMode = STGM_READ | STGM_SHARE_DENY_WRITE;
    return S_OK;
}

STDMETHODIMP LocalFileStream::Clone(IStream** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER here = {};
    HRESULT hr = Seek(zero, STREAM_SEEK_CUR, &here);
    if (FAILED(hr)) return hr;
    IStream* copy = nullptr;
    hr = Open(path_, &copy);
    if (FAILED(hr)) return hr;
    LARGE_INTEGER same;
    same.QuadPart = static_cast<LONGLONG>(here.QuadPart);
    hr = copy->Seek(same, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        copy->Release();
        return hr;
    }
    *out = copy;
    return S_OK;
}

STDMETHODIMP LocalFileStream::CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) {
    if (read) read->QuadPart = 0;
    if (written) written->QuadPart = 0;
    if (!target) return E_POINTER;
    BYTE chunk[4096];
    ULONGLONG left = count.QuadPart;
    while (left > 0) {
        ULONG want = static_cast<ULONG>(std::min<ULONGLONG>(left, sizeof(chunk)));
        ULONG got = 0;
        HRESULT hr = Read(chunk, want, &got);
        if (FAILED(hr)) return hr;
        if (read) read->QuadPart += got;
        if (got == 0) break;
        ULONG put = 0;
        hr = target->Write(chunk, got, &put);
        if (written) written->QuadPart += put;
        if (FAILED(hr)) return hr;
        left -= got;
    }
    return S_OK;
}

STDMETHODIMP LocalFileStream::Write(const void*, ULONG, ULONG* written) {
    if (written) *written = 0;
    return NotImplemented();
}
STDMETHODIMP LocalFileStream::SetSize(ULARGE_INTEGER) { return NotImplemented(); }
STDMETHODIMP LocalFileStream::Commit(DWORD) { return NotImplemented(); }
STDMETHODIMP LocalFileStream::Revert() { return NotImplemented(); }
STDMETHODIMP LocalFileStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return NotImplemented();
}
STDMETHODIMP LocalFileStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return NotImplemented();
}

STDMETHODIMP LocalFileStream::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == IID_IStream || iid == IID_ISequentialStream ? S_OK : S_FALSE;
}
