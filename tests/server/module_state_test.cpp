// The load's state together with the code that uses its window classes: the
// format dialog's code and the module state link into one program, and the
// classes come and go with the load.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/window_classes.h"
#include "server/module_state.h"
#include "transfer/format_job.h"

namespace {

bool ClassExists(HINSTANCE instance, const wchar_t* name) {
    WNDCLASSEXW info = {sizeof(info)};
    return GetClassInfoExW(instance, name, &info) != FALSE;
}

TEST(ModuleState, LinksWithTheFormatCodeAndOwnsEveryWindowClass) {
    // A symbol of the format code, so that its object is part of this program.
    EXPECT_EQ(FormatCapacityText(1), L"1 KB");

    ASSERT_TRUE(InitializeModuleState(GetModuleHandleW(nullptr)));
    EXPECT_TRUE(ClassExists(GetModuleHandleW(nullptr), L"KTX Parent Window"));
    EXPECT_TRUE(ClassExists(CodeModule(), L"KTX_WEBVIEW_CLASS_NAME"));
    EXPECT_TRUE(ClassExists(CodeModule(), L"KTX Module View"));

    TerminateModuleState();
    EXPECT_FALSE(ClassExists(GetModuleHandleW(nullptr), L"KTX Parent Window"));
    EXPECT_FALSE(ClassExists(CodeModule(), L"KTX_WEBVIEW_CLASS_NAME"));
    EXPECT_FALSE(ClassExists(CodeModule(), L"KTX Module View"));
}

}  // namespace
