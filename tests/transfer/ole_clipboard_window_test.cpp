// What the end of the library's clipboard thread leaves of the process's OLE
// clipboard. Each probe needs a process where nobody has used the OLE
// clipboard yet, so it runs in a child: this program started again with
// only that (otherwise disabled) case, which exits with OleSetClipboard's
// answer on the main thread after the other thread has ended.
#include <windows.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <string>

#include "common/holders.h"
#include "module_access/com_thread.h"
#include "testing/substitute_server.h"
#include "transfer/clipboard_thread.h"

using Microsoft::WRL::ComPtr;

namespace {

// A thread that does all a clipboard user should: sets the clipboard,
// empties and flushes it, and uninitialises OLE before it ends.
DWORD WINAPI WellBehavedClipboardThread(void*) {
    if (FAILED(OleInitialize(nullptr))) return 1;
    OleSetClipboard(nullptr);
    OleFlushClipboard();
    OleUninitialize();
    return 0;
}

void RunWellBehavedThread() {
    UniqueHandle thread(CreateThread(nullptr, 0, &WellBehavedClipboardThread, nullptr, 0, nullptr));
    WaitForSingleObject(thread.get(), 10000);
}

[[noreturn]] void ExitWith(HRESULT hr) {
    fflush(stdout);
    ExitProcess(static_cast<UINT>(hr));
}

// Starts this program on one probe; its exit code is the probe's answer.
HRESULT RunProbe(const char* name) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_also_run_disabled_tests --gtest_filter=OleClipboardProbe.DISABLED_" +
                           std::wstring(name, name + strlen(name));
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return HRESULT_FROM_WIN32(GetLastError());
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = static_cast<DWORD>(E_FAIL);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<HRESULT>(code);
}

}  // namespace

TEST(OleClipboardProbe, DISABLED_AnotherThreadFirst) {
    OleInitialize(nullptr);
    RunWellBehavedThread();
    ExitWith(OleSetClipboard(nullptr));
}

TEST(OleClipboardProbe, DISABLED_ThisThreadFirst) {
    OleInitialize(nullptr);
    OleSetClipboard(nullptr);
    RunWellBehavedThread();
    ExitWith(OleSetClipboard(nullptr));
}

TEST(OleClipboardProbe, DISABLED_LibraryClipboardThreadFirst) {
    OleInitialize(nullptr);
    EnterComThread();
    SubstituteModule module;
    if (!module.ok()) ExitWith(E_UNEXPECTED);
    ComPtr<IDataObject> object;
    HRESULT hr = MakeClipboardDataObject(L"", nullptr, nullptr, 0, DROPEFFECT_COPY, nullptr, &object);
    if (FAILED(hr)) ExitWith(E_UNEXPECTED);
    object.Reset();
    // Emptied here while the clipboard thread still runs: it lets go of its
    // last object and ends.
    if (OleSetClipboard(nullptr) != S_OK) ExitWith(E_UNEXPECTED);
    UniqueHandle thread(TakeLastClipboardThread());
    HANDLE handle = thread.get();
    while (handle && MsgWaitForMultipleObjects(1, &handle, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    ExitWith(OleSetClipboard(nullptr));
}

// Under Wine the OLE clipboard has one window per process, made on the first
// thread that needs it and never made again while OLE stays initialised in
// the process; when that thread ends, the window goes with it and every later
// OleSetClipboard answers CLIPBRD_E_CANT_OPEN. A thread that does everything
// right leaves the same as the library's clipboard thread; a window made on
// a thread that stays is not affected.
TEST(OleClipboardWindow, TheLibrarysThreadLeavesWhatAnyWellBehavedThreadLeaves) {
    const HRESULT anotherFirst = RunProbe("AnotherThreadFirst");
    const HRESULT libraryFirst = RunProbe("LibraryClipboardThreadFirst");
    const HRESULT thisFirst = RunProbe("ThisThreadFirst");
    EXPECT_EQ(thisFirst, S_OK);
    EXPECT_NE(libraryFirst, E_UNEXPECTED) << "the probe itself failed";
    EXPECT_EQ(libraryFirst, anotherFirst);
    if (anotherFirst == CLIPBRD_E_CANT_OPEN)
        printf("platform: the OLE clipboard's window died with the thread that made it\n");
}
