// The read stream that OpenFile hands out: a module file's bytes, delivered
// no faster than the simulated serial link allows.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <memory>
#include <string>

#include "common/holders.h"

// Paces a transfer to a byte rate: after n bytes at least n / rate seconds
// have passed since the first byte.
class LinkPacer {
public:
    explicit LinkPacer(DWORD bytesPerSecond) : rate_(bytesPerSecond) {}
    void Pace(ULONGLONG bytes);

private:
    DWORD rate_;
    ULONGLONG total_ = 0;
    ULONGLONG startTick_ = 0;
};

struct OpenedFile {
    std::wstring name;  // the item's name, for Stat
    ULONGLONG size = 0;
    FILETIME created = {}, accessed = {}, modified = {};
    DWORD linkSpeed = 0;
    bool readFaults = false;  // Read takes part in fault injection
};

HRESULT CreateFileStream(std::shared_ptr<UniqueHandle> file, const OpenedFile& info, IStream** out);
