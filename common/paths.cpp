#include "common/paths.h"

std::wstring ParentPath(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos && slash > 0) return path.substr(0, slash);
    if (slash == std::wstring::npos && path.size() > 2 && path[1] == L':') return path.substr(0, 2);
    return std::wstring();
}

std::wstring FileNamePart(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    if (slash != std::wstring::npos) return path.substr(slash + 1);
    if (path.size() >= 2 && path[1] == L':') return path.substr(2);
    return path;
}

std::wstring DrivePart(const std::wstring& path) {
    if (path.size() >= 2 && path[1] == L':') return path.substr(0, 2);
    if (path.size() >= 3 && path[0] == L'\\' && path[2] == L':') return path.substr(1, 2);
    return std::wstring();
}
