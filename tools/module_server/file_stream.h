// The read stream that OpenFile hands out: a module file's bytes, delivered
// no faster than the simulated serial link allows.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <memory>
#include <string>

#include "common/holders.h"

// Simulates a serial link of a given byte rate. The link carries one chunk at
// a time: a chunk starts when it has arrived and the chunk before it has gone
// through, and takes its size / rate on the link. So the sender may prepare
// the next chunk while one is on the wire, but no byte ever gets through
// faster than the rate allows. Time is kept in performance-counter ticks, not
// in the whole milliseconds Sleep takes, so that no rounding adds up.
class LinkPacer {
public:
    explicit LinkPacer(DWORD bytesPerSecond);
    bool limited() const { return rate_ != 0; }
    // Puts `bytes` that have just arrived on the link; returns once the link
    // has taken them (the chunk before them has gone through).
    void Send(ULONGLONG bytes);
    // Returns once everything sent has gone through.
    void Drain();
    // Send and Drain: the bytes have gone through when it returns.
    void Pace(ULONGLONG bytes) {
        Send(bytes);
        Drain();
    }

private:
    void WaitUntil(LONGLONG tick) const;

    DWORD rate_;
    LONGLONG frequency_ = 1;
    LONGLONG freeAt_ = 0;  // when the link has carried everything sent so far
};

struct OpenedFile {
    std::wstring name;  // the item's name, for Stat
    ULONGLONG size = 0;
    FILETIME created = {}, accessed = {}, modified = {};
    DWORD linkSpeed = 0;
    bool readFaults = false;  // Read takes part in fault injection
};

HRESULT CreateFileStream(std::shared_ptr<UniqueHandle> file, const OpenedFile& info, IStream** out);
