// Where every user-visible resource comes from: this library's module and one
// of its three languages, chosen once at load time and only read afterwards.
#pragma once
#include <windows.h>
#include <cstdint>
#include <initializer_list>
#include <string>

constexpr LANGID kLangGerman = 1031;
constexpr LANGID kLangEnglishUs = 1033;
constexpr LANGID kLangEnglishUk = 2057;

extern const wchar_t kLibraryFileName[];   // "KTXShellExt.dll"
extern const wchar_t kSettingsKeyPath[];   // under HKCU and HKLM

// One insert of a formatted message: a string for %1, a number for %1!d!.
class FormatArg {
public:
    FormatArg(const wchar_t* s) : value_(reinterpret_cast<DWORD_PTR>(s ? s : L"")) {}
    FormatArg(const std::wstring& s) : value_(reinterpret_cast<DWORD_PTR>(s.c_str())) {}
    FormatArg(int v) : value_(static_cast<DWORD_PTR>(static_cast<INT_PTR>(v))) {}
    FormatArg(unsigned v) : value_(v) {}
    FormatArg(long v) : value_(static_cast<DWORD_PTR>(static_cast<INT_PTR>(v))) {}
    FormatArg(unsigned long v) : value_(v) {}
    FormatArg(long long v) : value_(static_cast<DWORD_PTR>(v)) {}
    FormatArg(unsigned long long v) : value_(static_cast<DWORD_PTR>(v)) {}
    DWORD_PTR value() const { return value_; }

private:
    DWORD_PTR value_;
};

class ResourceModule {
public:
    HMODULE module() const { return module_; }
    LANGID language() const { return language_; }
    void Set(HMODULE module, LANGID language) { module_ = module; language_ = language; }

    // Empty when the string does not exist in the selected language.
    std::wstring LoadString(UINT id) const;
    // A private copy of the template in global memory (GMEM_FIXED) that the
    // caller frees with GlobalFree, or null.
    HGLOBAL LoadDialogTemplate(UINT id) const;
    HMENU LoadMenu(UINT id) const;
    // Accelerators, bitmaps and icons exist once, whatever the language.
    HACCEL LoadAccelerators(UINT id) const;
    HBITMAP LoadBitmap(UINT id) const;
    HICON LoadIcon(UINT id) const;   // at the system's large-icon size
    // String `id` with its %1, %2, %1!d! inserts filled; empty on failure.
    std::wstring FormatString(UINT id, std::initializer_list<FormatArg> inserts = {}) const;

private:
    HMODULE module_ = nullptr;
    LANGID language_ = kLangEnglishUs;
};

// The process-wide instance.
ResourceModule& Resources();

// Chooses the module (this library's file, else fallbackModule) and the
// language (the "Language" value under HKCU, else HKLM, else the UI language).
void SelectResourceLanguage(bool useOwnModule, HMODULE fallbackModule);
// Forgets the module and language at unload.
void ReleaseResourceLanguage();

// The language rule alone, with the settings keys' roots and the user's UI
// language given, so that it can be checked without touching the real hives.
LANGID ChooseResourceLanguage(HKEY currentUserRoot, HKEY localMachineRoot, LANGID uiLanguage);

// A message pattern with its inserts, by the platform's message-format rules.
std::wstring FormatMessageText(const std::wstring& pattern,
                               std::initializer_list<FormatArg> inserts = {});

// A string of an explicit language from an explicit module (tests, tools).
std::wstring LoadStringForLanguage(HMODULE module, UINT id, LANGID language, bool* found = nullptr);
