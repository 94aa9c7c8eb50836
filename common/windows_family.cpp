#include "common/windows_family.h"

namespace {

int ReadWindowsFamily() {
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    if (!GetVersionExW(&info)) return 0;
    return ClassifyWindowsFamily(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

}  // namespace

int ClassifyWindowsFamily(DWORD platformId, DWORD majorVersion, DWORD minorVersion) {
    switch (platformId) {
    case VER_PLATFORM_WIN32_WINDOWS:
        return (majorVersion > 4 || (majorVersion == 4 && minorVersion != 0)) ? 1 : 0;
    case VER_PLATFORM_WIN32_NT:
        return majorVersion > 4 ? 3 : 2;
    default:
        return 0;
    }
}

int WindowsFamily() {
    static volatile LONG family = -1;
    if (family < 0) InterlockedExchange(&family, ReadWindowsFamily());
    return family;
}
