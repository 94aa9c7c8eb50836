// The substitute servers' configuration: one registry key under
// HKEY_CURRENT_USER, read afresh on every call so that a running server
// follows changes made between two calls (tests change it per test).
//
//   HKCU\Software\KTXSubstitute
//     Root        REG_SZ    PC folder whose subfolders A, B, ... are the drives
//     Model       REG_SZ    model name reported by the device-information server
//     PortMask    REG_DWORD bit n set: COM(n+1) is usable (default COM1-COM4)
//     Port        REG_SZ    the port last accepted by SetPort (written by the server)
//     LinkSpeed   REG_DWORD simulated serial link in bytes per second, 0 = unlimited
//     BusyCalls   REG_DWORD the next n incoming calls are rejected as busy
//     BusyReply   REG_DWORD 1 = SERVERCALL_REJECTED (default), 2 = SERVERCALL_RETRYLATER
//     IdleSeconds REG_DWORD with no call for this long and no live sink the
//                           server takes its clients for dead and ends
//                           (default 120, 0 = never)
//     Capacities\<letter>   REG_DWORD capacity of that drive, overriding the metadata
//     Faults\<operation>    fail calls of that operation:
//         Call  REG_DWORD  the first call (1-based) that fails
//         Result REG_DWORD the HRESULT to answer
//         Repeat REG_DWORD how many calls fail from there on (default 1, 0 = all)
//         Description REG_SZ optional error-information text
//         Seen  REG_DWORD  calls counted so far (kept by the server)
//     Calls\<operation>     REG_DWORD calls received so far (kept by the server)
#pragma once
#include <windows.h>

#include <string>

namespace substitute {

constexpr wchar_t kSettingsKey[] = L"Software\\KTXSubstitute";
constexpr DWORD kDefaultPortMask = 0x0000000F;
constexpr wchar_t kDefaultModel[] = L"ZR71";
constexpr DWORD kDefaultIdleSeconds = 120;

struct Settings {
    std::wstring root;
    std::wstring model = kDefaultModel;
    DWORD portMask = kDefaultPortMask;
    DWORD linkSpeed = 0;
    DWORD idleSeconds = kDefaultIdleSeconds;
};

Settings ReadSettings();

// A configured capacity for a drive letter (A-Z), if any.
bool ReadCapacityOverride(wchar_t drive, DWORD* capacity);

std::wstring ReadStoredPort();
HRESULT StorePort(const std::wstring& port);

struct InjectedFault {
    HRESULT result = S_OK;
    std::wstring description;
};

// Counts one call of `operation` and answers whether it is to fail, and how.
bool TakeCall(const wchar_t* operation, InjectedFault* fault);

// Whether any fault is configured for `operation` (streams check this once).
bool HasFault(const wchar_t* operation);

// Consumes one busy rejection if any is pending; `reply` is the filter's answer.
bool TakeBusyRejection(DWORD* reply);

// Small registry helpers shared with the test support.
bool ReadDword(HKEY key, const wchar_t* name, DWORD* value);
bool ReadString(HKEY key, const wchar_t* name, std::wstring* value);
LONG WriteDword(HKEY key, const wchar_t* name, DWORD value);
LONG WriteString(HKEY key, const wchar_t* name, const std::wstring& value);

}  // namespace substitute
