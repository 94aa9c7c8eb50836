// What a module's file system can hold. Its drives are FAT (the format
// dialog offers nothing else): a long name has at most 255 UTF-16 units, and
// the module, like the PC side, handles a full path of at most MAX_PATH (260)
// units, counted as the server takes it ("\A:\..."). Anything longer can only
// come from a damaged or forged identifier; it is refused before any server
// call, so that no call waits on a path the module could never have.
#pragma once
#include <cstddef>

constexpr size_t kMaxModuleNameLength = 255;
constexpr size_t kMaxModulePathLength = 260;
