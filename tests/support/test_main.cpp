// Entry point of every test program: the test program's own resources stand
// in for the library's, in the language the prefix selects.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "common/resource_module.h"

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    SelectResourceLanguage(false, GetModuleHandleW(nullptr));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
