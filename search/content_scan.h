// The byte side of the content search: the text in the ANSI code page, case
// folding by that code page's rules, and the scan of a file's bytes.
#pragma once
#include <windows.h>

#include <string>

// The text as the ANSI code page spells it.
std::string ToAnsi(const std::wstring& text);

// Upper case and then lower case, in place, as the ANSI code page does it.
void FoldAnsiCase(char* bytes, size_t size);

// True when `pattern` occurs in `block` (both non-empty byte runs).
bool ContainsBytes(const char* block, size_t size, const char* pattern, size_t patternSize);
