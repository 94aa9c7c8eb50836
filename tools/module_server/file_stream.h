// The read stream that OpenFile hands out: a module file's bytes, delivered
// no faster than the simulated serial link allows.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <memory>
#include <string>

#include "common/holders.h"

// Simulates a serial link of a given byte rate: each chunk costs its time on
// the link on top of what the call really took, so that any cost of the
// caller's shows in the total instead of vanishing into a wait for a deadline.
class LinkPacer {
public:
    explicit LinkPacer(DWORD bytesPerSecond) : rate_(bytesPerSecond) {}
    void Pace(ULONGLONG bytes);

private:
    DWORD rate_;
    // Link time not slept yet: Sleep takes whole milliseconds and may sleep
    // longer than asked; the difference is carried to the next chunk.
    double owedSeconds_ = 0;
};

struct OpenedFile {
    std::wstring name;  // the item's name, for Stat
    ULONGLONG size = 0;
    FILETIME created = {}, accessed = {}, modified = {};
    DWORD linkSpeed = 0;
    bool readFaults = false;  // Read takes part in fault injection
};

HRESULT CreateFileStream(std::shared_ptr<UniqueHandle> file, const OpenedFile& info, IStream** out);
