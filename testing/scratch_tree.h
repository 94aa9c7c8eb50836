// Removing a scratch copy of a module tree.
#pragma once
#include <string>

// Deletes the PC folder `path` (a plain absolute path) and everything below
// it, through "\\?\" paths, read-only entries included. Not the shell's
// delete: given a tree with paths beyond MAX_PATH (a module path near its
// limit is one, below the copy's folder), Wine's was seen emptying the
// current directory.
void DeleteScratchTree(const std::wstring& path);
