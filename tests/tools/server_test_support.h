// Helpers of the substitute server tests: a COM-ready fixture over a fresh
// sample module, memory streams, a recording change sink, message pumping.
#pragma once
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/holders.h"
#include "tests/support/substitute_server.h"
#include "tests/tools/listing_reader.h"

class ServerTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    HRESULT List(const wchar_t* request, std::vector<ListedRow>* rows, bool foldersOnly = false);
    // The single-item lookup; found is false when the item does not exist.
    bool Lookup(const wchar_t* path, ListedRow* row = nullptr);
    std::vector<std::wstring> Names(const wchar_t* request);
    HRESULT Write(const wchar_t* path, const std::string& bytes, LONG attributes = FILE_ATTRIBUTE_ARCHIVE);
    HRESULT ReadAll(const wchar_t* path, std::string* bytes);
    std::string PcFile(const wchar_t* modulePath);
    bool PcExists(const wchar_t* modulePath);

    SubstituteModule module_;
    bool comReady_ = false;
    Microsoft::WRL::ComPtr<ModuleAccess> access_;
};

// A read stream over bytes; Read fails with `failWith` once `failAfter`
// bytes have been delivered (never when failAfter is npos).
HRESULT MakeSourceStream(const std::string& bytes, IStream** out, size_t failAfter = std::string::npos,
                         HRESULT failWith = S_OK);

// An IModuleChangeSink that records what it is told, and may act on it.
class RecordingSink final : public IModuleChangeSink {
public:
    static Microsoft::WRL::ComPtr<RecordingSink> Make();
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP OnChange(BSTR message) override;

    std::vector<std::wstring> messages() const;
    // Runs on the sink's thread after each message is recorded.
    void OnEach(std::function<void(const std::wstring&)> action) { action_ = std::move(action); }

private:
    RecordingSink() = default;
    volatile LONG refs_ = 1;
    mutable std::mutex lock_;
    std::vector<std::wstring> messages_;
    std::function<void(const std::wstring&)> action_;
};

// Dispatches the thread's messages until `done` holds or `timeoutMs` passes.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Dispatches the thread's messages for `ms`.
void PumpFor(DWORD ms);
