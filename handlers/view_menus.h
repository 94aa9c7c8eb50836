// Menu resource 203, shared by the view and the context-menu handler: loaded
// and adjusted once per process, kept until the library unloads. Also the
// rules that decide which popup a selection or a focus uses, and the item
// copying the menu merge is built from. No window is needed for any of it.
#pragma once
#include <windows.h>

// The 17 popups of menu 203, by position.
enum ViewMenuPopup : int {
    kPopupDiskView = 0,
    kPopupView = 1,
    kPopupDisk = 2,
    kPopupFile = 3,
    kPopupFolder = 4,
    kPopupEdit = 5,
    kPopupHelp = 6,
    kPopupDiskMenu = 7,
    kPopupFolderMenu = 8,
    kPopupSearchView = 9,
    kPopupDrop = 10,
    kPopupRoot = 11,
    kPopupFileMenu = 12,
    kPopupBackgroundMenu = 13,
    kPopupRootMenu = 14,
    kPopupSearchFolderMenu = 15,
    kPopupSearchFolder = 16,
    kViewMenuPopupCount = 17,
};

// The menu context when the focus is outside the view: the command then
// concerns the folder itself.
constexpr int kMenuContextFolderItself = 17;

// The shared menu, loaded in the selected language on first use (null when
// the resource is missing).
HMENU ViewMenus();
// At unload (the menu is the library's until then).
void DestroyViewMenus();
// One popup of it by position (null when missing).
HMENU ViewMenuPopup(int index);
// The one-time changes made to a freshly loaded menu 203: radio checks in
// the "View" submenus of popups 0 and 1, the default items of 2, 4, 7, 8,
// 15 and 16.
void AdjustViewMenus(HMENU menu);

// What a selection holds, computed row by row in list order.
enum SelectionKind : int {
    kSelOneFile = 0,
    kSelOneFolder = 1,
    kSelFiles = 2,
    kSelFolders = 3,
    kSelFilesAndFolders = 4,
    kSelOneDrive = 5,
    kSelDrives = 6,
    kSelNothing = 7,
};
enum class ItemKind { File, Folder, Drive };
SelectionKind NextSelectionKind(SelectionKind kind, ItemKind item);
// The popup index the merged menus use for the File menu.
int MenuContextFor(bool focusInView, SelectionKind kind);

// Copies the items of `from` into `to` before position `at` (-1: at the end),
// keeping type, state, id, check-mark bitmaps and text; submenus are not
// carried over. With `skipTrailingSeparator` a separator in last position is
// left out when `to` already has one at that position. Returns the number of
// items inserted.
int CopyMenuItems(HMENU from, HMENU to, int at, bool skipTrailingSeparator = false);
// The position of the item with command `id` in `menu`, or -1.
int MenuPosition(HMENU menu, UINT id);
// The submenu of `menu` whose own item has the command `id` (the browser's
// menus carry FCIDM_MENU_* ids on their popups), or null.
HMENU SubmenuWithId(HMENU menu, UINT id);
