// Threads of the library's code: what they hold while they run, and the wait
// that keeps a window thread answering.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/holders.h"
#include "common/module_count.h"
#include "common/module_thread.h"

namespace {

DWORD WINAPI WaitForEvent(void* event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 7;
}

TEST(ModuleThread, StillRunningAfterTheLastObjectWentItKeepsTheLibrary) {
    UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    LONG before = ModuleObjectCount();
    HANDLE started = nullptr;
    ASSERT_EQ(StartModuleThread(&WaitForEvent, release.get(), &started), S_OK);
    UniqueHandle thread(started);
    // No object is alive, yet the library must not be unloaded.
    EXPECT_EQ(ModuleObjectCount(), before + 1);

    SetEvent(release.get());
    ASSERT_EQ(WaitForSingleObject(thread.get(), 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread.get(), &code);
    EXPECT_EQ(code, 7u);  // the routine's result survives the exit through the loader
    EXPECT_EQ(ModuleObjectCount(), before);
}

struct Caller {
    HWND window;
    HANDLE done;
};

DWORD WINAPI SendThenFinish(void* raw) {
    auto* caller = static_cast<Caller*>(raw);
    // Blocks until the window's thread dispatches it.
    SendMessageW(caller->window, WM_USER + 5, 0, 0);
    return 0;
}

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_USER + 5) {
        SetWindowLongPtrW(window, GWLP_USERDATA, GetWindowLongPtrW(window, GWLP_USERDATA) + 1);
        return 0;
    }
    return DefWindowProcW(window, message, wp, lp);
}

TEST(WaitPumpingMessages, AnswersMessagesSentToTheWaitingThreadsWindows) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KTX pump test";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    Caller caller = {window, nullptr};
    UniqueHandle thread(CreateThread(nullptr, 0, &SendThenFinish, &caller, 0, nullptr));
    // A plain wait would time out: the sender waits for this thread.
    EXPECT_EQ(WaitPumpingMessages(thread.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), 1);

    DestroyWindow(window);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

TEST(WaitPumpingMessages, GivesUpAfterItsTimeout) {
    UniqueHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    EXPECT_EQ(WaitPumpingMessages(never.get(), 50), static_cast<DWORD>(WAIT_TIMEOUT));
}

}  // namespace
