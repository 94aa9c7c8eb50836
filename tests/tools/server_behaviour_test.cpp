// How the substitute servers behave around the operations: change
// notifications to other clients, fault injection, busy rejection, and the
// device-information server's answers.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/result_codes.h"
#include "tests/tools/server_test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

// An IModuleChangeSink that records what it is told, and may act on it. Its
// calls come in on the thread that made it, while that thread pumps.
class RecordingSink final : public IModuleChangeSink {
public:
    static ComPtr<RecordingSink> Make() {
        ComPtr<RecordingSink> sink;
        sink.Attach(new RecordingSink());
        return sink;
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (riid != IID_IUnknown && riid != IID_IModuleChangeSink) return E_NOINTERFACE;
        *out = static_cast<IModuleChangeSink*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (!left) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP OnChange(BSTR message) override {
        messages_.push_back(message ? std::wstring(message, SysStringLen(message)) : std::wstring());
        if (action_) action_(messages_.back());
        return S_OK;
    }

    const std::vector<std::wstring>& messages() const { return messages_; }
    // Runs after each message is recorded.
    void OnEach(std::function<void(const std::wstring&)> action) { action_ = std::move(action); }

private:
    RecordingSink() = default;
    volatile LONG refs_ = 1;
    std::vector<std::wstring> messages_;
    std::function<void(const std::wstring&)> action_;
};

// Dispatches the thread's messages until `done` holds or `timeoutMs` passes.
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

class Notifications : public ServerTest {
protected:
    // A second client, with a sink registered for `folder`; its calls come
    // in on this thread while it pumps.
    ComPtr<RecordingSink> Watch(const wchar_t* folder) {
        ComPtr<ModuleAccess> client;
        ComPtr<RecordingSink> sink = RecordingSink::Make();
        UniqueBstr path(folder);
        LONG cookie = 0;
        EXPECT_HRESULT_SUCCEEDED(module_.Create(&client));
        if (client) {
            EXPECT_EQ(S_OK, client->Advise(path.get(), sink.Get(), &cookie)) << folder;
        }
        clients_.emplace_back(client, cookie);
        return sink;
    }
    static bool WaitFor(const ComPtr<RecordingSink>& sink, size_t count) {
        return PumpUntil([&] { return sink->messages().size() >= count; }, 10000);
    }
    void TearDown() override {
        for (auto& client : clients_)
            if (client.second) client.first->Unadvise(client.second);
        clients_.clear();
        ServerTest::TearDown();
    }

    std::vector<std::pair<ComPtr<ModuleAccess>, LONG>> clients_;  // with their cookies
};

TEST_F(Notifications, ChangesReachTheSinksOfTheAffectedFolders) {
    ComPtr<RecordingSink> data = Watch(L"\\A:\\Data");
    ComPtr<RecordingSink> top = Watch(L"");
    ComPtr<RecordingSink> inner = Watch(L"\\A:\\Data\\Empty Folder");

    ASSERT_EQ(S_OK, Call(&ModuleAccess::DeleteFileW, L"\\A:\\Data\\Notes.txt"));
    ASSERT_EQ(S_OK, Write(L"\\B:\\elsewhere.txt", "x"));  // not data's folder
    ASSERT_EQ(S_OK, Write(L"\\A:\\Data\\New.txt", "x"));
    ASSERT_EQ(S_OK, Call(&ModuleAccess::RenameFile, L"\\A:\\Data\\README", L"\\A:\\Data\\README.txt"));
    ASSERT_EQ(S_OK, Call(&ModuleAccess::DeleteFolder, L"\\A:\\Data\\Empty Folder"));
    ASSERT_TRUE(WaitFor(data, 5));
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\Notes.txt", L"U:\\A:\\Data\\New.txt",
                                         L"D:\\A:\\Data\\README", L"U:\\A:\\Data\\README.txt",
                                         L"D:\\A:\\Data\\Empty Folder"}),
              data->messages());
    // A deleted folder's own sinks hear of it too.
    ASSERT_TRUE(WaitFor(inner, 1));
    EXPECT_EQ(L"D:\\A:\\Data\\Empty Folder", inner->messages()[0]);

    // Drives are the top level's items; a format reaches the sinks below the drive.
    ComPtr<RecordingSink> deep = Watch(L"\\A:\\Data\\Archive\\Deep");
    ASSERT_EQ(S_OK, Call(&ModuleAccess::SetLabel, L"B:", L"CARD2"));
    ASSERT_TRUE(WaitFor(top, 1));
    EXPECT_EQ(std::vector<std::wstring>{L"U:\\B:"}, top->messages());
    ASSERT_EQ(S_OK, Call(&ModuleAccess::Format, L"A:"));
    ASSERT_TRUE(WaitFor(deep, 1));
    EXPECT_EQ(L"U:\\A:", deep->messages()[0]);
}

TEST_F(Notifications, UnadviseStopsCallsEvenFromInsideOnChange) {
    auto sink = RecordingSink::Make();
    UniqueBstr folder(L"\\B:");
    LONG cookie = 0;
    ASSERT_EQ(S_OK, access_->Advise(folder.get(), sink.Get(), &cookie));
    ModuleAccess* access = access_.Get();
    HRESULT unadvised = E_FAIL;
    // The client leaves re-entrantly, while the server is calling it.
    sink->OnEach([&](const std::wstring&) {
        if (cookie) unadvised = access->Unadvise(cookie);
        cookie = 0;
    });
    ASSERT_EQ(S_OK, Write(L"\\B:\\one.txt", "1"));
    ASSERT_EQ(S_OK, Write(L"\\B:\\two.txt", "2"));
    ASSERT_TRUE(WaitFor(sink, 1));
    PumpUntil([] { return false; }, 300);  // time for a second call, if it came
    EXPECT_EQ(S_OK, unadvised);
    EXPECT_EQ(std::vector<std::wstring>{L"U:\\B:\\one.txt"}, sink->messages());
}

// The simulated device: injected faults and busy rejection.
using SimulatedDevice = ServerTest;

TEST_F(SimulatedDevice, TheNthCallFailsWithOrWithoutADescriptionAndBusyCallsAreRefused) {
    module_.FailNthCall(L"DeleteFile", 2, E_NO_CONNECTION);
    EXPECT_EQ(S_OK, Call(&ModuleAccess::DeleteFileW, L"\\A:\\Data\\Notes.txt"));
    EXPECT_EQ(E_NO_CONNECTION, Call(&ModuleAccess::DeleteFileW, L"\\A:\\Data\\README"));
    EXPECT_EQ(L"", TakeErrorDescription());  // none configured: the client's own text applies
    EXPECT_TRUE(PcExists(L"\\A:\\Data\\README"));
    EXPECT_EQ(S_OK, Call(&ModuleAccess::DeleteFileW, L"\\A:\\Data\\README"));
    EXPECT_EQ(3u, module_.CallCount(L"DeleteFile"));

    // Repeat 0: every call from the first on, until cleared.
    module_.FailNthCall(L"GetLabel", 1, E_PORT_IN_USE, 0, L"COM1 is used by another program.");
    UniqueBstr a(L"A:"), label;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(E_PORT_IN_USE, access_->GetLabel(a.get(), label.out()));
        EXPECT_EQ(L"COM1 is used by another program.", TakeErrorDescription());
    }
    module_.ClearFaults();
    EXPECT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));

    // Busy rejection refuses the next calls, then serves.
    module_.RejectBusy(2);
    EXPECT_EQ(RPC_E_CALL_REJECTED, access_->GetLabel(a.get(), label.out()));
    EXPECT_EQ(RPC_E_CALL_REJECTED, access_->GetLabel(a.get(), label.out()));
    EXPECT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
}

TEST_F(SimulatedDevice, DeviceInformationAnswersFromTheConfiguration) {
    ComPtr<DeviceInfo> info;
    ASSERT_HRESULT_SUCCEEDED(module_.CreateDeviceInfo(&info));
    module_.SetModel(L"zp03");
    module_.SetPortMask(0x80000041);
    UniqueBstr model, ports;
    LONG mask = 0;
    ASSERT_EQ(S_OK, info->GetModel(model.out()));
    EXPECT_STREQ(L"zp03", model.c_str());
    ASSERT_EQ(S_OK, info->GetPorts(ports.out(), 5, &mask));
    EXPECT_EQ(static_cast<LONG>(0x80000041), mask);
    EXPECT_STREQ(L"COM1;COM7;COM32", ports.c_str());
}

}  // namespace
