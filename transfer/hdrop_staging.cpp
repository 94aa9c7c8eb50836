#include "transfer/hdrop_staging.h"

#include <cwchar>

#include "common/holders.h"
#include "common/resource_module.h"

const wchar_t kStageFilesValue[] = L"StageFilesForPrograms";

namespace {

volatile LONG g_counter = 0;

// The start time of a process, or 0 when it is not running.
ULONGLONG ProcessStartTime(DWORD processId) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process.valid()) return 0;
    DWORD exitCode = 0;
    if (GetExitCodeProcess(process.get(), &exitCode) && exitCode != STILL_ACTIVE) return 0;
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool IsDots(const wchar_t* name) {
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

}  // namespace

bool HdropStagingEnabled() {
    DWORD value = 1, size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKeyPath, kStageFilesValue, RRF_RT_REG_DWORD,
                     nullptr, &value, &size) != ERROR_SUCCESS)
        return true;
    return value != 0;
}

std::wstring StagingRoot() {
    wchar_t temp[MAX_PATH + 1] = L"";
    DWORD length = GetTempPathW(ARRAYSIZE(temp), temp);
    if (length == 0 || length >= ARRAYSIZE(temp)) return std::wstring();
    std::wstring root(temp, length);
    if (root.back() != L'\\') root += L'\\';
    return root + L"KTX Staging";
}

HRESULT StagingFolder::Create(std::unique_ptr<StagingFolder>* out) {
    if (!out) return E_POINTER;
    out->reset();
    const std::wstring root = StagingRoot();
    if (root.empty()) return E_FAIL;
    if (!CreateDirectoryW(root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return HRESULT_FROM_WIN32(GetLastError());
    const DWORD id = GetCurrentProcessId();
    const ULONGLONG started = ProcessStartTime(id);
    wchar_t name[64];
    for (int attempt = 0; attempt < 100; ++attempt) {
        swprintf(name, ARRAYSIZE(name), L"%lu-%016llX-%ld", static_cast<unsigned long>(id),
                 started, static_cast<long>(InterlockedIncrement(&g_counter)));
        std::wstring path = root + L"\\" + name;
        if (CreateDirectoryW(path.c_str(), nullptr)) {
            out->reset(new (std::nothrow) StagingFolder(path));
            if (*out) return S_OK;
            RemoveDirectoryW(path.c_str());
            return E_OUTOFMEMORY;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return HRESULT_FROM_WIN32(GetLastError());
    }
    return E_FAIL;
}

StagingFolder::~StagingFolder() { RemoveFolderTree(path_); }

bool RemoveFolderTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (IsDots(found.cFileName)) continue;
            const std::wstring child = path + L"\\" + found.cFileName;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(child.c_str(), found.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolderTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryW(path.c_str()) != FALSE;
}

void SweepStaleStagingFolders() {
    const std::wstring root = StagingRoot();
    if (root.empty()) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((root + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDots(found.cFileName) || !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        unsigned long id = 0;
        unsigned long long started = 0;
        long serial = 0;
        const bool named = swscanf(found.cFileName, L"%lu-%llx-%ld", &id, &started, &serial) == 3;
        // A folder of ours whose process still runs stays.
        if (named && started != 0 && ProcessStartTime(id) == started) continue;
        if (named) RemoveFolderTree(root + L"\\" + found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}
