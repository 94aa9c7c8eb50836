#include "handlers/device_info.h"

#include <objbase.h>
#include <wrl/client.h>

#include "common/holders.h"
#include "module_access/com_thread.h"

using Microsoft::WRL::ComPtr;

namespace {

// The port query the server answers with its mask.
constexpr LONG kSerialPortKind = 5;

DeviceInfoCreator volatile g_creator = nullptr;

}  // namespace

DeviceInfoCreator SetDeviceInfoCreator(DeviceInfoCreator creator) {
    return reinterpret_cast<DeviceInfoCreator>(InterlockedExchangePointer(
        reinterpret_cast<PVOID volatile*>(&g_creator), reinterpret_cast<PVOID>(creator)));
}

HRESULT CreateDeviceInfo(DeviceInfo** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (DeviceInfoCreator creator = g_creator) return creator(out);
    return CoCreateInstance(CLSID_DeviceInfoServer, nullptr, CLSCTX_LOCAL_SERVER, IID_DeviceInfo,
                            reinterpret_cast<void**>(out));
}

int GetModuleModel(wchar_t* buffer) {
    if (!buffer) return kModelUnknown;
    buffer[0] = L'\0';
    ComThreadScope com;
    if (!com.ok()) return kModelUnknown;
    ComPtr<DeviceInfo> server;
    if (FAILED(CreateDeviceInfo(&server))) return kModelUnknown;
    UniqueBstr model;
    if (FAILED(server->GetModel(model.out()))) return kModelUnknown;
    lstrcpynW(buffer, model.c_str(), static_cast<int>(kModelBufferChars));
    if (lstrcmpiW(buffer, L"ZR71") == 0) return kModelZR71;
    if (lstrcmpiW(buffer, L"ZP03") == 0) return kModelZP03;
    return kModelUnknown;
}

DWORD ReadPortMask() {
    ComThreadScope com;
    if (!com.ok()) return 0;
    ComPtr<DeviceInfo> server;
    if (FAILED(CreateDeviceInfo(&server))) return 0;
    UniqueBstr text;   // released unread
    LONG mask = 0;
    if (FAILED(server->GetPorts(text.out(), kSerialPortKind, &mask))) return 0;
    return static_cast<DWORD>(mask);
}
