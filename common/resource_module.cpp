#include "common/resource_module.h"

#include <vector>

#include "common/holders.h"

const wchar_t kLibraryFileName[] = L"KTXShellExt.dll";
const wchar_t kSettingsKeyPath[] = L"Software\\Velkor\\Brantlow";

namespace {

ResourceModule g_resources;

// Reads the DWORD "Language" under root\settings key: false when the key or
// the value is missing.
bool ReadLanguageValue(HKEY root, DWORD* value) {
    HKEY raw = nullptr;
    if (RegOpenKeyExW(root, kSettingsKeyPath, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return false;
    UniqueRegKey key(raw);
    DWORD type = 0, size = sizeof(*value);
    if (RegQueryValueExW(key.get(), L"Language", nullptr, &type,
                         reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
        return false;
    return type == REG_DWORD && size == sizeof(*value);
}

bool IsSupportedLanguage(DWORD lang) {
    return lang == kLangGerman || lang == kLangEnglishUs || lang == kLangEnglishUk;
}

const void* FindLocalizedResource(HMODULE module, LPCWSTR type, UINT id, LANGID lang, DWORD* size) {
    HRSRC res = FindResourceExW(module, type, MAKEINTRESOURCEW(id), lang);
    if (!res) return nullptr;
    HGLOBAL loaded = LoadResource(module, res);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (data && size) *size = SizeofResource(module, res);
    return data;
}

}  // namespace

ResourceModule& Resources() { return g_resources; }

LANGID ChooseResourceLanguage(HKEY currentUserRoot, HKEY localMachineRoot, LANGID uiLanguage) {
    DWORD value = 0;
    bool read = ReadLanguageValue(currentUserRoot, &value) ||
                ReadLanguageValue(localMachineRoot, &value);
    if (read && IsSupportedLanguage(value)) return static_cast<LANGID>(value);
    return PRIMARYLANGID(uiLanguage) == LANG_GERMAN ? kLangGerman : kLangEnglishUs;
}

void SelectResourceLanguage(bool useOwnModule, HMODULE fallbackModule) {
    HMODULE module = useOwnModule ? GetModuleHandleW(kLibraryFileName) : nullptr;
    if (!module) module = fallbackModule;
    g_resources.Set(module, ChooseResourceLanguage(HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                                   GetUserDefaultUILanguage()));
}

void ReleaseResourceLanguage() { g_resources.Set(nullptr, kLangEnglishUs); }

std::wstring LoadStringForLanguage(HMODULE module, UINT id, LANGID language, bool* found) {
    if (found) *found = false;
    DWORD size = 0;
    // Strings live in blocks of 16, each a length-prefixed UTF-16 string.
    auto block = static_cast<const WCHAR*>(
        FindLocalizedResource(module, RT_STRING, id / 16 + 1, language, &size));
    if (!block) return std::wstring();
    const WCHAR* p = block;
    const WCHAR* end = block + size / sizeof(WCHAR);
    for (UINT i = 0; i < id % 16; ++i) {
        if (p >= end) return std::wstring();
        p += 1 + *p;
    }
    if (p >= end || p + 1 + *p > end || *p == 0) return std::wstring();
    if (found) *found = true;
    return std::wstring(p + 1, *p);
}

std::wstring ResourceModule::LoadString(UINT id) const {
    return LoadStringForLanguage(module_, id, language_);
}

HGLOBAL ResourceModule::LoadDialogTemplate(UINT id) const {
    DWORD size = 0;
    const void* data = FindLocalizedResource(module_, RT_DIALOG, id, language_, &size);
    if (!data || size == 0) return nullptr;
    HGLOBAL copy = GlobalAlloc(GMEM_FIXED, size);
    if (copy) memcpy(copy, data, size);
    return copy;
}

HMENU ResourceModule::LoadMenu(UINT id) const {
    const void* data = FindLocalizedResource(module_, RT_MENU, id, language_, nullptr);
    return data ? LoadMenuIndirectW(data) : nullptr;
}

HACCEL ResourceModule::LoadAccelerators(UINT id) const {
    return ::LoadAcceleratorsW(module_, MAKEINTRESOURCEW(id));
}

HBITMAP ResourceModule::LoadBitmap(UINT id) const {
    return static_cast<HBITMAP>(
        LoadImageW(module_, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

HICON ResourceModule::LoadIcon(UINT id) const {
    return static_cast<HICON>(LoadImageW(module_, MAKEINTRESOURCEW(id), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXICON),
                                         GetSystemMetrics(SM_CYICON), 0));
}

std::wstring FormatMessageText(const std::wstring& pattern,
                               std::initializer_list<FormatArg> inserts) {
    if (pattern.empty()) return std::wstring();
    std::vector<DWORD_PTR> args;
    args.reserve(inserts.size() + 1);
    for (const FormatArg& a : inserts) args.push_back(a.value());
    args.push_back(0);
    LPWSTR buffer = nullptr;
    DWORD len = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                   FORMAT_MESSAGE_ALLOCATE_BUFFER,
                               pattern.c_str(), 0, 0, reinterpret_cast<LPWSTR>(&buffer), 0,
                               reinterpret_cast<va_list*>(args.data()));
    std::wstring result;
    if (len && buffer) result.assign(buffer, len);
    if (buffer) LocalFree(buffer);
    return result;
}

std::wstring ResourceModule::FormatString(UINT id, std::initializer_list<FormatArg> inserts) const {
    return FormatMessageText(LoadString(id), inserts);
}
