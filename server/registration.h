// Registration of the library's classes through their registry scripts, and
// the search command that makes saved searches open in the search application.
#pragma once
#include <windows.h>
#include <string>

// DllRegisterServer / DllUnregisterServer for the library `module`.
HRESULT RegisterModuleServer(HMODULE module);
HRESULT UnregisterModuleServer(HMODULE module);

// Writes the search handler's menu text and the open command of saved
// searches next to the registered library; every failure is ignored.
void WriteSearchCommand();

// The open command of saved searches for the library's registered path (the
// InprocServer32 value, quoted or not): the search application in the same
// folder with the file as its argument.
std::wstring SearchOpenCommand(const std::wstring& serverPath);
