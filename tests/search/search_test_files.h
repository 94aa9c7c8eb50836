// For the search tests: raw reading and writing of files, and local times.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/item_time.h"

inline bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = bytes.empty() ||
              WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

inline std::string Utf16Bytes(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

inline std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

inline SYSTEMTIME LocalDate(WORD year, WORD month, WORD day, WORD hour = 12, WORD minute = 0,
                            WORD second = 0, WORD ms = 0) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, ms};
}

inline double LocalTime(WORD year, WORD month, WORD day, WORD hour = 12, WORD minute = 0,
                        WORD second = 0, WORD ms = 0) {
    double t = 0;
    EXPECT_TRUE(LocalSystemTimeToTime(LocalDate(year, month, day, hour, minute, second, ms), &t));
    return t;
}
