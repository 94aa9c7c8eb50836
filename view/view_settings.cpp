#include "view/view_settings.h"

#include "common/holders.h"

namespace {

const wchar_t kExplorerKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const wchar_t kAdvancedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";

UniqueRegKey OpenKey(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return nullptr;
    return UniqueRegKey(key);
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD* value) {
    DWORD type = 0, bytes = sizeof(*value);
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) ==
               ERROR_SUCCESS &&
           type == REG_DWORD;
}

// The "Advanced" DWORD `name` when the key opens and the value reads.
bool ReadAdvancedValue(HKEY root, const wchar_t* name, DWORD* value) {
    UniqueRegKey advanced = OpenKey(root, kAdvancedKey);
    return advanced && ReadDword(advanced.get(), name, value);
}

}  // namespace

int ShowHiddenItems(HKEY currentUser) {
    if (UniqueRegKey advanced = OpenKey(currentUser, kAdvancedKey)) {
        DWORD hidden = 0;
        return ReadDword(advanced.get(), L"Hidden", &hidden) && hidden != 1 ? 0 : 1;
    }
    // Older systems keep the choice in the shell state record instead.
    UniqueRegKey explorer = OpenKey(currentUser, kExplorerKey);
    if (!explorer) return 1;
    DWORD words[64] = {};
    DWORD type = 0, bytes = sizeof(words);
    if (RegQueryValueExW(explorer.get(), L"ShellState", nullptr, &type,
                         reinterpret_cast<BYTE*>(words), &bytes) != ERROR_SUCCESS ||
        type != REG_BINARY)
        return 1;
    return (words[1] & 1) ? 1 : 0;
}

int ShowSystemItems(HKEY currentUser) {
    DWORD hidden = 1;
    return ReadAdvancedValue(currentUser, L"Hidden", &hidden) && hidden == 0 ? 0 : 1;
}

int ShowSuperHiddenItems(HKEY currentUser) {
    DWORD show = 1;
    return ReadAdvancedValue(currentUser, L"ShowSuperHidden", &show) && show == 0 ? 0 : 1;
}

int ShowHiddenItems() { return ShowHiddenItems(HKEY_CURRENT_USER); }
int ShowSystemItems() { return ShowSystemItems(HKEY_CURRENT_USER); }
int ShowSuperHiddenItems() { return ShowSuperHiddenItems(HKEY_CURRENT_USER); }
