// Name matching of the search: `*` and `?` wildcards without regard to case,
// with the old short-name rules for a pattern ending in `?` or `.` (so that
// `README.` finds a file named README and `abc?` also finds abc).
#pragma once
#include <string>

bool WildcardMatch(const std::wstring& name, const std::wstring& pattern);

// The same on names and patterns already folded to lower case.
bool WildcardMatchFolded(const std::wstring& name, const std::wstring& pattern);

// Lower case by the platform's rules, as the match folds both sides.
std::wstring FoldToLower(const std::wstring& text);
