// Test access to the real substitute module-access and device-information
// servers (out of process, through the type-library marshaller).
//
// While a SubstituteModule lives it owns the servers' configuration (registry
// key HKCU\Software\KTXSubstitute): other SubstituteModules, in this or another
// test program, wait for it (one named mutex). Create and destroy it on the
// same thread. Its destructor restores the configuration as it was and deletes
// the copy. The first SubstituteModule of a test program launches the module
// server and keeps it alive (a reference held on a thread of its own) while
// SubstituteModules follow one another, letting go about four seconds after
// the last one, so later tests do not pay the ~1 s launch again. It also
// installs the hook that carries the server's error descriptions across
// processes, so GetErrorInfo after a failed call gives the server's text.
#pragma once
#include <windows.h>

#include <string>

#include "module_access/module_access_h.h"

class SubstituteModule {
public:
    struct Options {
        bool copySample = true;  // false: an empty root with no drives
        // When set: serve this existing PC folder as it is (nothing is copied
        // and nothing deleted afterwards), e.g. a tree from ktx_make_tree.
        std::wstring serveFolder;
    };

    SubstituteModule();
    explicit SubstituteModule(const Options& options);
    ~SubstituteModule();
    SubstituteModule(const SubstituteModule&) = delete;
    SubstituteModule& operator=(const SubstituteModule&) = delete;

    // Whether the copy and the configuration are in place.
    bool ok() const { return ok_; }
    // The PC folder served as the module: root()\A is drive A.
    const std::wstring& root() const { return root_; }
    // The PC path of a module path: "\A:\Data\Notes.txt" -> root()\A\Data\Notes.txt.
    std::wstring PcPath(const std::wstring& modulePath) const;

    // New server instances (CLSCTX_LOCAL_SERVER) for the calling thread.
    HRESULT Create(ModuleAccess** out) const;
    HRESULT CreateDeviceInfo(DeviceInfo** out) const;

    // Fault injection: calls n, n+1, ... n+repeat-1 (1-based, counted from
    // now) of `operation` fail with `hr` (repeat 0: every call from n on). With
    // a description the server sets error information, without one it does
    // not. Operations are the ModuleAccess method names, "Read" for reads of
    // streams opened after this call, and "GetModel"/"GetPorts".
    void FailNthCall(const wchar_t* operation, unsigned n, HRESULT hr, unsigned repeat = 1,
                     const wchar_t* description = nullptr);
    void ClearFaults();
    // The next `calls` incoming ModuleAccess/DeviceInfo calls are refused by
    // the server's message filter with `reply` (SERVERCALL_REJECTED gives
    // the caller RPC_E_CALL_REJECTED under Wine; SERVERCALL_RETRYLATER is
    // ignored by Wine 8 and the call runs).
    void RejectBusy(unsigned calls, DWORD reply = SERVERCALL_REJECTED);
    // Paces OpenFile streams and WriteFile reads; 0 = unlimited.
    void SetLinkSpeed(DWORD bytesPerSecond);
    // Overrides a drive's capacity (the sample has A: 4 MiB, B: 1 MiB).
    void SetCapacity(wchar_t drive, DWORD bytes);
    // Device information (defaults "ZR71" and COM1-COM4).
    void SetModel(const std::wstring& model);
    void SetPortMask(DWORD mask);
    // How often the server received `operation` since this object was made.
    DWORD CallCount(const wchar_t* operation) const;

private:
    void WriteDword(const wchar_t* subkey, const wchar_t* name, DWORD value) const;
    void WriteString(const wchar_t* name, const std::wstring& value) const;

    bool ok_ = false;
    HANDLE mutex_ = nullptr;
    std::wstring root_;
    bool ownsRoot_ = true;
    bool savedSettings_ = false;
};

// The description of the calling thread's error information (taking it), or "".
std::wstring TakeErrorDescription();
