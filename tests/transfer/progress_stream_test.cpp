#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <vector>

#include "common/module_count.h"
#include "common/result_codes.h"
#include "resources/transfer_ids.h"
#include "transfer/progress_dialog.h"
#include "transfer/progress_stream.h"

using Microsoft::WRL::ComPtr;

namespace {

std::vector<BYTE> Pattern(size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i * 7 + i / 251);
    return bytes;
}

ComPtr<IStream> MemoryStream(const std::vector<BYTE>& bytes) {
    ComPtr<IStream> stream;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    ULONG written = 0;
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return stream;
}

// A stream over memory whose Stat, Seek or Read can be made to fail.
class ScriptedStream : public IStream {
public:
    explicit ScriptedStream(std::vector<BYTE> bytes) : bytes_(std::move(bytes)) {}
    bool failStat = false, failSeek = false;
    HRESULT readFailure = S_OK;   // returned by every Read once set

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IStream || iid == IID_ISequentialStream) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }   // lives on the test's stack
    STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override {
        if (FAILED(readFailure)) return readFailure;
        ULONG n = static_cast<ULONG>(std::min<size_t>(count, bytes_.size() - at_));
        memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        if (read) *read = n;
        return S_OK;
    }
    STDMETHODIMP Seek(LARGE_INTEGER offset, DWORD origin, ULARGE_INTEGER* where) override {
        if (failSeek) return STG_E_INVALIDFUNCTION;
        LONGLONG base = origin == STREAM_SEEK_SET ? 0
                        : origin == STREAM_SEEK_CUR ? static_cast<LONGLONG>(at_)
                                                    : static_cast<LONGLONG>(bytes_.size());
        at_ = static_cast<size_t>(base + offset.QuadPart);
        if (where) where->QuadPart = at_;
        return S_OK;
    }
    STDMETHODIMP Stat(STATSTG* stat, DWORD) override {
        if (failStat) return E_NOTIMPL;
        *stat = STATSTG();
        stat->cbSize.QuadPart = bytes_.size();
        return S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

    size_t at() const { return at_; }
    ULONG refs() const { return refs_; }

private:
    std::vector<BYTE> bytes_;
    size_t at_ = 0;
    ULONG refs_ = 1;
};

// Watches the bar of a dialog: every refresh sets its position once.
struct BarWatch {
    std::vector<int> positions;
    HWND pressEscapeOn = nullptr;   // when set, the first refresh posts Esc to it

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wp, LPARAM lp, UINT_PTR,
                                 DWORD_PTR data) {
        auto* self = reinterpret_cast<BarWatch*>(data);
        if (message == PBM_SETPOS) {
            self->positions.push_back(static_cast<int>(wp));
            if (self->pressEscapeOn) {
                PostMessageW(self->pressEscapeOn, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                self->pressEscapeOn = nullptr;
            }
        }
        return DefSubclassProc(window, message, wp, lp);
    }
    void Attach(const ProgressDialog& dialog) {
        SetWindowSubclass(GetDlgItem(dialog.window(), IDC_PROGRESS_BAR), &Proc, 1,
                          reinterpret_cast<DWORD_PTR>(this));
    }
};

}  // namespace

TEST(ProgressStream, TenThousandBytesRefreshTheDialogThreeTimes) {
    const std::vector<BYTE> bytes = Pattern(10000);
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, 10000, &cancel);
    ASSERT_TRUE(dialog.window());
    BarWatch watch;
    watch.Attach(dialog);

    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(bytes).Get(), &dialog, 10000, &cancel, true,
                                         &stream));
    std::vector<BYTE> got(12000);
    ULONG read = 0;
    EXPECT_EQ(S_OK, stream->Read(got.data(), 12000, &read));
    EXPECT_EQ(10000u, read);
    got.resize(read);
    EXPECT_EQ(bytes, got);
    // 4096, 8192 and 10,000 bytes of 10,000.
    EXPECT_EQ((std::vector<int>{40, 81, 100}), watch.positions);

    // At the end: success with nothing read, and no further refresh.
    BYTE more[16];
    EXPECT_EQ(S_OK, stream->Read(more, sizeof(more), &read));
    EXPECT_EQ(0u, read);
    EXPECT_EQ(3u, watch.positions.size());
}

TEST(ProgressStream, EscapeWhileReadingCancels) {
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, 10000, &cancel);
    ASSERT_TRUE(dialog.window());
    BarWatch watch;
    watch.pressEscapeOn = GetDlgItem(dialog.window(), IDCANCEL);
    watch.Attach(dialog);

    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(Pattern(10000)).Get(), &dialog, 10000,
                                         &cancel, true, &stream));
    std::vector<BYTE> got(10000);
    ULONG read = 0;
    EXPECT_EQ(E_OPERATION_CANCELLED, stream->Read(got.data(), 10000, &read));
    EXPECT_EQ(1u, cancel);
    EXPECT_EQ(4096u, read);   // the first chunk was handed out before the key
    EXPECT_EQ(1u, watch.positions.size());
    EXPECT_TRUE(IsWindow(dialog.window()));   // the operation closes it, not the key
}

TEST(ProgressStream, ReadArgumentsAndInnerFailures) {
    ScriptedStream inner(Pattern(5000));
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateProgressStream(&inner, nullptr, 0, nullptr, true, &stream));
    ULONG read = 7;
    EXPECT_EQ(E_POINTER, stream->Read(nullptr, 1, &read));
    EXPECT_EQ(S_OK, stream->Read(nullptr, 0, &read));
    EXPECT_EQ(0u, read);

    BYTE chunk[10];
    EXPECT_EQ(S_OK, stream->Read(chunk, sizeof(chunk), nullptr));
    inner.readFailure = STG_E_READFAULT;
    // The buffered rest is still handed out; the next refill's failure comes back unchanged.
    std::vector<BYTE> rest(5000);
    EXPECT_EQ(STG_E_READFAULT, stream->Read(rest.data(), 5000, &read));
    EXPECT_EQ(4086u, read);
    EXPECT_EQ(STG_E_READFAULT, stream->Read(chunk, 1, &read));
    EXPECT_EQ(0u, read);

    // A flag set before the read stops it before anything is handed out.
    DWORD cancel = 1;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(Pattern(10)).Get(), nullptr, 0, &cancel,
                                         false, stream.ReleaseAndGetAddressOf()));
    EXPECT_EQ(E_OPERATION_CANCELLED, stream->Read(chunk, 10, &read));
    EXPECT_EQ(0u, read);
}

TEST(ProgressStream, BindTakesTheSizeBySeekingWhenStatFailsAndFailsWhenBothDo) {
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, 4000, &cancel);
    BarWatch watch;
    watch.Attach(dialog);
    {
        ScriptedStream inner(Pattern(4000));
        inner.failStat = true;
        ComPtr<IStream> stream;
        ASSERT_EQ(S_OK, CreateProgressStream(&inner, &dialog, 4000, &cancel, false, &stream));
        EXPECT_EQ(0u, inner.at());   // sought back to where it was
        std::vector<BYTE> got(4000);
        ULONG read = 0;
        EXPECT_EQ(S_OK, stream->Read(got.data(), 4000, &read));
        EXPECT_EQ((std::vector<int>{100}), watch.positions);
    }
    {
        ScriptedStream inner(Pattern(4000));
        inner.failStat = inner.failSeek = true;
        IStream* stream = reinterpret_cast<IStream*>(1);
        EXPECT_EQ(STG_E_INVALIDFUNCTION,
                  CreateProgressStream(&inner, &dialog, 4000, &cancel, false, &stream));
        EXPECT_EQ(nullptr, stream);
        EXPECT_EQ(1u, inner.refs());   // no reference kept
    }
}

TEST(ProgressStream, SeekAccountsForBufferedBytesAndStatPassesThrough) {
    const std::vector<BYTE> bytes = Pattern(10000);
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(bytes).Get(), nullptr, 0, nullptr, false,
                                         &stream));
    BYTE chunk[100];
    ULONG read = 0;
    ASSERT_EQ(S_OK, stream->Read(chunk, 100, &read));

    LARGE_INTEGER offset = {};
    ULARGE_INTEGER where = {};
    ASSERT_EQ(S_OK, stream->Seek(offset, STREAM_SEEK_CUR, &where));
    EXPECT_EQ(100u, where.QuadPart);
    offset.QuadPart = 50;
    ASSERT_EQ(S_OK, stream->Seek(offset, STREAM_SEEK_CUR, &where));
    EXPECT_EQ(150u, where.QuadPart);
    ASSERT_EQ(S_OK, stream->Read(chunk, 1, &read));
    EXPECT_EQ(bytes[150], chunk[0]);

    offset.QuadPart = 9000;
    ASSERT_EQ(S_OK, stream->Seek(offset, STREAM_SEEK_SET, &where));
    ASSERT_EQ(S_OK, stream->Read(chunk, 100, &read));
    EXPECT_EQ(0, memcmp(bytes.data() + 9000, chunk, 100));

    STATSTG stat = {};
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(10000u, stat.cbSize.QuadPart);
}

TEST(ProgressStream, CopyToReadsThroughTheProgress) {
    const std::vector<BYTE> bytes = Pattern(10000);
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, 10000, &cancel);
    BarWatch watch;
    watch.Attach(dialog);
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(bytes).Get(), &dialog, 10000, &cancel,
                                         true, &stream));
    ComPtr<IStream> target;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &target));
    ULARGE_INTEGER count, read, written;
    count.QuadPart = 1ull << 40;
    ASSERT_EQ(S_OK, stream->CopyTo(target.Get(), count, &read, &written));
    EXPECT_EQ(10000u, read.QuadPart);
    EXPECT_EQ(10000u, written.QuadPart);
    EXPECT_EQ(3u, watch.positions.size());

    HGLOBAL memory = nullptr;
    ASSERT_EQ(S_OK, GetHGlobalFromStream(target.Get(), &memory));
    EXPECT_EQ(0, memcmp(GlobalLock(memory), bytes.data(), bytes.size()));
    GlobalUnlock(memory);
}

TEST(ProgressStream, WritingMethodsAreNotImplementedWithErrorInformation) {
    LONG objectsBefore = ModuleObjectCount();
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(Pattern(10)).Get(), nullptr, 0, nullptr,
                                         false, &stream));
    EXPECT_EQ(objectsBefore + 1, ModuleObjectCount());

    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, stream.As(&support));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IStream));

    ULARGE_INTEGER any = {};
    ULONG written = 0;
    IStream* clone = reinterpret_cast<IStream*>(1);
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(E_NOTIMPL, stream->Write("x", 1, &written));
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(S_OK, GetErrorInfo(0, &info));
    ASSERT_TRUE(info);
    BSTR description = nullptr;
    EXPECT_EQ(S_OK, info->GetDescription(&description));
    EXPECT_GT(SysStringLen(description), 0u);
    SysFreeString(description);

    EXPECT_EQ(E_NOTIMPL, stream->SetSize(any));
    EXPECT_EQ(E_NOTIMPL, stream->Commit(STGC_DEFAULT));
    EXPECT_EQ(E_NOTIMPL, stream->Revert());
    EXPECT_EQ(E_NOTIMPL, stream->LockRegion(any, any, LOCK_WRITE));
    EXPECT_EQ(E_NOTIMPL, stream->UnlockRegion(any, any, LOCK_WRITE));
    EXPECT_EQ(E_NOTIMPL, stream->Clone(&clone));
    EXPECT_EQ(nullptr, clone);

    support.Reset();
    stream.Reset();
    EXPECT_EQ(objectsBefore, ModuleObjectCount());
}
