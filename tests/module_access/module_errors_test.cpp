#include "module_access/module_errors.h"

#include <gtest/gtest.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <thread>
#include <vector>

#include "common/holders.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "resources/string_ids.h"
#include "tests/support/prompt_recorder.h"

using Microsoft::WRL::ComPtr;

namespace {

void SetDescription(const wchar_t* text) {
    ComPtr<ICreateErrorInfo> create;
    ASSERT_EQ(S_OK, CreateErrorInfo(&create));
    create->SetDescription(const_cast<LPOLESTR>(text));
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(S_OK, create.As(&info));
    SetErrorInfo(0, info.Get());
}

// The thread's error information, taken: its GUID and description.
bool TakeErrorInfo(GUID* guid, std::wstring* description) {
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info) return false;
    info->GetGUID(guid);
    UniqueBstr text;
    info->GetDescription(text.out());
    *description = text.c_str();
    return true;
}

TEST(ErrorText, PrefersTheServersDescriptionOverTheSystemText) {
    EXPECT_EQ(L"", ErrorText(S_OK));

    SetDescription(L"The module went away.");
    EXPECT_EQ(L"The module went away.", ErrorText(E_FAIL));
    // The description was taken: the next failure gets the system's text.
    EXPECT_EQ(SystemErrorText(E_OUTOFMEMORY), ErrorText(E_OUTOFMEMORY));

    SetDescription(L"");  // an empty description says nothing
    EXPECT_EQ(SystemErrorText(E_ACCESSDENIED), ErrorText(E_ACCESSDENIED));

    // A code nobody has words for is named by its number.
    EXPECT_EQ(L"An unexpected error occurred (error code 0x8004A0FF).",
              ErrorText(static_cast<HRESULT>(0x8004A0FF)));
}

// Whatever a server (or the link to it) answers, the user reads something:
// under Wine no description crosses processes, and the system has no text
// for the module's own codes or for several of the link failures.
TEST(ErrorText, EveryFailureTheServerCanGiveHasWords) {
    const std::wstring stopped = Resources().LoadString(IDS_ERR_SERVER_STOPPED);
    const std::wstring busy = Resources().LoadString(IDS_ERR_SERVER_BUSY);
    struct Case {
        HRESULT hr;
        std::wstring own;  // the library's words when the system has none
    };
    const Case cases[] = {
        {E_PORT_IN_USE, Resources().LoadString(IDS_ERR_PORT_IN_USE)},
        {E_PORT_UNUSABLE, Resources().LoadString(IDS_ERR_PORT_UNAVAILABLE)},
        {E_NO_COMMUNICATION, Resources().LoadString(IDS_ERR_NO_COMMUNICATION)},
        {E_NO_CONNECTION, Resources().LoadString(IDS_ERR_NO_CONNECTION)},
        {RPC_E_DISCONNECTED, stopped},
        {RPC_E_SERVER_DIED, stopped},
        {RPC_E_SERVER_DIED_DNE, stopped},
        {CO_E_OBJNOTCONNECTED, stopped},
        {HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), stopped},
        {HRESULT_FROM_WIN32(RPC_S_CALL_FAILED), stopped},
        {CO_E_SERVER_EXEC_FAILURE, stopped},
        {RPC_E_CALL_REJECTED, busy},
        {RPC_E_SERVERCALL_RETRYLATER, busy},
        {RPC_E_CALL_CANCELED, busy},
        {E_OPERATION_CANCELLED, L"An unexpected error occurred (error code 0x80040300)."},
        {E_FAIL, L""}, {E_INVALIDARG, L""}, {E_POINTER, L""}, {E_OUTOFMEMORY, L""},
        {E_NOTIMPL, L""}, {E_ACCESSDENIED, L""}, {E_NOINTERFACE, L""},
        {STG_E_ACCESSDENIED, L""}, {STG_E_INVALIDFUNCTION, L""}, {STG_E_INVALIDPOINTER, L""},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), L""},
        {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), L""},
        {HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), L""},
        {HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY), L""},
        {HRESULT_FROM_WIN32(ERROR_DISK_FULL), L""},
        {HRESULT_FROM_WIN32(ERROR_INVALID_NAME), L""},
        {HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE), L""},
        {HRESULT_FROM_WIN32(ERROR_LABEL_TOO_LONG), L""},
        {HRESULT_FROM_WIN32(ERROR_NOT_SAME_DEVICE), L""},
        {HRESULT_FROM_WIN32(ERROR_GEN_FAILURE), L""},
        {static_cast<HRESULT>(0xA0001234), L"An unexpected error occurred (error code 0xA0001234)."},
    };
    std::thread([&] {
        PromptRecorder prompts;
        for (const Case& c : cases) {
            SetErrorInfo(0, nullptr);
            const std::wstring system = SystemErrorText(c.hr);
            const std::wstring text = ErrorText(c.hr);
            EXPECT_FALSE(text.empty()) << std::hex << c.hr;
            if (!c.own.empty()) {
                EXPECT_EQ(system.empty() ? c.own : system, text) << std::hex << c.hr;
            }
            ReportModuleError(c.hr, L"");   // the "General" box: the text alone
        }
        for (const PromptRequest& box : prompts.Requests()) EXPECT_FALSE(box.text.empty());
        EXPECT_EQ(ARRAYSIZE(cases), prompts.Requests().size());
    }).join();
}

TEST(SetModuleErrorInfo, LeavesEachCodesTextAndSource) {
    struct Case {
        HRESULT hr;
        std::wstring text;
        GUID source;  // none for the system's own codes
    };
    const HRESULT cancelled = HRESULT_FROM_WIN32(ERROR_CANCELLED);
    const Case cases[] = {  // the texts themselves belong to the string-table tests
        {E_PORT_IN_USE, Resources().LoadString(IDS_ERR_PORT_IN_USE), IID_IStream},
        {E_PORT_UNUSABLE, Resources().LoadString(IDS_ERR_PORT_UNAVAILABLE), IID_IStream},
        {E_NO_COMMUNICATION, Resources().LoadString(IDS_ERR_NO_COMMUNICATION), IID_IStream},
        {E_NO_CONNECTION, Resources().LoadString(IDS_ERR_NO_CONNECTION), IID_IStream},
        // Cancellation is told as the system's own cancelled code.
        {E_OPERATION_CANCELLED, SystemErrorText(cancelled), GUID_NULL},
        {E_OUTOFMEMORY, SystemErrorText(E_OUTOFMEMORY), GUID_NULL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.hr, SetModuleErrorInfo(c.hr));
        GUID guid = IID_IUnknown;
        std::wstring text;
        ASSERT_TRUE(TakeErrorInfo(&guid, &text));
        EXPECT_FALSE(text.empty()) << std::hex << c.hr;
        EXPECT_EQ(c.text, text) << std::hex << c.hr;
        EXPECT_TRUE(IsEqualGUID(c.source, guid)) << std::hex << c.hr;
    }
    EXPECT_EQ(cancelled, MakeModuleErrorInfo(E_OPERATION_CANCELLED).code);
    EXPECT_EQ(E_NO_CONNECTION, MakeModuleErrorInfo(E_NO_CONNECTION).code);

    GUID guid = GUID_NULL;
    std::wstring text;
    SetModuleErrorInfo(STG_E_FILENOTFOUND);  // facility 3: not the system's own
    ASSERT_TRUE(TakeErrorInfo(&guid, &text));
    EXPECT_TRUE(IsEqualGUID(IID_IStream, guid));
    EXPECT_EQ(S_OK, SetModuleErrorInfo(S_OK));
    ASSERT_TRUE(TakeErrorInfo(&guid, &text));
    EXPECT_EQ(L"", text);
    // A reader of the failure gets the text through ErrorText.
    SetModuleErrorInfo(E_NO_CONNECTION);
    EXPECT_EQ(L"There is no connection. Please make sure that the module and the PC are correctly "
              L"connected to one another.",
              ErrorText(E_NO_CONNECTION));
}

TEST(ReportModuleError, GeneralOrCopyMessageOwnedByTheThreadsWindow) {
    std::thread([] {
        PromptRecorder prompts;
        // Without a window or a name: an unowned general message.
        SetDescription(L"Link lost.");
        ReportModuleError(E_FAIL, L"");
        HWND window = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 10, 10,
                                      nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
        SetDescription(L"Link lost.");
        ReportModuleError(E_FAIL, L"\\A:\\Data\\Photo.jpg");
        ReportModuleError(E_FAIL, L"A:notes.txt");
        DestroyWindow(window);

        const std::vector<PromptRequest> shown = prompts.Requests();
        ASSERT_EQ(3u, shown.size());
        EXPECT_EQ(nullptr, shown[0].owner);
        EXPECT_EQ(L"General", shown[0].caption);
        EXPECT_EQ(L"Link lost.", shown[0].text);
        EXPECT_EQ(window, shown[1].owner);
        EXPECT_EQ(L"Error Copying File", shown[1].caption);
        EXPECT_EQ(L"Photo.jpg cannot be copied: Link lost.", shown[1].text);
        EXPECT_EQ(L"notes.txt cannot be copied: " + SystemErrorText(E_FAIL), shown[2].text);
        for (const PromptRequest& box : shown) EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.flags);
    }).join();
}

}  // namespace
