// Which Windows the library runs on, computed once from the version: 0 and 1
// the consumer line (1 from Windows 98 on, 0 also for unknown platforms);
// 2 and 3 the NT line (3 from Windows 2000 on).
#pragma once
#include <windows.h>

int WindowsFamily();
int ClassifyWindowsFamily(DWORD platformId, DWORD majorVersion, DWORD minorVersion);
