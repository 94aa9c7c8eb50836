#include "module_access/module_errors.h"

#include <gtest/gtest.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <thread>

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
    EXPECT_EQ(L"", ErrorText(S_FALSE));

    SetDescription(L"The module went away.");
    EXPECT_EQ(L"The module went away.", ErrorText(E_FAIL));
    // The description was taken: the next failure gets the system's text.
    EXPECT_EQ(SystemErrorText(E_OUTOFMEMORY), ErrorText(E_OUTOFMEMORY));
    EXPECT_FALSE(SystemErrorText(E_OUTOFMEMORY).empty());

    SetDescription(L"");  // an empty description says nothing
    EXPECT_EQ(SystemErrorText(E_ACCESSDENIED), ErrorText(E_ACCESSDENIED));

    // A code the system has no text for.
    EXPECT_EQ(L"", ErrorText(static_cast<HRESULT>(0x8004A0FF)));
}

TEST(SetModuleErrorInfo, MapsServerFailuresToTheirTexts) {
    struct Case {
        HRESULT hr;
        UINT textId;
    };
    const Case cases[] = {
        {E_PORT_IN_USE, IDS_ERR_PORT_IN_USE},
        {E_PORT_UNUSABLE, IDS_ERR_PORT_UNAVAILABLE},
        {E_NO_COMMUNICATION, IDS_ERR_NO_COMMUNICATION},
        {E_NO_CONNECTION, IDS_ERR_NO_CONNECTION},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.hr, SetModuleErrorInfo(c.hr));
        GUID guid = GUID_NULL;
        std::wstring text;
        ASSERT_TRUE(TakeErrorInfo(&guid, &text));
        EXPECT_EQ(Resources().LoadString(c.textId), text) << std::hex << c.hr;
        EXPECT_TRUE(IsEqualGUID(IID_IStream, guid)) << std::hex << c.hr;
        EXPECT_EQ(c.hr, MakeModuleErrorInfo(c.hr).code);
    }
}

TEST(SetModuleErrorInfo, CancellationBecomesTheSystemsCancelledCode) {
    const ModuleErrorInfo record = MakeModuleErrorInfo(E_OPERATION_CANCELLED);
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CANCELLED), record.code);
    EXPECT_EQ(SystemErrorText(HRESULT_FROM_WIN32(ERROR_CANCELLED)), record.text);

    EXPECT_EQ(E_OPERATION_CANCELLED, SetModuleErrorInfo(E_OPERATION_CANCELLED));
    GUID guid = IID_IStream;
    std::wstring text;
    ASSERT_TRUE(TakeErrorInfo(&guid, &text));
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, guid));  // facility 7
    EXPECT_EQ(record.text, text);
}

TEST(SetModuleErrorInfo, OtherCodesKeepTheirSystemText) {
    EXPECT_EQ(E_OUTOFMEMORY, SetModuleErrorInfo(E_OUTOFMEMORY));
    GUID guid = IID_IStream;
    std::wstring text;
    ASSERT_TRUE(TakeErrorInfo(&guid, &text));
    EXPECT_TRUE(IsEqualGUID(GUID_NULL, guid));
    EXPECT_EQ(SystemErrorText(E_OUTOFMEMORY), text);

    const HRESULT storage = STG_E_FILENOTFOUND;  // facility 3: not the system's own
    SetModuleErrorInfo(storage);
    ASSERT_TRUE(TakeErrorInfo(&guid, &text));
    EXPECT_TRUE(IsEqualGUID(IID_IStream, guid));

    EXPECT_EQ(S_OK, SetModuleErrorInfo(S_OK));
    ASSERT_TRUE(TakeErrorInfo(&guid, &text));
    EXPECT_EQ(L"", text);
    // A reader of the failure gets the text through ErrorText.
    SetModuleErrorInfo(E_NO_CONNECTION);
    EXPECT_EQ(Resources().LoadString(IDS_ERR_NO_CONNECTION), ErrorText(E_NO_CONNECTION));
}

TEST(ReportModuleError, UnownedGeneralMessageWithoutWindowOrName) {
    std::thread([] {
        PromptRecorder prompts;
        SetDescription(L"Link lost.");
        ReportModuleError(E_FAIL, L"");
        ASSERT_EQ(1u, prompts.Count());
        const PromptRequest box = prompts.Last();
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_EQ(Resources().LoadString(IDS_ERR_GENERAL_CAPTION), box.caption);
        EXPECT_EQ(L"Link lost.", box.text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), box.flags);
    }).join();
}

TEST(ReportModuleError, NamedItemUnderTheCopyCaptionOwnedByTheThreadsWindow) {
    std::thread([] {
        HWND window = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 10, 10,
                                      nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, window);
        PromptRecorder prompts;
        SetDescription(L"Link lost.");
        ReportModuleError(E_FAIL, L"\\A:\\Data\\Photo.jpg");
        ReportModuleError(E_FAIL, L"A:notes.txt");
        ASSERT_EQ(2u, prompts.Count());
        const PromptRequest first = prompts.Requests()[0];
        EXPECT_EQ(window, first.owner);
        EXPECT_EQ(Resources().LoadString(IDS_ERR_COPY_CAPTION), first.caption);
        EXPECT_EQ(Resources().FormatString(IDS_ERR_COPY, {L"Photo.jpg", L"Link lost."}), first.text);
        EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), first.flags);
        EXPECT_EQ(Resources().FormatString(IDS_ERR_COPY, {L"notes.txt", SystemErrorText(E_FAIL)}),
                  prompts.Requests()[1].text);
        DestroyWindow(window);
    }).join();
}

}  // namespace
