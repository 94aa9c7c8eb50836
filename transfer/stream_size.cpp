#include "transfer/stream_size.h"

HRESULT StreamSize(IStream* stream, uint64_t* size) {
    if (!stream || !size) return E_POINTER;
    *size = 0;
    STATSTG stat = {};
    if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME))) {
        *size = stat.cbSize.QuadPart;
        return S_OK;
    }
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER here = {}, end = {};
    HRESULT hr = stream->Seek(zero, STREAM_SEEK_CUR, &here);
    if (FAILED(hr)) return hr;
    hr = stream->Seek(zero, STREAM_SEEK_END, &end);
    if (FAILED(hr)) return hr;
    LARGE_INTEGER back;
    back.QuadPart = static_cast<LONGLONG>(here.QuadPart);
    hr = stream->Seek(back, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) return hr;
    *size = end.QuadPart;
    return S_OK;
}
