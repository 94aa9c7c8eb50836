#include "tests/transfer/transfer_test_files.h"

#include <winioctl.h>
#include <gtest/gtest.h>

#include "common/holders.h"

std::string ReadPcFile(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.valid()) return "<missing>";
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got)
        bytes.append(chunk, got);
    return bytes;
}

void RemovePcTree(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemovePcTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

PcFolder::PcFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static LONG counter = 0;
    root_ = std::wstring(temp) + L"ktx_pc_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(InterlockedIncrement(&counter));
    RemovePcTree(root_);
    CreateDirectoryW(root_.c_str(), nullptr);
}

PcFolder::~PcFolder() { RemovePcTree(root_); }

void PcFolder::MakeFolder(const std::wstring& relative) const {
    std::wstring path = root_;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t slash = relative.find(L'\\', start);
        if (slash == std::wstring::npos) slash = relative.size();
        path += L"\\" + relative.substr(start, slash - start);
        CreateDirectoryW(path.c_str(), nullptr);
        start = slash + 1;
    }
}

void PcFolder::Write(const std::wstring& relative, const std::string& bytes) const {
    size_t slash = relative.rfind(L'\\');
    if (slash != std::wstring::npos) MakeFolder(relative.substr(0, slash));
    UniqueHandle file(CreateFileW(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD written = 0;
    ASSERT_TRUE(bytes.empty() || ::WriteFile(file.get(), bytes.data(),
                                             static_cast<DWORD>(bytes.size()), &written, nullptr));
}

void PcFolder::WriteSparse(const std::wstring& relative, ULONGLONG size) const {
    UniqueHandle file(CreateFileW(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.valid());
    DWORD returned = 0;
    DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file.get()));
}
