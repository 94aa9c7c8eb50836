#include "tools/substitute_common/error_info_hook.h"

#include <objidl.h>
#include <oleauto.h>

#include <cstring>
#include <string>

namespace substitute {

namespace {

// {5D0B6E31-8F2A-4C77-9A41-2C9E7B0D4A18}
const GUID kErrorInfoExtension = {0x5d0b6e31, 0x8f2a, 0x4c77,
                                  {0x9a, 0x41, 0x2c, 0x9e, 0x7b, 0x0d, 0x4a, 0x18}};
constexpr DWORD kMagic = 0x4B545845;  // "EXTK"

// Layout on the wire: magic, GUID, description length in characters, text.
struct Header {
    DWORD magic;
    GUID guid;
    DWORD length;
};

// The description taken from the thread's error object between GetSize and
// FillBuffer of the same reply.
thread_local std::wstring t_pending;
thread_local GUID t_pendingGuid;
thread_local bool t_hasPending = false;

class ErrorInfoHook : public IChannelHook {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IChannelHook) {
            *out = static_cast<IChannelHook*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // A process-lifetime singleton.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    // A call starts with no error information, as it would in one process;
    // only a description sent with the reply is there afterwards.
    STDMETHODIMP_(void) ClientGetSize(REFGUID extension, REFIID, ULONG* size) override {
        *size = 0;
        if (extension == kErrorInfoExtension) SetErrorInfo(0, nullptr);
    }
    STDMETHODIMP_(void) ClientFillBuffer(REFGUID, REFIID, ULONG* size, void*) override {
        *size = 0;
    }
    STDMETHODIMP_(void) ClientNotify(REFGUID extension, REFIID, ULONG size, void* buffer, DWORD,
                                     HRESULT) override {
        if (extension != kErrorInfoExtension || !buffer || size < sizeof(Header)) return;
        Header header;
        memcpy(&header, buffer, sizeof(header));
        if (header.magic != kMagic ||
            size < sizeof(Header) + static_cast<ULONG>(header.length) * sizeof(wchar_t))
            return;
        std::wstring text(header.length, L'\0');
        if (header.length)
            memcpy(&text[0], static_cast<const BYTE*>(buffer) + sizeof(Header),
                   header.length * sizeof(wchar_t));
        ICreateErrorInfo* create = nullptr;
        if (FAILED(CreateErrorInfo(&create))) return;
        create->SetGUID(header.guid);
        create->SetDescription(const_cast<LPOLESTR>(text.c_str()));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    STDMETHODIMP_(void) ServerNotify(REFGUID, REFIID, ULONG, void*, DWORD) override {}
    STDMETHODIMP_(void) ServerGetSize(REFGUID extension, REFIID, HRESULT, ULONG* size) override {
        *size = 0;
        t_hasPending = false;
        if (extension != kErrorInfoExtension) return;
        IErrorInfo* info = nullptr;
        if (GetErrorInfo(0, &info) != S_OK || !info) return;
        BSTR description = nullptr;
        GUID guid = GUID_NULL;
        info->GetGUID(&guid);
        info->GetDescription(&description);
        info->Release();
        t_pending.assign(description ? description : L"", description ? SysStringLen(description) : 0);
        SysFreeString(description);
        t_pendingGuid = guid;
        t_hasPending = true;
        *size = static_cast<ULONG>(sizeof(Header) + t_pending.size() * sizeof(wchar_t));
    }
    STDMETHODIMP_(void) ServerFillBuffer(REFGUID extension, REFIID, ULONG* size, void* buffer,
                                         HRESULT) override {
        ULONG needed = static_cast<ULONG>(sizeof(Header) + t_pending.size() * sizeof(wchar_t));
        if (extension != kErrorInfoExtension || !t_hasPending || !buffer || *size < needed) {
            *size = 0;
            return;
        }
        Header header = {kMagic, t_pendingGuid, static_cast<DWORD>(t_pending.size())};
        memcpy(buffer, &header, sizeof(header));
        if (!t_pending.empty())
            memcpy(static_cast<BYTE*>(buffer) + sizeof(header), t_pending.data(),
                   t_pending.size() * sizeof(wchar_t));
        *size = needed;
        t_hasPending = false;
    }
};

ErrorInfoHook g_hook;
LONG g_registered = 0;

}  // namespace

HRESULT RegisterErrorInfoHook() {
    if (InterlockedCompareExchange(&g_registered, 1, 0) != 0) return S_FALSE;
    HRESULT hr = CoRegisterChannelHook(kErrorInfoExtension, &g_hook);
    if (FAILED(hr)) InterlockedExchange(&g_registered, 0);
    return hr;
}

}  // namespace substitute
