#include "tools/module_server/file_stream.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "tools/substitute_common/server_errors.h"
#include "tools/substitute_common/server_host.h"
#include "tools/substitute_common/settings.h"

namespace {

LONGLONG Ticks() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

}  // namespace

LinkPacer::LinkPacer(DWORD bytesPerSecond) : rate_(bytesPerSecond) {
    LARGE_INTEGER frequency;
    if (QueryPerformanceFrequency(&frequency) && frequency.QuadPart > 0) frequency_ = frequency.QuadPart;
}

void LinkPacer::WaitUntil(LONGLONG tick) const {
    for (;;) {
        const LONGLONG left = tick - Ticks();
        if (left <= 0) return;
        // Sleep may overshoot by a millisecond or so: sleep short of the
        // mark and give the processor away for the last stretch.
        const LONGLONG ms = left * 1000 / frequency_;
        Sleep(ms >= 2 ? static_cast<DWORD>(ms - 1) : 0);
    }
}

void LinkPacer::Send(ULONGLONG bytes) {
    if (rate_ == 0 || bytes == 0) return;
    const LONGLONG arrived = Ticks();
    // The link is idle until the chunk arrives; it is never credited with
    // time in which it had nothing to carry.
    const LONGLONG start = freeAt_ > arrived ? freeAt_ : arrived;
    WaitUntil(start);
    freeAt_ = start + static_cast<LONGLONG>(std::ceil(static_cast<double>(bytes) * frequency_ / rate_));
}

void LinkPacer::Drain() {
    if (rate_ != 0) WaitUntil(freeAt_);
}

namespace {

class FileStream final : public IStream {
public:
    FileStream(std::shared_ptr<UniqueHandle> file, const OpenedFile& info)
        : file_(std::move(file)), info_(info), pacer_(info.linkSpeed) {
        substitute::HoldServer();
    }
    ~FileStream() { substitute::ReleaseServer(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream) {
            *out = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP Read(void* buffer, ULONG wanted, ULONG* read) override {
        if (read) *read = 0;
        if (!buffer && wanted) return STG_E_INVALIDPOINTER;
        SetErrorInfo(0, nullptr);
        if (info_.readFaults) {
            substitute::InjectedFault fault;
            if (substitute::TakeCall(L"Read", &fault))
                return substitute::ReportFailure(fault.result, fault.description);
        }
        ULONG got = 0;
        if (wanted && position_ < info_.size) {
            OVERLAPPED at = {};
            at.Offset = static_cast<DWORD>(position_);
            at.OffsetHigh = static_cast<DWORD>(position_ >> 32);
            if (!ReadFile(file_->get(), buffer, wanted, &got, &at)) {
                DWORD error = GetLastError();
                if (error != ERROR_HANDLE_EOF)
                    return substitute::ReportFailure(HRESULT_FROM_WIN32(error),
                                         L"The file " + info_.name + L" could not be read from the module.");
                got = 0;
            }
        }
        position_ += got;
        pacer_.Pace(got);
        if (read) *read = got;
        return got < wanted ? S_FALSE : S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG* written) override {
        if (written) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        LONGLONG base = 0;
        switch (origin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
        case STREAM_SEEK_END: base = static_cast<LONGLONG>(info_.size); break;
        default: return STG_E_INVALIDFUNCTION;
        }
        LONGLONG target = base + move.QuadPart;
        if (target < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(target);
        if (newPosition) newPosition->QuadPart = position_;
        return S_OK;
    }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* readOut,
                        ULARGE_INTEGER* writtenOut) override {
        if (!target) return STG_E_INVALIDPOINTER;
        ULONGLONG done = 0, written = 0;
        BYTE buffer[65536];
        HRESULT hr = S_OK;
        while (done < count.QuadPart) {
            ULONG chunk = static_cast<ULONG>(std::min(static_cast<ULONGLONG>(sizeof(buffer)), count.QuadPart - done));
            ULONG got = 0;
            hr = Read(buffer, chunk, &got);
            if (FAILED(hr) || got == 0) break;
            done += got;
            ULONG put = 0;
            hr = target->Write(buffer, got, &put);
            written += put;
            if (FAILED(hr)) break;
        }
        if (readOut) readOut->QuadPart = done;
        if (writtenOut) writtenOut->QuadPart = written;
        return FAILED(hr) ? hr : S_OK;
    }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        ZeroMemory(stat, sizeof(*stat));
        if (!(flags & STATFLAG_NONAME)) {
            size_t bytes = (info_.name.size() + 1) * sizeof(wchar_t);
            stat->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
            if (!stat->pwcsName) return E_OUTOFMEMORY;
            memcpy(stat->pwcsName, info_.name.c_str(), bytes);
        }
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = info_.size;
        stat->mtime = info_.modified;
        stat->ctime = info_.created;
        stat->atime = info_.accessed;
        stat->grfMode = STGM_READ | STGM_SHARE_DENY_NONE;
        return S_OK;
    }
    STDMETHODIMP Clone(IStream** out) override {
        if (!out) return STG_E_INVALIDPOINTER;
        *out = nullptr;
        FileStream* copy = new (std::nothrow) FileStream(file_, info_);
        if (!copy) return E_OUTOFMEMORY;
        copy->position_ = position_;
        *out = copy;
        return S_OK;
    }

private:
    volatile LONG refs_ = 1;
    std::shared_ptr<UniqueHandle> file_;
    OpenedFile info_;
    ULONGLONG position_ = 0;
    LinkPacer pacer_;
};

}  // namespace

HRESULT CreateFileStream(std::shared_ptr<UniqueHandle> file, const OpenedFile& info, IStream** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) FileStream(std::move(file), info);
    return *out ? S_OK : E_OUTOFMEMORY;
}
