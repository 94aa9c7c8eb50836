// The user's settings of the library: one key under HKEY_CURRENT_USER
// (Software\Velkor\Brantlow) with the serial port, the search window's
// Save Result option and its name history. Every read answers a default
// when the key or the value is missing; every write creates the key.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The serial ports the module may be attached to: "COM1" ... "COM32".
constexpr int kPortCount = 32;
// "COM<index + 1>"; empty outside 0..31.
std::wstring PortName(int index);
// The table index of a port name (case ignored), or -1.
int PortIndexOf(const std::wstring& name);

// The stored "Port" as a table index; 0 (COM1) when it is missing or unknown.
int ReadPortIndex();
// Writes "Port" (string, with its terminator); a Win32 error as HRESULT.
HRESULT WritePortSetting(const std::wstring& portName);

// "SaveResult": on when its first character is '1'; missing or empty is off.
bool ReadSaveResult();
HRESULT WriteSaveResult(bool on);

// The name history "Searched0" ... "Searched4", most recent first.
constexpr int kSearchHistoryLength = 5;
// The five stored names in order; a missing value reads as an empty name.
std::vector<std::wstring> ReadSearchHistory();
// Writes up to five names; the values after the last name are removed.
HRESULT WriteSearchHistory(const std::vector<std::wstring>& names);

// The plain string value `name` of the settings key; false when missing.
bool ReadSettingString(const wchar_t* name, std::wstring* value);
HRESULT WriteSettingString(const wchar_t* name, const std::wstring& value);
