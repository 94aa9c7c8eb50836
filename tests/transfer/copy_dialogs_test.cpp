// The copy and move questions as real dialogs in each language, and the
// stream over PC files that the module's writes read from.
#include <windows.h>
#include <gtest/gtest.h>
#include <wrl/client.h>

#include <functional>
#include <string>
#include <vector>

#include "common/module_count.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "resources/transfer_ids.h"
#include "tests/support/prompt_recorder.h"
#include "tests/transfer/transfer_test_files.h"
#include "transfer/copy_confirmation.h"
#include "transfer/local_file_stream.h"

using Microsoft::WRL::ComPtr;

namespace {

class LanguageScope {
public:
    explicit LanguageScope(LANGID language) : saved_(Resources().language()) {
        Resources().Set(Resources().module(), language);
    }
    ~LanguageScope() { Resources().Set(Resources().module(), saved_); }

private:
    LANGID saved_;
};

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

// The control's own visibility: the dialog itself may not be on screen yet.
bool ShownInItsDialog(HWND control) {
    return control && (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

RECT ClientRectIn(HWND control, HWND dialog) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Every visible control lies inside the dialog, overlaps no other, and its
// text fits it.
void ExpectCleanLayout(HWND dialog) {
    RECT client;
    GetClientRect(dialog, &client);
    std::vector<std::pair<HWND, RECT>> controls;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        RECT r = ClientRectIn(child, dialog);
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                    r.bottom <= client.bottom)
            << "control " << GetDlgCtrlID(child) << " leaves the dialog";
        for (const auto& other : controls) {
            RECT both;
            EXPECT_FALSE(IntersectRect(&both, &r, &other.second))
                << "controls " << GetDlgCtrlID(child) << " and " << GetDlgCtrlID(other.first)
                << " overlap";
        }
        controls.emplace_back(child, r);

        wchar_t className[32] = {};
        GetClassNameW(child, className, ARRAYSIZE(className));
        std::wstring text = WindowText(child);
        if (text.empty() || (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
        HDC dc = GetDC(child);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
        bool button = lstrcmpiW(className, L"Button") == 0;
        RECT need = {0, 0, r.right - r.left - (button ? 8 : 0), 0};
        UINT flags = DT_CALCRECT | (button ? DT_SINGLELINE : DT_WORDBREAK);
        if (GetWindowLongW(child, GWL_STYLE) & SS_NOPREFIX && !button) flags |= DT_NOPREFIX;
        DrawTextW(dc, text.c_str(), -1, &need, flags);
        SelectObject(dc, old);
        ReleaseDC(child, dc);
        EXPECT_LE(need.right, r.right - r.left - (button ? 8 : 0))
            << "too wide: " << testing::PrintToString(text);
        EXPECT_LE(need.bottom, r.bottom - r.top) << "too tall: " << testing::PrintToString(text);
    }
}

}  // namespace

// The four questions in German, US and UK English: the texts they are given
// and a layout in which nothing is cut off or covered (at the screen's
// resolution; the next test repeats it at 120 DPI).
TEST(CopyDialogs, LaidOutInEveryLanguage) {
    wchar_t expected[8] = {};
    if (GetEnvironmentVariableW(L"KTX_EXPECT_DPI", expected, ARRAYSIZE(expected))) {
        HDC screen = GetDC(nullptr);
        EXPECT_EQ(_wtoi(expected), GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    ReplaceFileQuestion replace;
    replace.name = L"Übersicht der Größen aller Dateien 2006.final.txt";
    replace.readOnly = true;
    replace.existingSize = 2147483647;
    replace.existingDate = 39000.75;
    replace.newSize = 1;
    replace.newDate = 39001.5;
    struct Case { UINT id; DLGPROC proc; LPARAM param; UINT top; };
    for (LANGID language : {kLangGerman, kLangEnglishUs, kLangEnglishUk}) {
        SCOPED_TRACE(language);
        LanguageScope scope(language);
        ConfirmationText folder = {
            Resources().FormatString(IDS_CONFIRM_REPLACE_FOLDER, {L"Sehr langer Ordnername 2006"})};
        ConfirmationText move = {Resources().FormatString(
            IDS_CONFIRM_MOVE_READONLY, {L"Übersicht der Größen aller Dateien 2006.final.txt"})};
        const Case cases[] = {
            {IDD_CONFIRM_FILE_REPLACE, &ReplaceFileProc, reinterpret_cast<LPARAM>(&replace),
             IDS_CONFIRM_REPLACE_READONLY_FILE},
            {IDD_CONFIRM_FOLDER_REPLACE, &ConfirmationTextProc, reinterpret_cast<LPARAM>(&folder), 0},
            {IDD_CONFIRM_FILE_MOVE, &ConfirmationTextProc, reinterpret_cast<LPARAM>(&move), 0},
            {IDD_CONFIRM_FILE_MOVE_SEVERAL, &ConfirmationTextProc, reinterpret_cast<LPARAM>(&move), 0},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.id);
            HGLOBAL dialogTemplate = Resources().LoadDialogTemplate(c.id);
            ASSERT_TRUE(dialogTemplate);
            HWND dialog = CreateDialogIndirectParamW(
                Resources().module(), static_cast<LPCDLGTEMPLATEW>(dialogTemplate), nullptr,
                c.proc, c.param);
            GlobalFree(dialogTemplate);
            ASSERT_TRUE(dialog);
            EXPECT_TRUE(ShownInItsDialog(GetDlgItem(dialog, IDC_CONFIRM_HELP)));
            std::wstring top = WindowText(GetDlgItem(dialog, IDC_CONFIRM_TEXT));
            if (c.top) {
                EXPECT_EQ(Resources().FormatString(c.top, {replace.name}), top);
                EXPECT_EQ(ReplaceDetailsLine(2147483647, 39000.75),
                          WindowText(GetDlgItem(dialog, IDC_REPLACE_OLD_DETAILS)));
                EXPECT_EQ(0u, ReplaceDetailsLine(2147483647, 39000.75).find(L"2147483647 "));
            } else {
                EXPECT_EQ(reinterpret_cast<const ConfirmationText*>(c.param)->text, top);
            }
            bool several = c.id == IDD_CONFIRM_FILE_MOVE_SEVERAL;
            EXPECT_EQ(several, GetDlgItem(dialog, IDC_MOVE_YES_TO_ALL) != nullptr);
            EXPECT_EQ(c.id == IDD_CONFIRM_FILE_MOVE, GetDlgItem(dialog, IDCANCEL) == nullptr);
            ExpectCleanLayout(dialog);
            DestroyWindow(dialog);
        }
    }
}

// Help is on show in each question, and pressing it neither ends the dialog
// nor answers it: the button pressed after it does.
TEST(CopyDialogs, HelpShowsAndDoesNothing) {
    ReplaceFileQuestion replace;
    replace.name = L"Photo.jpg";
    struct Case {
        UINT id;
        std::function<INT_PTR()> ask;
        int button;
    };
    const Case cases[] = {
        {IDD_CONFIRM_FILE_REPLACE, [&] { return AskReplaceFile(nullptr, replace); }, IDNO},
        {IDD_CONFIRM_FOLDER_REPLACE, [] { return AskReplaceFolder(nullptr, L"Data"); },
         IDC_REPLACE_ALL},
        {IDD_CONFIRM_FILE_MOVE,
         [] { return AskMoveFile(nullptr, false, IDS_CONFIRM_MOVE_READONLY, L"Photo.jpg"); },
         IDYES},
        {IDD_CONFIRM_FILE_MOVE_SEVERAL,
         [] { return AskMoveFile(nullptr, true, IDS_CONFIRM_MOVE_READONLY, L"Photo.jpg"); },
         IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        PromptRecorder recorder;
        recorder.LetDialogRun(c.id);
        int activations = 0;
        bool helpVisible = false;
        DialogDriver driver([&](HWND dialog) {
            if (activations++) return;
            HWND help = GetDlgItem(dialog, IDC_CONFIRM_HELP);
            helpVisible = ShownInItsDialog(help) && IsWindowEnabled(help);
            DialogDriver::PressButton(dialog, IDC_CONFIRM_HELP);
            DialogDriver::PressButton(dialog, c.button);
        });
        EXPECT_EQ(c.button, c.ask());
        EXPECT_TRUE(helpVisible);
        EXPECT_EQ(1u, recorder.Count());
    }
}

// Reads, seeks, describes itself and clones at its position; refuses writes
// and unknown origins; a missing file gives the system's code.
TEST(LocalFileStream, ReadsAPcFile) {
    PcFolder pc;
    pc.Write(L"data.bin", "0123456789");
    LONG objects = ModuleObjectCount();
    {
        ComPtr<IStream> stream;
        ASSERT_EQ(S_OK, LocalFileStream::Open(pc.Path(L"data.bin"), &stream));
        char buffer[8] = {};
        ULONG got = 0;
        EXPECT_EQ(S_OK, stream->Read(buffer, 4, &got));
        EXPECT_EQ(std::string("0123"), std::string(buffer, got));
        STATSTG stat = {};
        ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_DEFAULT));
        EXPECT_STREQ(L"data.bin", stat.pwcsName);
        EXPECT_EQ(10u, stat.cbSize.QuadPart);
        CoTaskMemFree(stat.pwcsName);
        ComPtr<IStream> clone;
        ASSERT_EQ(S_OK, stream->Clone(&clone));
        EXPECT_EQ(S_OK, clone->Read(buffer, 8, &got));
        EXPECT_EQ(std::string("456789"), std::string(buffer, got));
        LARGE_INTEGER offset;
        offset.QuadPart = -2;
        ULARGE_INTEGER at = {};
        EXPECT_EQ(S_OK, stream->Seek(offset, STREAM_SEEK_END, &at));
        EXPECT_EQ(8u, at.QuadPart);
        EXPECT_EQ(E_INVALIDARG, stream->Seek(offset, 7, nullptr));
        EXPECT_EQ(E_NOTIMPL, stream->Write("x", 1, nullptr));
        EXPECT_EQ(E_NOTIMPL, stream->Commit(0));
        ComPtr<IStream> missing;
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                  LocalFileStream::Open(pc.Path(L"none.bin"), &missing));
        EXPECT_FALSE(missing);
    }
    EXPECT_EQ(objects, ModuleObjectCount());
}

// The same check in a second run of this program with the display set to
// 120 DPI (the setting is read when a program starts).
TEST(CopyDialogs, LaidOutAt120Dpi) {
    if (GetEnvironmentVariableW(L"KTX_EXPECT_DPI", nullptr, 0)) GTEST_SKIP();
    HKEY desktop = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0,
                                             nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &desktop,
                                             nullptr));
    DWORD saved = 0, size = sizeof(saved), type = 0;
    bool hadValue = RegQueryValueExW(desktop, L"LogPixels", nullptr, &type,
                                     reinterpret_cast<BYTE*>(&saved), &size) == ERROR_SUCCESS;
    DWORD dpi = 120;
    RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof(dpi));
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) +
                           L"\" --gtest_filter=CopyDialogs.LaidOutInEveryLanguage";
    SetEnvironmentVariableW(L"KTX_EXPECT_DPI", L"120");
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION child = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &child);
    SetEnvironmentVariableW(L"KTX_EXPECT_DPI", nullptr);
    DWORD exitCode = 1;
    if (started) {
        WaitForSingleObject(child.hProcess, 120000);
        GetExitCodeProcess(child.hProcess, &exitCode);
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
    }
    if (hadValue)
        RegSetValueExW(desktop, L"LogPixels", 0, type, reinterpret_cast<const BYTE*>(&saved), size);
    else
        RegDeleteValueW(desktop, L"LogPixels");
    RegCloseKey(desktop);
    ASSERT_TRUE(started);
    EXPECT_EQ(0u, exitCode);
}
