// The device-information server (outside the library): the module's model
// and the serial ports that can be used. Created on the calling thread as a
// local server; tests may put another creator behind the same calls.
#pragma once
#include <windows.h>

#include "module_access/module_access_h.h"

// Room for the model name, terminator included: a longer name is cut.
constexpr size_t kModelBufferChars = 100;
// GetModuleModel's answers.
constexpr int kModelUnknown = 0;
constexpr int kModelZR71 = 1;
constexpr int kModelZP03 = 2;

using DeviceInfoCreator = HRESULT (*)(DeviceInfo** out);
// Installs a creator for the whole process (null restores the server);
// returns the previous one.
DeviceInfoCreator SetDeviceInfoCreator(DeviceInfoCreator creator);
HRESULT CreateDeviceInfo(DeviceInfo** out);

// Empties `buffer` (kModelBufferChars), then copies the server's model name
// into it; 1 for "ZR71", 2 for "ZP03" (case ignored), 0 otherwise or on any
// failure.
int GetModuleModel(wchar_t* buffer);

// The usable ports: bit n set when COM(n+1) can be used; 0 when the server
// cannot be created or the call fails.
DWORD ReadPortMask();
