// Command identifiers of the view's menus, the context menu, the toolbar and
// the accelerator tables. Most double as the string id of their status-bar
// help text. Plain defines: the .rc files use them as well.
#pragma once

#define CMD_VIEW_LARGE_ICONS     8192
#define CMD_VIEW_SMALL_ICONS     8193
#define CMD_VIEW_LIST            8194
#define CMD_VIEW_DETAILS         8195
#define CMD_PROPERTIES           8196
#define CMD_SORT_NAME            8197
#define CMD_SORT_TYPE            8198
#define CMD_SORT_SIZE            8199
#define CMD_SORT_DATE            8200
#define CMD_AUTO_ARRANGE         8201
#define CMD_SNAP_TO_GRID         8202
#define CMD_CUT                  8208
#define CMD_COPY                 8209
#define CMD_DELETE               8210
#define CMD_RENAME               8211
#define CMD_EXPLORE              8213
#define CMD_OPEN                 8214
#define CMD_PASTE                8215
#define CMD_SELECT_ALL           8246
#define CMD_INVERT_SELECTION     8247
#define CMD_FIND                 8249
#define CMD_FORMAT               8261
#define CMD_HELP_TOPICS          8270
#define CMD_DROP_MOVE            8273
#define CMD_DROP_COPY            8274
#define CMD_OPEN_PARENT_FOLDER   8300
#define CMD_SORT_FOLDER          8303
#define CMD_NEW_FOLDER           8324
#define CMD_STANDARD_FOLDERS     8327
#define CMD_REFRESH              8386
#define CMD_BACK                 8387
#define CMD_FORWARD              8388
#define CMD_CONTEXT_MENU         8389
#define CMD_HELP                 8390
#define CMD_ABOUT                8393
#define CMD_SORT_FREE_SPACE      8412
#define CMD_SORT_DRIVE_SIZE      8410

// The range of ids the view's command handler accepts from menus.
#define CMD_FIRST                8192
#define CMD_LAST                 8413
