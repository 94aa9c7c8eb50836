#include "tools/module_server/pc_tree.h"

#include <algorithm>

namespace store {

bool SameRoot(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

HRESULT DeleteTree(const std::wstring& pc) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((pc + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = pc + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                HRESULT hr = DeleteTree(child);
                if (FAILED(hr)) {
                    FindClose(find);
                    return hr;
                }
                if (!RemoveDirectoryW(child.c_str())) {
                    FindClose(find);
                    return HRESULT_FROM_WIN32(GetLastError());
                }
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (!DeleteFileW(child.c_str())) {
                    FindClose(find);
                    return HRESULT_FROM_WIN32(GetLastError());
                }
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    return S_OK;
}

ULONGLONG TreeBytes(const std::wstring& pc, const std::function<void(const std::wstring&)>& enter) {
    if (enter) enter(pc);
    ULONGLONG total = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((pc + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            total += TreeBytes(pc + L"\\" + name, enter);
        else
            total += (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return total;
}

TreeBytesCount::TreeBytesCount(std::wstring pc) : pc_(std::move(pc)) {
    if (!pc_.empty()) thread_ = CreateThread(nullptr, 0, &Walk, this, 0, nullptr);
}

TreeBytesCount::~TreeBytesCount() { Total(); }

DWORD WINAPI TreeBytesCount::Walk(void* self) {
    TreeBytesCount* count = static_cast<TreeBytesCount*>(self);
    count->total_ = TreeBytes(count->pc_);
    return 0;
}

ULONGLONG TreeBytesCount::Total() {
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    } else if (!pc_.empty()) {
        total_ = TreeBytes(pc_);
    }
    pc_.clear();
    return total_;
}

size_t LongestPathBelow(const std::wstring& pc) {
    size_t longest = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((pc + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        size_t length = 1 + name.size();
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) length += LongestPathBelow(pc + L"\\" + name);
        longest = std::max(longest, length);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return longest;
}

}  // namespace store
