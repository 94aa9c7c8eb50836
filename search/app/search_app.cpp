// KTXSearchApp.exe: opens a saved search. The `.ssc` file type's open command
// starts it with the file as its one argument; it loads the library that
// lies beside it and hands the argument to StartSearch, which returns when
// the last search window has closed. Without an argument it opens an empty
// search window.
#include <windows.h>

#include <string>

namespace {

using StartSearchProc = int(STDAPICALLTYPE*)(const wchar_t* file);

// The command line after the program's name, as given: StartSearch drops
// the quotes around a path itself.
std::wstring ArgumentOf(const wchar_t* commandLine) {
    const wchar_t* p = commandLine;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    std::wstring argument(p);
    while (!argument.empty() && (argument.back() == L' ' || argument.back() == L'\t')) argument.pop_back();
    return argument;
}

std::wstring LibraryPath() {
    wchar_t path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameW(nullptr, path, ARRAYSIZE(path));
    if (length == 0 || length >= ARRAYSIZE(path)) return L"KTXShellExt.dll";
    std::wstring folder(path, length);
    size_t slash = folder.rfind(L'\\');
    folder = slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
    return folder + L"KTXShellExt.dll";
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    HMODULE library = LoadLibraryW(LibraryPath().c_str());
    if (!library) return 2;
    auto start = reinterpret_cast<StartSearchProc>(reinterpret_cast<void*>(GetProcAddress(library, "StartSearch")));
    if (!start) {
        FreeLibrary(library);
        return 3;
    }
    std::wstring argument = ArgumentOf(GetCommandLineW());
    int result = start(argument.c_str());
    FreeLibrary(library);
    return result;
}
