// Icon groups, bitmaps, menus and accelerator tables of the library.
//
// A host that names an icon by index ("KTXShellExt.dll,5") counts the icon
// groups in the order of their numeric ids. The registration relies on
// index 0 being the module and index 5 the saved search, so every group
// below IDI_SEARCH_CONFIG is listed here; a new icon takes an id above 226
// (243, the search window's, is reserved and comes after these).
#pragma once

#define IDI_MODULE            202   // index 0: DefaultIcon of "Module", property pages, About box
#define IDI_SEVERAL_ITEMS     222   // index 1: properties of a selection
#define IDI_MODULE_DRIVE      223   // index 2: a flash card
#define IDI_MODULE_SEARCH     224   // index 3: finding on the module
#define IDI_MODULE_FOLDER     225   // index 4: a folder on the module
#define IDI_SEARCH_CONFIG     226   // index 5: a saved search (.ssc)
// 243: the search window's icon (reserved for the search window's resources)

// The information pane's picture of the module; the ZP03 has its own.
#define IDB_PANE_MODULE       268
#define IDB_PANE_MODULE_ZP03  269

#define IDR_VIEW_MENUS        203   // the 17 popups of the view and the context menu
#define IDR_ACCEL_VIEW_FOCUS  227   // keys with the focus in the view
#define IDR_ACCEL_OTHER_FOCUS 250   // keys with the focus elsewhere in the browser
