// Where the view meets the folder object: binding to it, the one item
// comparison, and Explorer's settings for hidden and system items.
#include "namespace/compare_items.h"
#include "namespace/module_folder.h"
#include "namespace/view_settings.h"
#include "view/module_view.h"
#include "view/view_commands.h"

HRESULT ModuleView::InitForFolder(ModuleFolder* folder, HWND owner) {
    if (bound_) return E_FAIL;
    if (!folder) return E_POINTER;
    return InitForFolderPath(folder->FolderPath(), folder->FolderIdList(), owner);
}

int CALLBACK ModuleView::CompareRows(LPARAM first, LPARAM second, LPARAM sort) {
    return CompareItems(reinterpret_cast<LPCITEMIDLIST>(first), reinterpret_cast<LPCITEMIDLIST>(second),
                        static_cast<UINT>(sort & 0xFFFF), (sort & kSortFoldersFirst) != 0);
}

void ModuleView::ReadExplorerSettings() {
    showHidden_ = ShowHiddenItems() != 0;
    showSystem_ = ShowSystemItems() != 0;
    showSuperHidden_ = ShowSuperHiddenItems() != 0;
}
