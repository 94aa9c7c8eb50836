// Finds, loads and registers the built shell extension from a test program:
// the DLL lies in build/bin, the test programs in build/tests/<subsystem>.
#pragma once
#include <windows.h>

#include <string>

inline std::wstring ExtensionLibraryPath() {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    for (int level = 0; level < 3; ++level) path.erase(path.rfind(L'\\'));
    return path + L"\\bin\\KTXShellExt.dll";
}

// Runs the prefix's regsvr32 on the library, silently; its exit code (0 on success).
inline DWORD RunRegsvr32(bool unregister) {
    std::wstring command = L"regsvr32.exe /s ";
    if (unregister) command += L"/u ";
    command += L"\"" + ExtensionLibraryPath() + L"\"";
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return GetLastError();
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The library loaded into the test process, as Explorer loads it.
class LoadedExtension {
public:
    using GetClassObjectProc = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using NoArgumentProc = HRESULT(STDAPICALLTYPE*)();

    LoadedExtension() : module_(LoadLibraryW(ExtensionLibraryPath().c_str())) {}
    ~LoadedExtension() {
        if (module_) FreeLibrary(module_);
    }
    LoadedExtension(const LoadedExtension&) = delete;
    LoadedExtension& operator=(const LoadedExtension&) = delete;

    HMODULE module() const { return module_; }
    template <class T>
    T Proc(const char* name) const {
        return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
        return Proc<GetClassObjectProc>("DllGetClassObject")(clsid, iid, out);
    }
    HRESULT CanUnloadNow() const { return Proc<NoArgumentProc>("DllCanUnloadNow")(); }

private:
    HMODULE module_;
};
