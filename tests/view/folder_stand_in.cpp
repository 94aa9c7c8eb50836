// TEMPORARY (not committed): lets the view tests link before the folder lands.
#include "view/module_view.h"
#include "view/view_commands.h"
#include "common/paths.h"
HRESULT ModuleView::InitForFolder(ModuleFolder*, HWND) { return E_NOTIMPL; }
static int Sign(double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }
int CALLBACK ModuleView::CompareRows(LPARAM a_, LPARAM b_, LPARAM sort) {
    LPCITEMIDLIST a = reinterpret_cast<LPCITEMIDLIST>(a_), b = reinterpret_cast<LPCITEMIDLIST>(b_);
    UINT key = sort & 0xFFFF;
    bool desc = IsDescendingSort(key);
    int r = 0;
    bool fa = ItemAttributes(a) & 0x10, fb = ItemAttributes(b) & 0x10;
    if ((sort & kSortFoldersFirst) && fa != fb) r = fa ? -1 : 1;
    else switch (key) {
    case 8197: case 8203: r = lstrcmpiW(ItemName(a), ItemName(b)); break;
    case 8199: case 8205: r = (fa && fb) ? lstrcmpiW(ItemName(a), ItemName(b)) : Sign((double)(LONG)ItemSize(a) - (LONG)ItemSize(b)); break;
    case 8200: case 8206: case 8412: case 8413: r = Sign(ItemModified(a) - ItemModified(b)); break;
    default: r = 0;
    }
    return desc ? -r : r;
}
void ModuleView::ReadExplorerSettings() {
    DWORD v = 1, size = 4;
    bool has = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", L"Hidden", RRF_RT_REG_DWORD, nullptr, &v, &size) == ERROR_SUCCESS;
    showHidden_ = !has || v == 1; showSystem_ = !has || v != 0; showSuperHidden_ = true;
}
