// How the substitute servers behave around the operations: change
// notifications to other clients, fault injection, busy rejection, the
// simulated link, the device-information server, and the servers' lifetime.
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/result_codes.h"
#include "tests/tools/server_test_support.h"

using Microsoft::WRL::ComPtr;

namespace {

// A second client: its own thread, apartment and ModuleAccess, with a sink
// registered for one folder.
class Watcher {
public:
    Watcher(const SubstituteModule& module, const wchar_t* folder) : module_(module), folder_(folder) {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, Main, this, 0, nullptr);
        WaitForSingleObject(ready_, 30000);
    }
    ~Watcher() {
        SetEvent(stop_);
        WaitForSingleObject(thread_, 30000);
        CloseHandle(thread_);
        CloseHandle(stop_);
        CloseHandle(ready_);
    }
    HRESULT advised() const { return advised_; }
    std::vector<std::wstring> messages() const { return sink_ ? sink_->messages() : std::vector<std::wstring>(); }
    bool WaitFor(size_t count, DWORD timeoutMs) const {
        ULONGLONG end = GetTickCount64() + timeoutMs;
        while (messages().size() < count) {
            if (GetTickCount64() > end) return false;
            Sleep(20);
        }
        return true;
    }

private:
    static DWORD WINAPI Main(void* context) {
        Watcher* self = static_cast<Watcher*>(context);
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            ComPtr<ModuleAccess> access;
            self->advised_ = self->module_.Create(&access);
            self->sink_ = RecordingSink::Make();
            LONG cookie = 0;
            if (SUCCEEDED(self->advised_)) {
                UniqueBstr folder(self->folder_);
                self->advised_ = access->Advise(folder.get(), self->sink_.Get(), &cookie);
            }
            SetEvent(self->ready_);
            while (MsgWaitForMultipleObjects(1, &self->stop_, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            }
            if (cookie) access->Unadvise(cookie);
        }
        CoUninitialize();
        return 0;
    }

    const SubstituteModule& module_;
    const wchar_t* folder_;
    HANDLE ready_, stop_, thread_;
    HRESULT advised_ = E_FAIL;
    ComPtr<RecordingSink> sink_;
};

using Notifications = ServerTest;

TEST_F(Notifications, ChangesReachTheSinksOfOtherClients) {
    Watcher data(module_, L"\\A:\\Data");
    Watcher top(module_, L"");
    ASSERT_HRESULT_SUCCEEDED(data.advised());
    ASSERT_HRESULT_SUCCEEDED(top.advised());

    UniqueBstr notes(L"\\A:\\Data\\Notes.txt");
    ASSERT_EQ(S_OK, access_->DeleteFileW(notes.get()));
    ASSERT_EQ(S_OK, Write(L"\\B:\\elsewhere.txt", "x"));  // not data's folder
    ASSERT_EQ(S_OK, Write(L"\\A:\\Data\\New.txt", "x"));
    UniqueBstr oldName(L"\\A:\\Data\\README"), newName(L"\\A:\\Data\\README.txt");
    ASSERT_EQ(S_OK, access_->RenameFile(oldName.get(), newName.get()));
    ASSERT_TRUE(data.WaitFor(4, 10000));
    EXPECT_EQ((std::vector<std::wstring>{L"D:\\A:\\Data\\Notes.txt", L"U:\\A:\\Data\\New.txt",
                                         L"D:\\A:\\Data\\README", L"U:\\A:\\Data\\README.txt"}),
              data.messages());

    // Drives are the top level's items.
    UniqueBstr b(L"B:"), label(L"CARD2");
    ASSERT_EQ(S_OK, access_->SetLabel(b.get(), label.get()));
    ASSERT_TRUE(top.WaitFor(1, 10000));
    EXPECT_EQ(std::vector<std::wstring>{L"U:\\B:"}, top.messages());
}

TEST_F(Notifications, FolderDeletionAndFormatReachSinksBelow) {
    Watcher inner(module_, L"\\A:\\Data\\Empty Folder");
    ASSERT_HRESULT_SUCCEEDED(inner.advised());
    UniqueBstr folder(L"\\A:\\Data\\Empty Folder");
    ASSERT_EQ(S_OK, access_->DeleteFolder(folder.get()));
    ASSERT_TRUE(inner.WaitFor(1, 10000));
    EXPECT_EQ(L"D:\\A:\\Data\\Empty Folder", inner.messages()[0]);

    Watcher deep(module_, L"\\A:\\Data\\Archive\\Deep");
    UniqueBstr a(L"A:");
    ASSERT_EQ(S_OK, access_->Format(a.get()));
    ASSERT_TRUE(deep.WaitFor(1, 10000));
    EXPECT_EQ(L"U:\\A:", deep.messages()[0]);
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
    ASSERT_TRUE(PumpUntil([&] { return !sink->messages().empty(); }, 10000));
    PumpFor(300);
    EXPECT_EQ(S_OK, unadvised);
    EXPECT_EQ(std::vector<std::wstring>{L"U:\\B:\\one.txt"}, sink->messages());
    ASSERT_EQ(S_OK, Write(L"\\B:\\three.txt", "3"));
    PumpFor(300);
    EXPECT_EQ(1u, sink->messages().size());
    EXPECT_EQ(E_INVALIDARG, access_->Unadvise(12345));
}

TEST_F(Notifications, AdviseChecksItsArguments) {
    UniqueBstr folder(L"\\A:\\Data"), bad(L"\\A:\\Da|ta");
    LONG cookie = 0;
    EXPECT_EQ(E_POINTER, access_->Advise(folder.get(), nullptr, &cookie));
    auto sink = RecordingSink::Make();
    EXPECT_EQ(E_INVALIDARG, access_->Advise(bad.get(), sink.Get(), &cookie));
    // Anything that is not a change sink is refused.
    ComPtr<IStream> notASink;
    ASSERT_HRESULT_SUCCEEDED(MakeSourceStream("x", &notASink));
    EXPECT_EQ(E_NOINTERFACE, access_->Advise(folder.get(), notASink.Get(), &cookie));
}

using Faults = ServerTest;

TEST_F(Faults, TheNthCallOfAnOperationFails) {
    module_.FailNthCall(L"DeleteFile", 2, E_NO_CONNECTION);
    UniqueBstr first(L"\\A:\\Data\\Notes.txt"), second(L"\\A:\\Data\\README"), third(L"\\B:\\NOEXT");
    EXPECT_EQ(S_OK, access_->DeleteFileW(first.get()));
    EXPECT_EQ(E_NO_CONNECTION, access_->DeleteFileW(second.get()));
    EXPECT_EQ(L"", TakeErrorDescription());  // none configured: the client's own text applies
    EXPECT_TRUE(PcExists(L"\\A:\\Data\\README"));
    EXPECT_EQ(S_OK, access_->DeleteFileW(second.get()));
    EXPECT_EQ(S_OK, access_->DeleteFileW(third.get()));
    EXPECT_EQ(4u, module_.CallCount(L"DeleteFile"));
    EXPECT_EQ(0u, module_.CallCount(L"RenameFile"));
}

TEST_F(Faults, RepeatedFaultsWithADescription) {
    module_.FailNthCall(L"GetLabel", 1, E_PORT_IN_USE, 0, L"COM1 is used by another program.");
    UniqueBstr a(L"A:"), label;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(E_PORT_IN_USE, access_->GetLabel(a.get(), label.out()));
        EXPECT_EQ(L"COM1 is used by another program.", TakeErrorDescription());
    }
    module_.ClearFaults();
    EXPECT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
    EXPECT_EQ(L"", TakeErrorDescription());
}

TEST_F(Faults, AStreamCanFailPartWay) {
    module_.FailNthCall(L"Read", 3, E_NO_COMMUNICATION);
    UniqueBstr path(L"\\A:\\Pictures\\Sunset.jpg");
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, access_->OpenFile(path.get(), &unknown));
    ComPtr<IStream> stream;
    ASSERT_HRESULT_SUCCEEDED(unknown.As(&stream));
    char buffer[4096];
    ULONG got = 0;
    EXPECT_EQ(S_OK, stream->Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ(S_OK, stream->Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ(E_NO_COMMUNICATION, stream->Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ(S_OK, stream->Read(buffer, sizeof(buffer), &got));
    EXPECT_EQ(4096u, got);
}

TEST_F(Faults, BusyRejectionRefusesCallsThenServes) {
    module_.RejectBusy(2);
    UniqueBstr a(L"A:"), label;
    EXPECT_EQ(RPC_E_CALL_REJECTED, access_->GetLabel(a.get(), label.out()));
    EXPECT_EQ(RPC_E_CALL_REJECTED, access_->GetLabel(a.get(), label.out()));
    EXPECT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
    EXPECT_STREQ(L"PHONE", label.c_str());
}

using LinkSpeed = ServerTest;

// Only lower bounds: the link may never be faster than configured.
TEST_F(LinkSpeed, StreamsAndWritesAreNoFasterThanTheLink) {
    module_.SetLinkSpeed(100000);
    ULONGLONG start = GetTickCount64();
    std::string bytes;
    ASSERT_EQ(S_OK, ReadAll(L"\\A:\\Data\\Photo.jpg", &bytes));
    EXPECT_EQ(61440u, bytes.size());
    EXPECT_GE(GetTickCount64() - start, 550u);

    start = GetTickCount64();
    ASSERT_EQ(S_OK, Write(L"\\B:\\paced.bin", std::string(50000, 'p')));
    EXPECT_GE(GetTickCount64() - start, 450u);
}

class DeviceInformation : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module_.ok());
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        comReady_ = true;
        ASSERT_HRESULT_SUCCEEDED(module_.CreateDeviceInfo(&info_));
    }
    void TearDown() override {
        info_.Reset();
        if (comReady_) CoUninitialize();
    }
    SubstituteModule module_;
    bool comReady_ = false;
    ComPtr<DeviceInfo> info_;
};

TEST_F(DeviceInformation, AnswersModelAndPortsFromTheConfiguration) {
    UniqueBstr model, text;
    ASSERT_EQ(S_OK, info_->GetModel(model.out()));
    EXPECT_STREQ(L"ZR71", model.c_str());
    LONG mask = 0;
    ASSERT_EQ(S_OK, info_->GetPorts(text.out(), 5, &mask));
    EXPECT_EQ(0xF, mask);
    EXPECT_STREQ(L"COM1;COM2;COM3;COM4", text.c_str());

    module_.SetModel(L"zp03");
    module_.SetPortMask(0x80000041);
    ASSERT_EQ(S_OK, info_->GetModel(model.out()));
    EXPECT_STREQ(L"zp03", model.c_str());
    ASSERT_EQ(S_OK, info_->GetPorts(text.out(), 5, &mask));
    EXPECT_EQ(static_cast<LONG>(0x80000041), mask);
    EXPECT_STREQ(L"COM1;COM7;COM32", text.c_str());

    EXPECT_EQ(E_INVALIDARG, info_->GetPorts(text.out(), 4, &mask));
    module_.FailNthCall(L"GetModel", 1, E_NO_CONNECTION);
    EXPECT_EQ(E_NO_CONNECTION, info_->GetModel(model.out()));
}

bool WaitForExit(DWORD pid, DWORD timeoutMs) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return true;
    bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

TEST_F(DeviceInformation, ServerEndsAfterItsLastClientLetsGo) {
    DWORD pid = FindProcessId(L"ktx_device_info_server.exe");
    ASSERT_NE(0u, pid);
    info_.Reset();
    EXPECT_TRUE(WaitForExit(pid, 15000));
}

using Lifetime = ServerTest;

TEST_F(Lifetime, ModuleServerEndsAfterItsLastClientLetsGo) {
    DWORD pid = FindProcessId(L"ktx_module_server.exe");
    ASSERT_NE(0u, pid);
    // A stream keeps the server too.
    UniqueBstr path(L"\\A:\\Data\\Notes.txt");
    ComPtr<IUnknown> stream;
    ASSERT_EQ(S_OK, access_->OpenFile(path.get(), &stream));
    access_.Reset();
    SubstituteModule::StopKeepingServer();
    EXPECT_FALSE(WaitForExit(pid, 1000));
    stream.Reset();
    // Other test programs' keepers let go a few seconds after their last fixture.
    EXPECT_TRUE(WaitForExit(pid, 20000));
}

// Run as a child process by the next test: holds a sink until it is killed.
TEST(DeadClient, DISABLED_ChildHoldsASinkUntilKilled) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ComPtr<ModuleAccess> access;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(CLSID_ModuleAccessServer, nullptr, CLSCTX_LOCAL_SERVER,
                                              IID_ModuleAccess, reinterpret_cast<void**>(access.GetAddressOf())));
    auto sink = RecordingSink::Make();
    UniqueBstr folder(L"\\A:\\Data");
    LONG cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(access->Advise(folder.get(), sink.Get(), &cookie));
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"KTXDeadClientReady");
    ASSERT_NE(nullptr, ready);
    SetEvent(ready);
    PumpFor(INFINITE);
}

TEST_F(Lifetime, ADeadClientDoesNotWedgeTheServer) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, L"KTXDeadClientReady");
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = std::wstring(L"\"") + exe +
                           L"\" --gtest_also_run_disabled_tests --gtest_filter=DeadClient.DISABLED_ChildHoldsASinkUntilKilled";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    bool advised = WaitForSingleObject(ready, 30000) == WAIT_OBJECT_0;
    TerminateProcess(child.hProcess, 1);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    CloseHandle(ready);
    ASSERT_TRUE(advised);

    // The change goes out to the dead sink; the server must stay at our service.
    UniqueBstr notes(L"\\A:\\Data\\Notes.txt");
    ASSERT_EQ(S_OK, access_->DeleteFileW(notes.get()));
    PumpFor(500);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(S_OK, Write(L"\\A:\\Data\\again.txt", "again"));
        UniqueBstr a(L"A:"), label;
        ASSERT_EQ(S_OK, access_->GetLabel(a.get(), label.out()));
    }
}

}  // namespace
