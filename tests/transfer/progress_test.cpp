// The progress dialog, and the stream that drives it while a file is read.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <set>
#include <vector>

#include "common/formatting.h"
#include "common/module_count.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "transfer/progress_dialog.h"
#include "transfer/progress_stream.h"

using Microsoft::WRL::ComPtr;

namespace {

DWORD g_now = 0;
DWORD WINAPI FakeTicks() { return g_now; }

std::wstring TimeText(const ProgressDialog& dialog) {
    return WindowText(GetDlgItem(dialog.window(), IDC_PROGRESS_TIME));
}

int BarPosition(const ProgressDialog& dialog) {
    return static_cast<int>(
        SendMessageW(GetDlgItem(dialog.window(), IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0));
}

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

// Watches the bar of a dialog: every refresh sets its position once.
struct BarWatch {
    std::vector<int> positions;

    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wp, LPARAM lp, UINT_PTR,
                                 DWORD_PTR data) {
        if (message == PBM_SETPOS)
            reinterpret_cast<BarWatch*>(data)->positions.push_back(static_cast<int>(wp));
        return DefSubclassProc(window, message, wp, lp);
    }
    void Attach(const ProgressDialog& dialog) {
        SetWindowSubclass(GetDlgItem(dialog.window(), IDC_PROGRESS_BAR), &Proc, 1,
                          reinterpret_cast<DWORD_PTR>(this));
    }
};

WPARAM g_reads = 0;

// A stream whose every read takes `step` ms on the fake clock and leaves a
// message in the queue, so that a test sees when the reader pumps.
class TickingStream : public IStream {
public:
    TickingStream(ComPtr<IStream> inner, DWORD step, HWND queue)
        : inner_(std::move(inner)), step_(step), queue_(queue) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IStream && iid != IID_ISequentialStream) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs_;
        if (!left) delete this;
        return left;
    }
    STDMETHODIMP Read(void* buffer, ULONG count, ULONG* read) override {
        g_now += step_;
        ++g_reads;
        if (queue_) PostMessageW(queue_, WM_APP, g_reads, 0);
        return inner_->Read(buffer, count, read);
    }
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override { return inner_->Stat(stat, flags); }
    STDMETHODIMP Seek(LARGE_INTEGER o, DWORD origin, ULARGE_INTEGER* at) override {
        return inner_->Seek(o, origin, at);
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

private:
    virtual ~TickingStream() = default;
    ComPtr<IStream> inner_;
    DWORD step_;
    HWND queue_;
    ULONG refs_ = 1;
};

// Records, for each message TickingStream left, how many reads had been made
// when it was dispatched: each distinct number is one pump of the queue.
std::vector<WPARAM>* g_pumpedAt = nullptr;
LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_APP && g_pumpedAt) g_pumpedAt->push_back(g_reads);
    return DefWindowProcW(window, message, wp, lp);
}

}  // namespace

TEST(TimeRemaining, EstimateFromDoneAndElapsed) {
    EXPECT_EQ(0, RemainingSeconds(5, 5, 123456));
    // Nine tenths done after 9 s: one second left; truncated, not rounded.
    EXPECT_EQ(1, RemainingSeconds(10, 9, 9000));
    EXPECT_EQ(0, RemainingSeconds(10, 9, 8999));
    // Large byte totals must not overflow the estimate.
    EXPECT_EQ(100, RemainingSeconds(4000000000ull * 2, 4000000000ull, 100000));
    // A file's share of the total advances with its position.
    EXPECT_EQ(57u, EffectiveDone(7, 100, 200, 100));
    // More done than the total: nothing left, not a negative time.
    EXPECT_EQ(0, RemainingSeconds(10, 13, 3000));
    EXPECT_EQ(0, RemainingSeconds(0, 1, 12000));
}

TEST(ProgressDialog, ModesSetTitleAndFirstLines) {
    DWORD cancel = 0;
    ProgressDialog copy(ProgressMode::Copy, 10, &cancel);
    ASSERT_TRUE(copy.window());
    EXPECT_TRUE(IsWindowVisible(copy.window()));
    EXPECT_EQ(nullptr, GetWindow(copy.window(), GW_OWNER));
    EXPECT_EQ(Resources().LoadString(IDS_PROGRESS_COPYING), WindowText(copy.window()));

    ProgressDialog erase(ProgressMode::Delete, 10, &cancel);
    EXPECT_EQ(Resources().LoadString(IDS_PROGRESS_DELETING), WindowText(erase.window()));
    EXPECT_EQ(Resources().LoadString(IDS_PROGRESS_PREPARING_DELETE),
              WindowText(GetDlgItem(erase.window(), IDC_PROGRESS_WHERE)));

    erase.SetLines(L"Photo.jpg", L"from 'Data'");
    EXPECT_EQ(L"Photo.jpg", WindowText(GetDlgItem(erase.window(), IDC_PROGRESS_ITEM)));
    EXPECT_EQ(L"from 'Data'", WindowText(GetDlgItem(erase.window(), IDC_PROGRESS_WHERE)));
}

TEST(ProgressDialog, BothClipsOpenInTheAnimationControl) {
    for (UINT clip : {IDR_AVI_DELETE, IDR_AVI_COPY}) {
        HWND animation = CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                         nullptr, nullptr, nullptr);
        ASSERT_TRUE(animation);
        EXPECT_TRUE(SendMessageW(animation, ACM_OPENW,
                                 reinterpret_cast<WPARAM>(Resources().module()),
                                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(clip))))
            << clip;
        DestroyWindow(animation);
    }
}

TEST(ProgressDialog, TimeTextFollowsTheTickSource) {
    // Seconds elapsed at half done, and the English text: each of the eight
    // strings, the singular only for one.
    const std::pair<DWORD, const wchar_t*> cases[] = {
        {3661, L"Time remaining: 1 hour 1 minute 1 second"},
        {7322, L"Time remaining: 2 hours 2 minutes 2 seconds"},
        {59, L"Time remaining: 0 hours 0 minutes 59 seconds"},
        {3600, L"Time remaining: 1 hour 0 minutes 0 seconds"},
        {1, L"Time remaining: 0 hours 0 minutes 1 second"},
        {60, L"Time remaining: 0 hours 1 minute 0 seconds"},
        {3601, L"Time remaining: 1 hour 0 minutes 1 second"},
        {3660, L"Time remaining: 1 hour 1 minute 0 seconds"},
        {90061, L"Time remaining: 25 hours 1 minute 1 second"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        DWORD cancel = 0;
        // Start just before the tick count wraps around.
        g_now = 0xFFFFF000u;
        ProgressDialog dialog(ProgressMode::Copy, 2, &cancel, &FakeTicks);
        g_now += c.first * 1000;   // half done: as long again to go
        dialog.Add(1);
        EXPECT_EQ(TimeRemainingText(c.first), TimeText(dialog));
        if (Resources().language() != kLangGerman) {
            EXPECT_EQ(c.second, TimeText(dialog));
        }
        EXPECT_EQ(50, BarPosition(dialog));
    }
}

TEST(ProgressDialog, NothingDoneLeavesTheTimeEmptyAndTotalZeroLeavesTheBar) {
    DWORD cancel = 0;
    g_now = 5000;
    ProgressDialog dialog(ProgressMode::Copy, 1000, &cancel, &FakeTicks);
    g_now += 60000;
    dialog.Refresh(0, 0, 0);
    dialog.Refresh(500, 500, 0);
    EXPECT_EQ(L"", TimeText(dialog));
    EXPECT_EQ(0, BarPosition(dialog));

    ProgressDialog empty(ProgressMode::Delete, 0, &cancel, &FakeTicks);
    g_now += 12000;
    empty.Add(1);
    EXPECT_EQ(0, BarPosition(empty));
    EXPECT_EQ(TimeRemainingText(0), TimeText(empty));

    // A file that grew while it was read: done passes the total.
    ProgressDialog grown(ProgressMode::Copy, 10, &cancel, &FakeTicks);
    g_now += 3000;
    grown.Add(13);
    if (Resources().language() != kLangGerman) {
        EXPECT_EQ(L"Time remaining: 0 hours 0 minutes 0 seconds", TimeText(grown));
    }
    EXPECT_EQ(TimeRemainingText(0), TimeText(grown));
}

TEST(ProgressDialog, CancelCloseAndSystemCloseOnlySetTheFlag) {
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, 10, &cancel);
    HWND window = dialog.window();
    ASSERT_TRUE(window);

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
    EXPECT_EQ(1u, cancel);
    cancel = 0;
    SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(1u, cancel);
    cancel = 0;
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(1u, cancel);
    EXPECT_TRUE(IsWindow(window));

    dialog.Close();
    EXPECT_FALSE(IsWindow(window));
}

TEST(ProgressStream, TenThousandBytesRefreshAtEachChunkOfASlowSourceByReadOrCopyTo) {
    const std::vector<BYTE> bytes = Pattern(10000);
    struct Case {
        bool copyTo;
        DWORD msPerChunk;
        std::vector<int> bar;
    } cases[] = {
        // 4096, 8192 and 10,000 bytes of 10,000, as slowly as a serial link.
        {false, 45, {40, 81, 100}},
        {true, 15, {40, 81, 100}},
        // A fast source: the first and the last chunk only.
        {false, 0, {40, 100}},
        {true, 14, {40, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.copyTo << " " << c.msPerChunk);
        DWORD cancel = 0;
        ProgressDialog dialog(ProgressMode::Copy, 10000, &cancel, &FakeTicks);
        ASSERT_TRUE(dialog.window());
        BarWatch watch;
        watch.Attach(dialog);
        ComPtr<IStream> inner, stream;
        inner.Attach(new TickingStream(MemoryStream(bytes), c.msPerChunk, nullptr));
        ASSERT_EQ(S_OK, CreateProgressStream(inner.Get(), &dialog, 10000, &cancel, true, &stream));
        ULONG read = 0;
        if (c.copyTo) {
            ULARGE_INTEGER count, copied, written;
            count.QuadPart = 1ull << 40;
            EXPECT_EQ(S_OK, stream->CopyTo(MemoryStream({}).Get(), count, &copied, &written));
            EXPECT_EQ(10000u, written.QuadPart);
        } else {
            std::vector<BYTE> got(12000);
            EXPECT_EQ(S_OK, stream->Read(got.data(), 12000, &read));
            got.resize(read);
            EXPECT_EQ(bytes, got);
        }
        EXPECT_EQ(c.bar, watch.positions);

        // At the end: success with nothing read, and no further refresh.
        BYTE more[16];
        EXPECT_EQ(S_OK, stream->Read(more, sizeof(more), &read));
        EXPECT_EQ(0u, read);
        EXPECT_EQ(c.bar.size(), watch.positions.size());
    }
}

TEST(ProgressStream, FastReadsRefreshAndPumpAtMostEveryFifteenMilliseconds) {
    // 1 MB in 256 chunks standing for 1 % of the dialog's total.
    const std::vector<BYTE> bytes = Pattern(1 << 20);
    WNDCLASSW queueClass = {};
    queueClass.lpfnWndProc = QueueProc;
    queueClass.lpszClassName = L"KtxTestQueue";
    RegisterClassW(&queueClass);
    HWND queue = CreateWindowW(L"KtxTestQueue", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               nullptr, nullptr);
    ASSERT_TRUE(queue);
    struct Case {
        DWORD msPerChunk;
        size_t refreshes, pumps;
    } cases[] = {
        // The first chunk and the last only.
        {0, 2, 2},
        // The first chunk, then every third (15 ms later), which is also the last.
        {5, 86, 86},
        // Slow enough: every chunk.
        {20, 256, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.msPerChunk);
        std::vector<WPARAM> pumpedAt;
        g_pumpedAt = &pumpedAt;
        g_reads = 0;
        DWORD cancel = 0;
        ProgressDialog dialog(ProgressMode::Copy, 100u << 20, &cancel, &FakeTicks);
        ASSERT_TRUE(dialog.window());
        BarWatch watch;
        watch.Attach(dialog);
        ComPtr<IStream> inner;
        inner.Attach(new TickingStream(MemoryStream(bytes), c.msPerChunk, queue));
        ComPtr<IStream> stream;
        ASSERT_EQ(S_OK, CreateProgressStream(inner.Get(), &dialog, 1 << 20, &cancel, true, &stream));
        std::vector<BYTE> got(1 << 20);
        ULONG read = 0;
        EXPECT_EQ(S_OK, stream->Read(got.data(), 1 << 20, &read));
        EXPECT_EQ(1u << 20, read);
        EXPECT_EQ(c.refreshes, watch.positions.size());
        ASSERT_FALSE(watch.positions.empty());
        EXPECT_EQ(1, watch.positions.back());
        // Every message left was dispatched by the time the last chunk came.
        EXPECT_EQ(256u, pumpedAt.size());
        EXPECT_EQ(c.pumps, std::set<WPARAM>(pumpedAt.begin(), pumpedAt.end()).size());
        g_pumpedAt = nullptr;
    }
    DestroyWindow(queue);
}

TEST(ProgressStream, EscapeWhileReadingCancels) {
    DWORD cancel = 0;
    ProgressDialog dialog(ProgressMode::Copy, 10000, &cancel);
    ASSERT_TRUE(dialog.window());
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(Pattern(10000)).Get(), &dialog, 10000,
                                         &cancel, true, &stream));
    // The key waits in the queue for the stream's own message pump.
    PostMessageW(GetDlgItem(dialog.window(), IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    std::vector<BYTE> got(10000);
    ULONG read = 7;
    EXPECT_EQ(E_OPERATION_CANCELLED, stream->Read(got.data(), 10000, &read));
    EXPECT_EQ(0u, read);
    EXPECT_EQ(1u, cancel);
}

TEST(ProgressStream, ReadArgumentsAndAFailureOfTheInnerStream) {
    DWORD cancel = 0, innerFails = 0;
    ProgressDialog dialog(ProgressMode::Copy, 5000, &cancel);
    BarWatch watch;
    watch.Attach(dialog);
    // Another progress stream stands in for the server's: its reads fail once its flag is set.
    ComPtr<IStream> inner, stream;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(Pattern(5000)).Get(), nullptr, 0,
                                         &innerFails, false, &inner));
    ASSERT_EQ(S_OK, CreateProgressStream(inner.Get(), &dialog, 5000, &cancel, false, &stream));
    ULONG read = 7;
    EXPECT_EQ(E_POINTER, stream->Read(nullptr, 1, &read));
    EXPECT_EQ(S_OK, stream->Read(nullptr, 0, &read));
    EXPECT_EQ(0u, read);

    BYTE chunk[10];
    EXPECT_EQ(S_OK, stream->Read(chunk, sizeof(chunk), nullptr));
    EXPECT_EQ((std::vector<int>{81}), watch.positions);   // 4096 of 5000
    innerFails = 1;
    // The buffered rest is still handed out; the next refill's failure comes back unchanged.
    std::vector<BYTE> rest(5000);
    EXPECT_EQ(E_OPERATION_CANCELLED, stream->Read(rest.data(), 5000, &read));
    EXPECT_EQ(4086u, read);
    EXPECT_EQ(0, memcmp(Pattern(4096).data() + 10, rest.data(), 4086));
    EXPECT_EQ(E_OPERATION_CANCELLED, stream->Read(chunk, 1, &read));
    EXPECT_EQ(0u, read);
    EXPECT_EQ(0u, cancel);   // the inner stream failed; this one was not cancelled
}

TEST(ProgressStream, SeekAccountsForBufferedBytes) {
    const std::vector<BYTE> bytes = Pattern(10000);
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(bytes).Get(), nullptr, 0, nullptr, false,
                                         &stream));
    BYTE chunk[100];
    ULONG read = 0;
    ASSERT_EQ(S_OK, stream->Read(chunk, 100, &read));

    // The inner stream stands at 4096, past the buffered bytes.
    LARGE_INTEGER offset = {};
    ULARGE_INTEGER where = {};
    offset.QuadPart = 50;
    ASSERT_EQ(S_OK, stream->Seek(offset, STREAM_SEEK_CUR, &where));
    EXPECT_EQ(150u, where.QuadPart);
    ASSERT_EQ(S_OK, stream->Read(chunk, 1, &read));
    EXPECT_EQ(bytes[150], chunk[0]);
}

TEST(ProgressStream, WritingMethodsAreNotImplementedWithErrorInformation) {
    LONG objectsBefore = ModuleObjectCount();
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, CreateProgressStream(MemoryStream(Pattern(10)).Get(), nullptr, 0, nullptr,
                                         false, &stream));
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(S_OK, stream.As(&support));
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IStream));
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(E_NOTIMPL, stream->Write("x", 1, nullptr));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(S_OK, GetErrorInfo(0, &info));
    BSTR description = nullptr;
    EXPECT_EQ(S_OK, info->GetDescription(&description));
    EXPECT_GT(SysStringLen(description), 0u);
    SysFreeString(description);

    support.Reset();
    stream.Reset();
    EXPECT_EQ(objectsBefore, ModuleObjectCount());
}
