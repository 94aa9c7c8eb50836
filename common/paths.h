// Module paths: "\", a drive letter and ":", then "\" and a name per level.
#pragma once
#include <string>

std::wstring ParentPath(const std::wstring& path);
std::wstring FileNamePart(const std::wstring& path);
std::wstring DrivePart(const std::wstring& path);
