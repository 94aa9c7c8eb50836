// The format dialog on its own thread, driven from the test thread, against
// the substitute server on a fresh copy of the sample module.
#include <windows.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include "common/formatting.h"
#include "common/module_count.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "common/holders.h"
#include "module_access/com_thread.h"
#include "tests/support/substitute_server.h"
#include "tests/support/prompt_recorder.h"
#include "transfer/format_job.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

// The format dialog: a dialog whose owner is a hidden "KTX Parent Window".
HWND FindFormatDialog() {
    HWND found = nullptr;
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            HWND owner = GetWindow(window, GW_OWNER);
            if (ClassOf(window) == L"#32770" && owner && ClassOf(owner) == kParentWindowClass &&
                !IsWindowVisible(owner)) {
                *reinterpret_cast<HWND*>(param) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

std::wstring ComboText(HWND dialog, int id) {
    HWND combo = GetDlgItem(dialog, id);
    int selected = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    if (selected < 0) return L"<none>";
    wchar_t text[128] = {};
    SendMessageW(combo, CB_GETLBTEXT, selected, reinterpret_cast<LPARAM>(text));
    return text;
}

int ComboCount(HWND dialog, int id) {
    return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0));
}

void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

class FormatDialogTest : public testing::Test {
protected:
    void SetUp() override {
        objectsBefore_ = ModuleObjectCount();
        ASSERT_EQ(S_OK, EnterComThread());
        ASSERT_TRUE(module_.ok());
        ASSERT_EQ(S_OK, module_.Create(&access_));
    }
    void TearDown() override {
        if (thread_) {
            if (!Ends()) {
                if (HWND dialog = FindFormatDialog()) Press(dialog, IDCANCEL);
                Ends();
            }
            CloseHandle(thread_);
        }
        access_.Reset();
        LeaveComThread();
        EXPECT_EQ(objectsBefore_, ModuleObjectCount());
    }

    HWND Open(uint64_t capacity = 4 << 20) {
        EXPECT_EQ(S_OK, OpenFormatDialog(L"\\A:", capacity, &thread_));
        HWND dialog = FindFormatDialog();
        EXPECT_TRUE(dialog);
        return dialog;
    }

    bool Ends(DWORD milliseconds = 10000) {
        return WaitForSingleObject(thread_, milliseconds) == WAIT_OBJECT_0;
    }

    std::wstring Label() {
        UniqueBstr drive(L"A:"), label;
        EXPECT_EQ(S_OK, access_->GetLabel(drive.get(), label.out()));
        return label.c_str();
    }

    bool Exists(const wchar_t* path) const {
        return GetFileAttributesW(module_.PcPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    LONG objectsBefore_ = 0;
    SubstituteModule module_;
    ComPtr<ModuleAccess> access_;
    HANDLE thread_ = nullptr;
    PromptRecorder prompts_;
};

}  // namespace

TEST(FormatTexts, TitleAndCapacityInWholeKilobytesRoundedUp) {
    EXPECT_EQ(L"Formating Module \\A:", FormatDialogTitle(L"Formating Module", L"\\A:"));
    EXPECT_EQ(FormatNumber(0) + L" KB", FormatCapacityText(0));
    EXPECT_EQ(FormatNumber(1) + L" KB", FormatCapacityText(1));
    EXPECT_EQ(FormatNumber(1) + L" KB", FormatCapacityText(1024));
    EXPECT_EQ(FormatNumber(2) + L" KB", FormatCapacityText(1025));
    EXPECT_EQ(FormatNumber(4194304) + L" KB", FormatCapacityText(4ull << 30));
}

TEST_F(FormatDialogTest, OpensWithItsSingleChoicesAndTheDrivesLabel) {
    HWND dialog = Open((4 << 20) + 1);
    ASSERT_TRUE(dialog);
    std::wstring title = WindowText(dialog);
    EXPECT_EQ(L" \\A:", title.substr(title.size() - 4));
    if (Resources().language() != kLangGerman) {
        EXPECT_EQ(L"Formating Module \\A:", title);
    }
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(L"FAT", ComboText(dialog, IDC_FORMAT_FILE_SYSTEM));
    EXPECT_EQ(Resources().LoadString(IDS_FORMAT_STANDARD_SIZE),
              ComboText(dialog, IDC_FORMAT_CLUSTER));
    EXPECT_EQ(FormatCapacityText((4 << 20) + 1), ComboText(dialog, IDC_FORMAT_CAPACITY));
    for (int id : {IDC_FORMAT_FILE_SYSTEM, IDC_FORMAT_CLUSTER, IDC_FORMAT_CAPACITY})
        EXPECT_EQ(1, ComboCount(dialog, id));
    EXPECT_EQ(L"PHONE", WindowText(GetDlgItem(dialog, IDC_FORMAT_LABEL)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_FORMAT_LABEL)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_FORMAT_LABEL_CAPTION)));

    Press(dialog, IDCANCEL);   // Close
    EXPECT_TRUE(Ends());
    EXPECT_EQ(0u, prompts_.Count());
    EXPECT_EQ(0u, module_.CallCount(L"Format"));
}

TEST_F(FormatDialogTest, CancelToTheWarningClosesWithoutFormatting) {
    HWND dialog = Open();
    ASSERT_TRUE(dialog);
    prompts_.Script({IDCANCEL});
    Press(dialog, IDOK);
    EXPECT_TRUE(Ends());
    ASSERT_EQ(1u, prompts_.Count());
    PromptRequest warning = prompts_.Last();
    EXPECT_EQ(Resources().LoadString(IDS_FORMAT_WARNING), warning.text);
    EXPECT_EQ(Resources().LoadString(IDS_MODULE), warning.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION), warning.flags);
    EXPECT_EQ(dialog, warning.owner);
    EXPECT_EQ(0u, module_.CallCount(L"Format"));
    EXPECT_TRUE(Exists(L"\\A:\\Data\\Notes.txt"));
    EXPECT_EQ(L"PHONE", Label());
}

TEST_F(FormatDialogTest, OkFormatsThenWritesTheLabelAndCloses) {
    HWND dialog = Open();
    ASSERT_TRUE(dialog);
    SetDlgItemTextW(dialog, IDC_FORMAT_LABEL, L"NEWLABEL");
    prompts_.Script({IDOK});
    Press(dialog, IDOK);
    EXPECT_TRUE(Ends());
    EXPECT_EQ(1u, prompts_.Count());
    EXPECT_EQ(1u, module_.CallCount(L"Format"));
    EXPECT_FALSE(Exists(L"\\A:\\Data\\Notes.txt"));
    EXPECT_TRUE(Exists(L"\\B:\\NOEXT"));
    EXPECT_EQ(L"NEWLABEL", Label());
}

TEST_F(FormatDialogTest, FailedFormatShowsItsMessageAndKeepsTheDialogOpen) {
    module_.FailNthCall(L"Format", 1, E_FAIL, 1, L"The flash memory does not answer.");
    HWND dialog = Open();
    ASSERT_TRUE(dialog);
    prompts_.Script({IDOK, IDOK});
    Press(dialog, IDOK);
    EXPECT_FALSE(Ends(700));
    ASSERT_EQ(2u, prompts_.Count());
    PromptRequest failure = prompts_.Last();
    EXPECT_EQ(Resources().LoadString(IDS_ERR_FORMAT_CAPTION), failure.caption);
    EXPECT_EQ(Resources().FormatString(IDS_ERR_FORMAT, {L"The flash memory does not answer."}),
              failure.text);
    EXPECT_EQ(0u, module_.CallCount(L"SetLabel"));
    EXPECT_TRUE(Exists(L"\\A:\\Data\\Notes.txt"));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));

    Press(dialog, IDCANCEL);
    EXPECT_TRUE(Ends());
}

TEST_F(FormatDialogTest, WithoutALabelTheLabelBoxStaysDisabledAndIsNotWritten) {
    module_.FailNthCall(L"GetLabel", 1, E_FAIL);
    HWND dialog = Open();
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_FORMAT_LABEL)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_FORMAT_LABEL_CAPTION)));
    prompts_.Script({IDOK});
    Press(dialog, IDOK);
    EXPECT_TRUE(Ends());
    EXPECT_EQ(1u, module_.CallCount(L"Format"));
    EXPECT_EQ(0u, module_.CallCount(L"SetLabel"));
}
