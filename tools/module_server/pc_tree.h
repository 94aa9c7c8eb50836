// The PC folders that hold the module's drives.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace store {

// Whether two PC paths name the same folder (case aside).
bool SameRoot(const std::wstring& a, const std::wstring& b);
// Empties the PC folder `pc` (read-only files too); the folder itself stays.
HRESULT DeleteTree(const std::wstring& pc);
// The bytes of every file below `pc`; `enter`, when given, hears of each
// folder (`pc` first) before the folder is read.
ULONGLONG TreeBytes(const std::wstring& pc, const std::function<void(const std::wstring&)>& enter = nullptr);
// TreeBytes on a thread of its own, so that the walk overlaps a caller's
// waiting on the client; Total() waits for it. A thread that cannot be
// started makes Total() walk on the caller's thread; an empty `pc` counts 0.
class TreeBytesCount {
public:
    explicit TreeBytesCount(std::wstring pc);
    ~TreeBytesCount();
    TreeBytesCount(const TreeBytesCount&) = delete;
    TreeBytesCount& operator=(const TreeBytesCount&) = delete;
    ULONGLONG Total();

private:
    static DWORD WINAPI Walk(void* self);
    std::wstring pc_;
    ULONGLONG total_ = 0;
    HANDLE thread_ = nullptr;
};
// The length of the longest path below a PC folder, relative to it ("\\x\\y").
size_t LongestPathBelow(const std::wstring& pc);

}  // namespace store
