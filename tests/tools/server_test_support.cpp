#include "tests/tools/server_test_support.h"

#include <new>

using Microsoft::WRL::ComPtr;

void ServerTest::SetUp() {
    ASSERT_TRUE(module_.ok());
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    comReady_ = true;
    ASSERT_HRESULT_SUCCEEDED(module_.Create(&access_));
}

void ServerTest::TearDown() {
    access_.Reset();
    if (comReady_) CoUninitialize();
}

HRESULT ServerTest::List(const wchar_t* request, std::vector<ListedRow>* rows, bool foldersOnly) {
    UniqueBstr text(request);
    UniqueVariant result;
    HRESULT hr = access_->ListFolder(text.get(), foldersOnly ? VARIANT_TRUE : VARIANT_FALSE, result.get());
    std::wstring layout;
    *rows = ReadListing(*result.get(), &layout);
    EXPECT_EQ(L"", layout) << request;
    return hr;
}

bool ServerTest::Lookup(const wchar_t* path, ListedRow* row) {
    std::vector<ListedRow> rows;
    EXPECT_HRESULT_SUCCEEDED(List(path, &rows)) << path;
    if (rows.empty()) return false;
    EXPECT_EQ(1u, rows.size()) << path;
    if (row) *row = rows[0];
    return true;
}

std::vector<std::wstring> ServerTest::Names(const wchar_t* request) {
    std::vector<ListedRow> rows;
    EXPECT_HRESULT_SUCCEEDED(List(request, &rows)) << request;
    std::vector<std::wstring> names;
    for (const ListedRow& row : rows) names.push_back(row.name);
    return names;
}

HRESULT ServerTest::Write(const wchar_t* path, const std::string& bytes, LONG attributes) {
    ComPtr<IStream> source;
    HRESULT hr = MakeSourceStream(bytes, &source);
    if (FAILED(hr)) return hr;
    UniqueBstr target(path);
    return access_->WriteFile(target.get(), source.Get(), attributes);
}

HRESULT ServerTest::ReadAll(const wchar_t* path, std::string* bytes) {
    bytes->clear();
    UniqueBstr text(path);
    ComPtr<IUnknown> unknown;
    HRESULT hr = access_->OpenFile(text.get(), &unknown);
    if (FAILED(hr)) return hr;
    ComPtr<IStream> stream;
    hr = unknown.As(&stream);
    if (FAILED(hr)) return hr;
    char buffer[4096];
    for (;;) {
        ULONG got = 0;
        hr = stream->Read(buffer, sizeof(buffer), &got);
        if (FAILED(hr)) return hr;
        bytes->append(buffer, got);
        if (got == 0) return S_OK;
    }
}

std::string ServerTest::PcFile(const wchar_t* modulePath) {
    std::string bytes;
    UniqueHandle file(CreateFileW(module_.PcPath(modulePath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got) bytes.append(buffer, got);
    return bytes;
}

bool ServerTest::PcExists(const wchar_t* modulePath) {
    return GetFileAttributesW(module_.PcPath(modulePath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

class SourceStream final : public IStream {
public:
    SourceStream(std::string bytes, size_t failAfter, HRESULT failWith)
        : bytes_(std::move(bytes)), failAfter_(failAfter), failWith_(failWith) {}
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
        if (!left) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP Read(void* buffer, ULONG wanted, ULONG* read) override {
        if (read) *read = 0;
        if (failAfter_ != std::string::npos && position_ >= failAfter_) return failWith_;
        size_t limit = failAfter_ == std::string::npos ? bytes_.size() : std::min(bytes_.size(), failAfter_);
        ULONG n = static_cast<ULONG>(std::min<size_t>(wanted, limit - std::min(limit, position_)));
        memcpy(buffer, bytes_.data() + position_, n);
        position_ += n;
        if (read) *read = n;
        return n < wanted ? S_FALSE : S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    volatile LONG refs_ = 1;
    std::string bytes_;
    size_t position_ = 0;
    size_t failAfter_;
    HRESULT failWith_;
};

}  // namespace

HRESULT MakeSourceStream(const std::string& bytes, IStream** out, size_t failAfter, HRESULT failWith) {
    *out = new (std::nothrow) SourceStream(bytes, failAfter, failWith);
    return *out ? S_OK : E_OUTOFMEMORY;
}

ComPtr<RecordingSink> RecordingSink::Make() {
    ComPtr<RecordingSink> sink;
    sink.Attach(new RecordingSink());
    return sink;
}

STDMETHODIMP RecordingSink::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IModuleChangeSink) {
        *out = static_cast<IModuleChangeSink*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) RecordingSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) RecordingSink::Release() {
    LONG left = InterlockedDecrement(&refs_);
    if (!left) delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP RecordingSink::OnChange(BSTR message) {
    std::wstring text = message ? std::wstring(message, SysStringLen(message)) : std::wstring();
    {
        std::lock_guard<std::mutex> hold(lock_);
        messages_.push_back(text);
    }
    if (action_) action_(text);
    return S_OK;
}

std::vector<std::wstring> RecordingSink::messages() const {
    std::lock_guard<std::mutex> hold(lock_);
    return messages_;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done()) return true;
        if (GetTickCount64() >= end) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}
