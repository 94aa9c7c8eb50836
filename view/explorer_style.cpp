#include "view/explorer_style.h"

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "common/holders.h"

namespace {

const wchar_t kExplorerKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
const wchar_t kAdvancedKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
const wchar_t kInternetMainKey[] = L"Software\\Microsoft\\Internet Explorer\\Main";

UniqueRegKey OpenKey(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return UniqueRegKey();
    return UniqueRegKey(key);
}

bool ReadDword(HKEY key, const wchar_t* name, DWORD* value) {
    DWORD type = 0, size = sizeof(*value);
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof(*value);
}

}  // namespace

DWORD ExtendedListStyleFor(bool doubleClickMode, HKEY userRoot) {
    if (doubleClickMode) return LVS_EX_HEADERDRAGDROP;
    DWORD style = LVS_EX_ONECLICKACTIVATE | LVS_EX_TRACKSELECT;
    UniqueRegKey explorer = OpenKey(userRoot, kExplorerKey);
    DWORD underline = 0;
    if (!explorer || !ReadDword(explorer.get(), L"IconUnderline", &underline))
        return style | LVS_EX_HEADERDRAGDROP;
    if (underline == 2) return style | LVS_EX_UNDERLINEHOT | LVS_EX_HEADERDRAGDROP;

    UniqueRegKey main = OpenKey(userRoot, kInternetMainKey);
    if (main) {
        wchar_t text[16 + 1] = {};   // 32 bytes of value
        DWORD type = 0, size = 32;
        if (RegQueryValueExW(main.get(), L"Anchor Underline", nullptr, &type, reinterpret_cast<BYTE*>(text),
                             &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ)) {
            text[size / sizeof(wchar_t) < 16 ? size / sizeof(wchar_t) : 16] = L'\0';
            if (lstrcmpiW(text, L"hover") == 0)
                style |= LVS_EX_UNDERLINEHOT;
            else if (lstrcmpiW(text, L"yes") == 0)
                style |= LVS_EX_UNDERLINECOLD;
        }
    }
    return style | LVS_EX_HEADERDRAGDROP;
}

DWORD CurrentExtendedListStyle() {
    SHELLFLAGSTATE state = {};
    SHGetSettings(&state, SSF_DOUBLECLICKINWEBVIEW);
    return ExtendedListStyleFor(state.fDoubleClickInWebView != 0, HKEY_CURRENT_USER);
}

bool ReadWebViewFlag(HKEY userRoot) {
    UniqueRegKey advanced = OpenKey(userRoot, kAdvancedKey);
    DWORD value = 0;
    return advanced && ReadDword(advanced.get(), L"WebView", &value) && value != 0;
}
