// The substitute device-information server: a local COM server answering
// the module's model and the usable serial ports from the configuration.
#include <windows.h>

#include "module_access/module_access_h.h"
#include "tools/device_info_server/device_info_object.h"
#include "tools/substitute_common/server_host.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    const substitute::ServerClass server = {&CLSID_DeviceInfoServer, &IID_DeviceInfo,
                                            L"Device information server (substitute)", CreateDeviceInfoObject};
    return substitute::ServerMain(server, commandLine);
}
