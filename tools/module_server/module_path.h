// Module paths as the server receives them: "\A:\Data\Photo.jpg". A drive
// may also come as "A:" or "\A:"; one trailing "\" is tolerated.
#pragma once
#include <string>
#include <vector>

struct ModulePath {
    wchar_t drive = 0;  // 0: the module's top level, where the drives are
    std::vector<std::wstring> names;

    bool IsTop() const { return drive == 0; }
    bool IsDrive() const { return drive != 0 && names.empty(); }
    bool IsItem() const { return !names.empty(); }
    // "\A:\Data", "\A:", or "" for the top level.
    std::wstring Text() const;
    // The last component: a name, "A:" for a drive.
    std::wstring Leaf() const;
    ModulePath Parent() const;
    ModulePath Child(const std::wstring& name) const;
    // Whether this path is `other` or lies below it (case-insensitive).
    bool IsWithin(const ModulePath& other) const;
    bool SameAs(const ModulePath& other) const;
};

// Parses `text` (length-delimited, may hold no NUL); "" and "\" are the top
// level, accepted only when `allowTop` is set. A path longer than the module
// can hold is refused before it is split.
bool ParseModulePath(const std::wstring& text, bool allowTop, ModulePath* out);

// Longer than a module path can be (the server answers
// ERROR_FILENAME_EXCED_RANGE, not "invalid").
bool IsTooLongForModule(const std::wstring& path);

// A name the module's file system can hold.
bool IsValidItemName(const std::wstring& name);

// Case-insensitive equality and ordering of names.
bool SameName(const std::wstring& a, const std::wstring& b);
int CompareNames(const std::wstring& a, const std::wstring& b);

// Windows-style wildcard match ("*", "?"; "*.*" matches every name).
bool MatchesPattern(const std::wstring& pattern, const std::wstring& name);
