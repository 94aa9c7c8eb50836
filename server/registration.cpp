#include "server/registration.h"

#include <objbase.h>
#include <wrl/client.h>

#include "common/holders.h"
#include "common/resource_module.h"
#include "resources/string_ids.h"
#include "common/class_ids.h"
#include "server/object_map.h"
#include "server/registrar.h"
#include "server/registry_script.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kFolderClassKey[] = L"CLSID\\{4EB40974-2B8E-4FFD-A474-D7BB7043C1D2}";
const wchar_t kFindExtensionKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FindExtensions\\Static\\"
    L"VelkorMFlashSearchHandler\\0";
const wchar_t kOpenCommandKey[] = L"Velkor.SearchConfig\\shell\\open\\command";
// has subfolders | folder | has property sheet. Written with the registry API
// as well: not every registrar reads a `d` value above 0x7FFFFFFF unsigned.
constexpr DWORD kFolderShellAttributes = 0xA0000040;

std::wstring ModulePath(HMODULE module) {
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(module, path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path)) return std::wstring();
    return std::wstring(path, length);
}

// The calling thread may or may not have COM (regsvr32 and hosts differ).
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }

private:
    HRESULT hr_;
};

HRESULT RunScript(IPlatformRegistrar* registrar, const std::wstring& modulePath, UINT scriptId,
                  bool registering) {
    registrar->ClearReplacements();
    HRESULT hr = registrar->AddReplacement(L"MODULE", modulePath.c_str());
    if (SUCCEEDED(hr)) hr = registrar->AddReplacement(L"HKLM_OR_HKCU", L"HKLM");
    if (FAILED(hr)) return hr;
    return registering ? registrar->ResourceRegister(modulePath.c_str(), scriptId, L"REGISTRY")
                       : registrar->ResourceUnregister(modulePath.c_str(), scriptId, L"REGISTRY");
}

HRESULT CreateRegistrar(ComPtr<IPlatformRegistrar>* registrar) {
    return CoCreateInstance(CLSID_PlatformRegistrar, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IPlatformRegistrar,
                            reinterpret_cast<void**>(registrar->ReleaseAndGetAddressOf()));
}

void WriteFolderShellAttributes() {
    std::wstring key = std::wstring(kFolderClassKey) + L"\\ShellFolder";
    DWORD value = kFolderShellAttributes;
    RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), L"Attributes", REG_DWORD, &value,
                    sizeof(value));
}

// The registered library path: at most 520 bytes, at least one character,
// ending with its terminator; empty otherwise.
std::wstring ReadRegisteredServerPath() {
    std::wstring key = std::wstring(kFolderClassKey) + L"\\InProcServer32";
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return std::wstring();
    UniqueRegKey opened(raw);
    wchar_t value[260] = {};
    DWORD type = 0, bytes = sizeof(value);
    if (RegQueryValueExW(opened.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &bytes) != ERROR_SUCCESS)
        return std::wstring();
    DWORD chars = bytes / sizeof(wchar_t);
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || chars < 2 || value[chars - 1] != L'\0')
        return std::wstring();
    return std::wstring(value, chars - 1);
}

// After the registrar's own removal: the values the script writes and its
// ForceRemove keys whole, with whatever others put below them.
void RemoveWhatTheScriptNames(HMODULE module, const std::wstring& modulePath, UINT scriptId) {
    std::wstring quotedPath;
    for (wchar_t c : modulePath) quotedPath += c == L'\'' ? std::wstring(L"''") : std::wstring(1, c);
    ScriptRemovals removals;
    if (!ReadScriptRemovals(LoadScriptText(module, scriptId, {{L"MODULE", quotedPath}, {L"HKLM_OR_HKCU", L"HKLM"}}),
                            &removals))
        return;
    for (const ScriptValue& value : removals.values)
        RegDeleteKeyValueW(value.root, value.key.c_str(), value.name.c_str());
    for (const ScriptKey& key : removals.forceRemoveKeys) RegDeleteTreeW(key.root, key.path.c_str());
}

void SetDefaultString(HKEY root, const wchar_t* path, const std::wstring& text) {
    HKEY raw = nullptr;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) !=
        ERROR_SUCCESS)
        return;
    UniqueRegKey key(raw);
    RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

std::wstring SearchOpenCommand(const std::wstring& serverPath) {
    std::wstring path = serverPath;
    if (!path.empty() && path.front() == L'"') path.erase(0, 1);
    if (!path.empty() && path.back() == L'"') path.pop_back();
    size_t slash = path.rfind(L'\\');
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
    return L"\"" + folder + L"\\KTXSearchApp.exe\" \"%1\"";
}

void WriteSearchCommand() {
    SetDefaultString(HKEY_CURRENT_USER, kFindExtensionKey,
                     Resources().LoadString(IDS_FIND_ON_MODULE));
    std::wstring serverPath = ReadRegisteredServerPath();
    if (serverPath.empty()) return;
    SetDefaultString(HKEY_CLASSES_ROOT, kOpenCommandKey, SearchOpenCommand(serverPath));
}

HRESULT RegisterModuleServer(HMODULE module) {
    std::wstring path = ModulePath(module);
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());
    ComScope com;
    ComPtr<IPlatformRegistrar> registrar;
    HRESULT hr = CreateRegistrar(&registrar);
    if (FAILED(hr)) return hr;

    HRESULT result = S_OK;
    size_t count = 0;
    const ClassEntry* classes = ObjectMapEntries(&count);
    for (size_t i = 0; i < count; ++i) {
        hr = RunScript(registrar.Get(), path, classes[i].scriptId, true);
        if (classes[i].scriptMustSucceed) {
            if (FAILED(hr)) return hr;
            result = hr;
        }
        if (SUCCEEDED(hr) && IsEqualCLSID(*classes[i].clsid, CLSID_ModuleFolder))
            WriteFolderShellAttributes();
    }
    WriteSearchCommand();
    return result;
}

HRESULT UnregisterModuleServer(HMODULE module) {
    std::wstring path = ModulePath(module);
    if (path.empty()) return S_OK;
    ComScope com;
    ComPtr<IPlatformRegistrar> registrar;
    if (FAILED(CreateRegistrar(&registrar))) return S_OK;
    size_t count = 0;
    const ClassEntry* classes = ObjectMapEntries(&count);
    for (size_t i = 0; i < count; ++i) {
        RunScript(registrar.Get(), path, classes[i].scriptId, false);
        RemoveWhatTheScriptNames(module, path, classes[i].scriptId);
    }
    return S_OK;
}
