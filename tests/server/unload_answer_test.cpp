// DllCanUnloadNow's answer while the library's code can still run: a worker
// thread, a window whose procedure is ours, a progress dialog, a property
// sheet on its own thread. Each holds the library until it is gone.
#include <windows.h>
#include <commctrl.h>  // before the hooks: PropertySheet is a macro there

#include <gtest/gtest.h>

#include "common/module_thread.h"
#include "common/window_classes.h"
#include "handlers/operation_hooks.h"
#include "handlers/property_sheet_launcher.h"
#include "server/object_map.h"
#include "transfer/progress_dialog.h"

namespace {

// S_OK once everything has let go, within a few seconds.
HRESULT UnloadAnswerAfterSettling() {
    for (int i = 0; i < 250 && CanUnloadModule() != S_OK; ++i) Sleep(20);
    return CanUnloadModule();
}

DWORD WINAPI WaitForEvent(void* event) {
    WaitForSingleObject(static_cast<HANDLE>(event), 10000);
    return 0;
}

class PlainHandler : public WindowMessageHandler {
public:
    LRESULT OnWindowMessage(HWND window, UINT message, WPARAM wp, LPARAM lp) override {
        return DefWindowProcW(window, message, wp, lp);
    }
};

// Stands for a sheet that stays open until `close` is set.
struct OpenSheet : OperationTable {
    HANDLE shown = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE close = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ~OpenSheet() override {
        CloseHandle(shown);
        CloseHandle(close);
    }
    HRESULT PropertySheet(const std::wstring&, const LPCITEMIDLIST*, UINT, PropertySheetReady* ready) override {
        ready->SheetReady(S_OK);
        SetEvent(shown);
        WaitForSingleObject(close, 10000);
        return S_OK;
    }
};

}  // namespace

TEST(UnloadAnswer, AWorkerThreadHoldsTheLibraryUntilItHasEnded) {
    ASSERT_EQ(UnloadAnswerAfterSettling(), S_OK);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;
    ASSERT_EQ(StartModuleThread(&WaitForEvent, release, &thread), S_OK);
    EXPECT_EQ(CanUnloadModule(), S_FALSE);
    Sleep(50);
    EXPECT_EQ(CanUnloadModule(), S_FALSE) << "still waiting";
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(CanUnloadModule(), S_OK) << "counted until its end";
    CloseHandle(thread);
    CloseHandle(release);
}

TEST(UnloadAnswer, WindowsRunningOurCodeHoldTheLibrary) {
    ASSERT_EQ(UnloadAnswerAfterSettling(), S_OK);
    ASSERT_TRUE(RegisterModuleWindowClasses());
    PlainHandler handler;
    HWND first = CreateWindowExW(0, kViewWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 CodeModule(), &handler);
    HWND second = CreateWindowExW(0, kPasteReplyWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, CodeModule(), &handler);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(CanUnloadModule(), S_FALSE);
    DestroyWindow(first);
    EXPECT_EQ(CanUnloadModule(), S_FALSE) << "one window is left";
    DestroyWindow(second);
    EXPECT_EQ(CanUnloadModule(), S_OK);

    {
        DWORD cancel = 0;
        ProgressDialog progress(ProgressMode::Copy, 100, &cancel);
        EXPECT_NE(progress.window(), nullptr);
        EXPECT_EQ(CanUnloadModule(), S_FALSE);
        progress.Close();
        EXPECT_EQ(CanUnloadModule(), S_FALSE) << "until the dialog object is gone";
    }
    EXPECT_EQ(CanUnloadModule(), S_OK);
}

TEST(UnloadAnswer, APropertySheetOnItsThreadHoldsTheLibraryUntilTheThreadEnds) {
    ASSERT_EQ(UnloadAnswerAfterSettling(), S_OK);
    OpenSheet sheet;
    OperationTable* previous = InstallOperationTable(&sheet);
    ASSERT_EQ(LaunchPropertySheet(L"\\A:", {}), S_OK);
    ASSERT_EQ(WaitForSingleObject(sheet.shown, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(CanUnloadModule(), S_FALSE);
    Sleep(50);
    EXPECT_EQ(CanUnloadModule(), S_FALSE) << "the sheet is still open";
    SetEvent(sheet.close);
    EXPECT_EQ(UnloadAnswerAfterSettling(), S_OK);
    InstallOperationTable(previous);
}
