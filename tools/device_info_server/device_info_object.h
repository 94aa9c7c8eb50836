// The DeviceInfo object of the substitute device-information server.
#pragma once
#include <windows.h>

HRESULT CreateDeviceInfoObject(REFIID riid, void** out);
