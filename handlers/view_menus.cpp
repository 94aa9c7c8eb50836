#include "handlers/view_menus.h"

#include <vector>

#include "common/resource_module.h"
#include "resources/command_ids.h"
#include "resources/icon_ids.h"

namespace {

void SetDefaultItem(HMENU popup, UINT id) {
    MENUITEMINFOW info = {sizeof(info)};
    info.fMask = MIIM_STATE;
    if (!GetMenuItemInfoW(popup, id, FALSE, &info)) return;
    info.fState |= MFS_DEFAULT;
    SetMenuItemInfoW(popup, id, FALSE, &info);
}

void MakeRadioItems(HMENU viewSubmenu) {
    for (UINT id = CMD_VIEW_LARGE_ICONS; id <= CMD_VIEW_DETAILS; ++id) {
        MENUITEMINFOW info = {sizeof(info)};
        info.fMask = MIIM_FTYPE;
        if (!GetMenuItemInfoW(viewSubmenu, id, FALSE, &info)) continue;
        info.fType |= MFT_RADIOCHECK;
        SetMenuItemInfoW(viewSubmenu, id, FALSE, &info);
    }
}

// Loaded once per process and kept until the library unloads.
HMENU g_viewMenus = nullptr;

}  // namespace

void AdjustViewMenus(HMENU menu) {
    for (int popup : {kPopupDiskView, kPopupView}) {
        HMENU sub = GetSubMenu(menu, popup);
        if (sub) MakeRadioItems(GetSubMenu(sub, 0));
    }
    for (int popup : {kPopupDiskMenu, kPopupFolderMenu, kPopupSearchFolderMenu})
        if (HMENU sub = GetSubMenu(menu, popup)) SetDefaultItem(sub, CMD_OPEN);
    for (int popup : {kPopupDisk, kPopupFolder, kPopupSearchFolder})
        if (HMENU sub = GetSubMenu(menu, popup)) SetDefaultItem(sub, CMD_EXPLORE);
}

HMENU ViewMenus() {
    if (g_viewMenus && IsMenu(g_viewMenus)) return g_viewMenus;
    HMENU menu = Resources().LoadMenu(IDR_VIEW_MENUS);
    if (!menu) return nullptr;
    AdjustViewMenus(menu);
    g_viewMenus = menu;
    return menu;
}

void DestroyViewMenus() {
    if (g_viewMenus) DestroyMenu(g_viewMenus);
    g_viewMenus = nullptr;
}

HMENU ViewMenuPopup(int index) {
    HMENU menu = ViewMenus();
    return menu ? GetSubMenu(menu, index) : nullptr;
}

SelectionKind NextSelectionKind(SelectionKind kind, ItemKind item) {
    if (kind == kSelFilesAndFolders || kind == kSelDrives) return kind;   // final
    if (item == ItemKind::Drive) return kind == kSelOneDrive ? kSelDrives : kSelOneDrive;
    if (kind == kSelOneDrive) return kind;
    bool file = item == ItemKind::File;
    switch (kind) {
    case kSelNothing: return file ? kSelOneFile : kSelOneFolder;
    case kSelOneFile:
    case kSelFiles: return file ? kSelFiles : kSelFilesAndFolders;
    case kSelOneFolder:
    case kSelFolders: return file ? kSelFilesAndFolders : kSelFolders;
    default: return kind;
    }
}

int MenuContextFor(bool focusInView, SelectionKind kind) {
    if (!focusInView) return kMenuContextFolderItself;
    switch (kind) {
    case kSelOneFile:
    case kSelFiles: return kPopupFileMenu;
    case kSelOneFolder:
    case kSelFolders:
    case kSelFilesAndFolders: return kPopupFolderMenu;
    case kSelOneDrive:
    case kSelDrives: return kPopupDiskMenu;
    default: return kPopupBackgroundMenu;
    }
}

int CopyMenuItems(HMENU from, HMENU to, int at, bool skipTrailingSeparator) {
    int count = GetMenuItemCount(from);
    if (count <= 0 || !IsMenu(to)) return 0;
    int inserted = 0;
    int position = at < 0 ? GetMenuItemCount(to) : at;
    for (int i = 0; i < count; ++i) {
        wchar_t text[261] = {};
        MENUITEMINFOW info = {sizeof(info)};
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_CHECKMARKS | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = ARRAYSIZE(text) - 1;
        if (!GetMenuItemInfoW(from, i, TRUE, &info)) continue;
        if (info.fType & MFT_SEPARATOR) {
            if (skipTrailingSeparator && i == count - 1) {
                MENUITEMINFOW there = {sizeof(there)};
                there.fMask = MIIM_FTYPE;
                if (GetMenuItemInfoW(to, position, TRUE, &there) && (there.fType & MFT_SEPARATOR)) break;
            }
            info.fMask &= ~MIIM_STRING;
        }
        info.hSubMenu = nullptr;
        info.fMask &= ~MIIM_SUBMENU;
        if (InsertMenuItemW(to, position, TRUE, &info)) {
            ++position;
            ++inserted;
        }
    }
    return inserted;
}

int MenuPosition(HMENU menu, UINT id) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
        if (GetMenuItemID(menu, i) == id) return i;
    return -1;
}

HMENU SubmenuWithId(HMENU menu, UINT id) {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info = {sizeof(info)};
        info.fMask = MIIM_ID | MIIM_SUBMENU;
        if (GetMenuItemInfoW(menu, i, TRUE, &info) && info.wID == id && info.hSubMenu) return info.hSubMenu;
    }
    return nullptr;
}
