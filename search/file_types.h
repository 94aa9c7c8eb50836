// The Type list of the search window: the file types registered on the
// system, one entry per description, with the wildcard patterns of all the
// extensions that share it.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct FileTypeEntry {
    std::wstring description;
    std::wstring pattern;   // "*.htm|*.html"; "*" for the first entry
};

// `allFiles` heads the list with the pattern "*"; the rest come from the
// `.ext` keys of `classes` whose class has a non-empty description, merged
// by description and sorted by it (both ignoring case).
std::vector<FileTypeEntry> ReadFileTypes(HKEY classes, const std::wstring& allFiles);

// The index of the entry whose description equals `description` (ignoring
// case), or -1.
int FindFileType(const std::vector<FileTypeEntry>& types, const std::wstring& description);
