#include "handlers/help.h"

#include "common/holders.h"
#include "common/paths.h"
#include "common/prompt.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"

namespace {

const wchar_t kServerKey[] = L"CLSID\\{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}\\InProcServer32";
const wchar_t kHelpFileName[] = L"\\Ktx-help.hlp";
constexpr DWORD kMaxPathBytes = 520;

}  // namespace

std::wstring HelpFilePath() {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, kServerKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return std::wstring();
    UniqueRegKey key(raw);
    // The stored size first: some registries add a terminator while reading.
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        bytes > kMaxPathBytes)
        return std::wstring();
    wchar_t value[kMaxPathBytes / sizeof(wchar_t) + 1] = {};
    DWORD read = kMaxPathBytes;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &read) != ERROR_SUCCESS)
        return std::wstring();
    const DWORD chars = bytes / sizeof(wchar_t);
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || bytes < 2 * sizeof(wchar_t) ||
        value[chars - 1] != L'\0')
        return std::wstring();
    return ParentPath(value) + kHelpFileName;
}

void OpenHelp(HWND owner) {
    // A model-specific help file (SupportedPhones) is not offered: every
    // module model shares the one file.
    const std::wstring path = HelpFilePath();
    if (path.empty()) return;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ShowMessageBox(owner, Resources().FormatString(IDS_ERR_HELP_MISSING, {path}),
                       Resources().LoadString(IDS_MODULE), MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!WinHelpW(owner, path.c_str(), HELP_FINDER, 0))
        WinHelpW(owner, path.c_str(), HELP_CONTENTS, 0);
}
