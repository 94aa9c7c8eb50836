// The substitute module-access server: a local COM server that serves a PC
// directory tree as the module (see settings.h for its configuration).
#include <windows.h>

#include "module_access/module_access_h.h"
#include "tools/module_server/change_hub.h"
#include "tools/module_server/module_access_object.h"
#include "tools/substitute_common/server_host.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    const substitute::ServerClass server = {&CLSID_ModuleAccessServer, &IID_ModuleAccess,
                                            L"Module access server (substitute)", CreateModuleAccessObject};
    substitute::SetClientProbe(change_hub::AnyLiveSink);
    return substitute::ServerMain(server, commandLine);
}
