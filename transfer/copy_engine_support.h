// What the copy engine's source files share.
#pragma once
#include <windows.h>

#include <string>

namespace copy_engine {

constexpr UINT kStopOkCancel = MB_OKCANCEL | MB_ICONHAND;   // 0x11
constexpr UINT kStopOk = MB_ICONHAND;                       // 0x10

inline bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

}  // namespace copy_engine
