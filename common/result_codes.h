// Result codes that cross the library's boundaries.
#pragma once
#include <windows.h>

// The user cancelled (said by the server or by a progress stream); never shown.
constexpr HRESULT E_OPERATION_CANCELLED = static_cast<HRESULT>(0x80040300L);

// Port and link failures reported by the module-access server.
constexpr HRESULT E_PORT_IN_USE = static_cast<HRESULT>(0x8004A001L);
constexpr HRESULT E_PORT_UNUSABLE = static_cast<HRESULT>(0x8004A002L);
constexpr HRESULT E_NO_COMMUNICATION = static_cast<HRESULT>(0x8004A004L);
constexpr HRESULT E_NO_CONNECTION = static_cast<HRESULT>(0x8004B001L);
