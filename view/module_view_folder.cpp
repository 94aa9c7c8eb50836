// The view's ties to the item order and to Explorer: the one item
// comparison, and Explorer's settings for hidden and system items.
#include "item_id/compare_items.h"
#include "view/module_view.h"
#include "view/view_commands.h"
#include "view/view_settings.h"

int CALLBACK ModuleView::CompareRows(LPARAM first, LPARAM second, LPARAM sort) {
    return CompareItems(reinterpret_cast<LPCITEMIDLIST>(first), reinterpret_cast<LPCITEMIDLIST>(second),
                        static_cast<UINT>(sort & 0xFFFF), (sort & kSortFoldersFirst) != 0);
}

void ModuleView::ReadExplorerSettings() {
    showHidden_ = ShowHiddenItems() != 0;
    showSystem_ = ShowSystemItems() != 0;
    showSuperHidden_ = ShowSuperHiddenItems() != 0;
}
