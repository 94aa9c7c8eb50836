// A substitute server whose clients die (killed, or gone without letting go)
// ends by itself: Wine never tells it about the dead client.
#include <windows.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "common/holders.h"
#include "testing/substitute_server.h"
#include "tools/substitute_common/settings.h"

namespace {

constexpr DWORD kIdleSeconds = 2;

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\'));
}

// The running module servers, as handles to wait on.
std::vector<HANDLE> ModuleServers() {
    std::vector<HANDLE> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, L"ktx_module_server.exe") != 0) continue;
        if (HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID))
            found.push_back(process);
    }
    CloseHandle(snapshot);
    return found;
}

bool AllEnded(const std::vector<HANDLE>& processes, DWORD milliseconds) {
    if (processes.empty()) return true;
    return WaitForMultipleObjects(static_cast<DWORD>(processes.size()), processes.data(), TRUE,
                                  milliseconds) == WAIT_OBJECT_0;
}

// A client process holding a server object (and maybe a change sink).
class Client {
public:
    explicit Client(bool withSink) {
        ready_ = CreateEventW(nullptr, TRUE, FALSE, L"KTXSinkClientReady");
        std::wstring command = L"\"" + ProgramFolder() + L"\\ktx_test_sink_client.exe\" " +
                               (withSink ? L"sink" : L"plain") + L" KTXSinkClientReady";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &process_)) {
            CloseHandle(process_.hThread);
            HANDLE waits[] = {ready_, process_.hProcess};
            started_ = WaitForMultipleObjects(2, waits, FALSE, 60000) == WAIT_OBJECT_0;
        }
    }
    ~Client() {
        Kill();
        if (process_.hProcess) CloseHandle(process_.hProcess);
        CloseHandle(ready_);
    }
    bool started() const { return started_; }
    void Kill() {
        if (process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 9);
            WaitForSingleObject(process_.hProcess, 10000);
        }
    }

private:
    HANDLE ready_ = nullptr;
    PROCESS_INFORMATION process_ = {};
    bool started_ = false;
};

}  // namespace

TEST(ClientDeath, TheServerEndsOnceItsClientsAreDeadButNotWhileASinkLives) {
    for (bool withSink : {true, false}) {
        SubstituteModule module;   // restores the idle limit when it goes
        ASSERT_TRUE(module.ok());
        {
            HKEY raw = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, substitute::kSettingsKey, 0,
                                                     nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr));
            UniqueRegKey key(raw);
            substitute::WriteDword(raw, L"IdleSeconds", kIdleSeconds);
        }
        Client client(withSink);
        ASSERT_TRUE(client.started()) << withSink;
        std::vector<HANDLE> servers = ModuleServers();
        ASSERT_FALSE(servers.empty());
        if (withSink) {
            // Idle for longer than the limit, but the sink answers.
            EXPECT_FALSE(AllEnded(servers, 3 * kIdleSeconds * 1000)) << "ended under a live sink";
        }
        client.Kill();
        EXPECT_TRUE(AllEnded(servers, 15 * kIdleSeconds * 1000)) << "outlived its dead client";
        for (HANDLE server : servers) CloseHandle(server);
    }
}
