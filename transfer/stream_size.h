// The size of a stream that may not answer Stat.
#pragma once
#include <windows.h>
#include <objidl.h>

#include <cstdint>

// Stat first; failing that, the end position found by seeking there and back.
HRESULT StreamSize(IStream* stream, uint64_t* size);
