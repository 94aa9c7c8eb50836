#include "tools/module_server/drive_usage.h"

#include "tools/module_server/pc_tree.h"

namespace store {

namespace {

// A folder's time moves in coarse steps: one changed within this many
// seconds of the count could change again without its time moving.
constexpr ULONGLONG kSettledTicks = 2ull * 10000000;

int Slot(wchar_t drive) { return drive >= L'A' && drive <= L'Z' ? drive - L'A' : -1; }

bool ChangeTime(const std::wstring& folder, FILETIME* changed) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(folder.c_str(), GetFileExInfoStandard, &data)) return false;
    *changed = data.ftLastWriteTime;
    return true;
}

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

void DriveUsage::Forget() {
    for (Count& count : counts_) {
        count.known = false;
        count.folders.clear();
    }
}

bool DriveUsage::Known(wchar_t drive, ULONGLONG* used) {
    const int slot = Slot(drive);
    if (slot < 0 || !counts_[slot].known) return false;
    Count& count = counts_[slot];
    for (const Folder& folder : count.folders) {
        FILETIME now;
        if (!ChangeTime(folder.path, &now) || CompareFileTime(&now, &folder.changed) != 0) {
            count.known = false;
            count.folders.clear();
            return false;
        }
    }
    *used = count.used;
    return true;
}

ULONGLONG DriveUsage::Used(wchar_t drive, const std::wstring& pc) {
    ULONGLONG used = 0;
    if (Known(drive, &used)) return used;
    FILETIME start;
    GetSystemTimeAsFileTime(&start);
    // Each folder's time is taken before the folder is read, so that a change
    // while the walk goes on shows the next time.
    std::vector<Folder> folders;
    bool settled = true;
    used = TreeBytes(pc, [&](const std::wstring& path) {
        Folder folder = {path, {}};
        if (!settled || !ChangeTime(path, &folder.changed) ||
            Ticks(folder.changed) + kSettledTicks > Ticks(start)) {
            settled = false;
            return;
        }
        folders.push_back(folder);
    });
    const int slot = Slot(drive);
    if (settled && slot >= 0) {
        counts_[slot].known = true;
        counts_[slot].used = used;
        counts_[slot].folders.swap(folders);
    }
    return used;
}

}  // namespace store
