// Scratch files for the search tests: a temporary folder removed with the
// test, and raw reading and writing of bytes and UTF-16 text.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>

class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        wchar_t name[64];
        static LONG serial = 0;
        swprintf(name, ARRAYSIZE(name), L"ktxsearch-%lu-%ld", GetCurrentProcessId(),
                 InterlockedIncrement(&serial));
        path_ = std::wstring(base) + name;
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        std::wstring from = path_ + L'\0';
        SHFILEOPSTRUCTW op = {};
        op.wFunc = FO_DELETE;
        op.pFrom = from.c_str();
        op.fFlags = FOF_NO_UI;
        SHFileOperationW(&op);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    std::wstring Path(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

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

// With the byte-order mark in front.
inline bool WriteUtf16File(const std::wstring& path, const std::wstring& text) {
    return WriteFileBytes(path, Utf16Bytes(std::wstring(1, wchar_t(0xFEFF)) + text));
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

// Without the byte-order mark.
inline std::wstring ReadUtf16File(const std::wstring& path) {
    std::string bytes = ReadFileBytes(path);
    std::wstring text(bytes.size() / 2, L'\0');
    memcpy(&text[0], bytes.data(), text.size() * 2);
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    return text;
}
