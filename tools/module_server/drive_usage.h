// The bytes each drive's files take. Counting walks a drive's whole tree, so
// a count is kept while the drive's folders stay as they were: the store's
// own changes forget it at once, and a folder whose entries were added,
// removed or renamed behind the server's back (a test copying a fresh tree,
// an editor) shows by its changed time. A file rewritten in place from
// outside shows after InvalidateCache.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace store {

class DriveUsage {
public:
    DriveUsage() = default;
    DriveUsage(const DriveUsage&) = delete;
    DriveUsage& operator=(const DriveUsage&) = delete;

    // The bytes below the drive folder `pc` of `drive`.
    ULONGLONG Used(wchar_t drive, const std::wstring& pc);
    // The kept count, if there is one that still holds.
    bool Known(wchar_t drive, ULONGLONG* used);
    void Forget();

private:
    struct Folder {
        std::wstring path;
        FILETIME changed;
    };
    struct Count {
        bool known = false;
        ULONGLONG used = 0;
        std::vector<Folder> folders;
    };
    Count counts_[26];
};

// Held through a change of the tree: the counts are forgotten when it ends,
// whichever way it ends.
class TreeChange {
public:
    explicit TreeChange(DriveUsage& usage) : usage_(usage) {}
    ~TreeChange() { usage_.Forget(); }
    TreeChange(const TreeChange&) = delete;
    TreeChange& operator=(const TreeChange&) = delete;

private:
    DriveUsage& usage_;
};

}  // namespace store
