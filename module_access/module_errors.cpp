#include "module_access/module_errors.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "common/holders.h"
#include "common/paths.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "common/result_codes.h"
#include "resources/string_ids.h"

using Microsoft::WRL::ComPtr;

namespace {

struct ServerFailureText {
    HRESULT code;
    UINT textId;
};

const ServerFailureText kServerFailureTexts[] = {
    {E_PORT_IN_USE, IDS_ERR_PORT_IN_USE},
    {E_PORT_UNUSABLE, IDS_ERR_PORT_UNAVAILABLE},
    {E_NO_COMMUNICATION, IDS_ERR_NO_COMMUNICATION},
    {E_NO_CONNECTION, IDS_ERR_NO_CONNECTION},
};

// Codes that mean the link to the module-access program broke (it ended or
// was killed) or that it turned the call away while busy. The system has no
// text for several of them under every platform, and the user must still be
// told something they can act on.
const HRESULT kServerStoppedCodes[] = {
    RPC_E_DISCONNECTED, RPC_E_SERVER_DIED, RPC_E_SERVER_DIED_DNE, CO_E_OBJNOTCONNECTED,
    HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE), HRESULT_FROM_WIN32(RPC_S_CALL_FAILED),
    HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE), CO_E_SERVER_EXEC_FAILURE,
};
const HRESULT kServerBusyCodes[] = {
    RPC_E_CALL_REJECTED, RPC_E_SERVERCALL_RETRYLATER, RPC_E_SERVERCALL_REJECTED,
    RPC_E_CALL_CANCELED,
};

template <size_t N>
bool Contains(const HRESULT (&codes)[N], HRESULT hr) {
    for (HRESULT code : codes)
        if (code == hr) return true;
    return false;
}

// This library's own words for a failure code; the code itself when even
// those are missing, so that no message is ever empty.
std::wstring OwnErrorText(HRESULT hr) {
    std::wstring text;
    for (const ServerFailureText& entry : kServerFailureTexts)
        if (entry.code == hr) text = Resources().LoadString(entry.textId);
    if (Contains(kServerStoppedCodes, hr)) text = Resources().LoadString(IDS_ERR_SERVER_STOPPED);
    if (Contains(kServerBusyCodes, hr)) text = Resources().LoadString(IDS_ERR_SERVER_BUSY);
    if (text.empty())
        text = Resources().FormatString(IDS_ERR_UNKNOWN_CODE, {static_cast<unsigned long>(hr)});
    if (text.empty()) {
        wchar_t code[16];
        wsprintfW(code, L"0x%08X", static_cast<unsigned>(hr));
        text = code;
    }
    return text;
}

BOOL CALLBACK TakeFirstWindow(HWND window, LPARAM param) {
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

}  // namespace

ModuleErrorInfo MakeModuleErrorInfo(HRESULT hr) {
    ModuleErrorInfo info;
    info.code = hr == E_OPERATION_CANCELLED ? HRESULT_FROM_WIN32(ERROR_CANCELLED) : hr;
    if (SUCCEEDED(info.code)) return info;
    for (const ServerFailureText& entry : kServerFailureTexts) {
        if (entry.code == info.code) {
            info.text = Resources().LoadString(entry.textId);
            return info;
        }
    }
    info.text = SystemErrorText(info.code);
    return info;
}

std::wstring SystemErrorText(HRESULT hr) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (length && buffer) text.assign(buffer, length);
    if (buffer) LocalFree(buffer);
    return text;
}

std::wstring ErrorText(HRESULT hr) {
    if (SUCCEEDED(hr)) return std::wstring();
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) == S_OK && info) {
        UniqueBstr description;
        if (SUCCEEDED(info->GetDescription(description.out())) && description.length() > 0)
            return std::wstring(description.get(), description.length());
    }
    std::wstring text = SystemErrorText(hr);
    return text.empty() ? OwnErrorText(hr) : text;
}

HRESULT SetModuleErrorInfo(HRESULT hr) {
    const ModuleErrorInfo record = MakeModuleErrorInfo(hr);
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(&create))) return hr;
    // The system's own facilities describe themselves; anything else is
    // reported as coming from the stream the reader was reading.
    const DWORD facility = static_cast<DWORD>(record.code) & 0x1FFF0000u;
    const bool systemFacility = facility == 0 || facility == (1u << 16) ||
                                facility == (2u << 16) || facility == (7u << 16);
    create->SetGUID(systemFacility ? GUID_NULL : IID_IStream);
    UniqueBstr description(record.text.c_str(), static_cast<UINT>(record.text.size()));
    create->SetDescription(description.get() ? description.get() : const_cast<LPOLESTR>(L""));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
    return hr;
}

HWND FindThreadOwnerWindow() {
    HWND owner = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), TakeFirstWindow, reinterpret_cast<LPARAM>(&owner));
    return owner;
}

void ReportModuleError(HRESULT hr, const wchar_t* itemName) {
    const HWND owner = FindThreadOwnerWindow();
    std::wstring caption;
    std::wstring text;
    if (!itemName || !*itemName) {
        caption = Resources().LoadString(IDS_ERR_GENERAL_CAPTION);
        text = ErrorText(hr);
    } else {
        caption = Resources().LoadString(IDS_ERR_COPY_CAPTION);
        text = Resources().FormatString(IDS_ERR_COPY,
                                        {FileNamePart(itemName), ErrorText(hr)});
    }
    ShowMessageBox(owner, text, caption, MB_ICONERROR);
}
