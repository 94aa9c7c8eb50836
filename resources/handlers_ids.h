// Property pages, their controls and icons. Shared by resources/handlers.rc
// and the code in handlers/.
#pragma once

// Icon groups: IDI_MODULE, IDI_SEVERAL_ITEMS.
#include "resources/icon_ids.h"

// Pages.
#define IDD_PROP_FILE 1041
#define IDD_PROP_SEVERAL 1042
#define IDD_PROP_FOLDER 1044
#define IDD_PROP_MODULE 1080
#define IDD_PROP_DRIVE 1081
#define IDD_PROP_PORT 28673

// Controls shared by the pages.
#define IDC_PROP_ICON 218
#define IDC_PROP_NAME 215          // also the label box's caption on the drive page
#define IDC_PROP_MODEL 216
#define IDC_PORT_LIST 222

// General pages.
#define IDC_PROP_TYPE 214
#define IDC_PROP_LOCATION 221
#define IDC_PROP_SIZE 217
#define IDC_PROP_SHORT_NAME 211
#define IDC_PROP_CREATED 210
#define IDC_PROP_MODIFIED 13073
#define IDC_PROP_ACCESSED 13074
#define IDC_PROP_CONTAINS 14113
#define IDC_ATTR_READONLY 205
#define IDC_ATTR_HIDDEN 207
#define IDC_ATTR_SYSTEM 208
#define IDC_ATTR_ARCHIVE 209

// Drive page.
#define IDC_DRIVE_LABEL 28679
#define IDC_DRIVE_CAPACITY_BYTES 220
#define IDC_DRIVE_USED_SQUARE 14403
#define IDC_DRIVE_FREE_SQUARE 14404
#define IDC_DRIVE_USED 14405
#define IDC_DRIVE_USED_BYTES 14406
#define IDC_DRIVE_FREE_BYTES 14407
#define IDC_DRIVE_FREE 14408
#define IDC_DRIVE_CAPACITY 14410
#define IDC_DRIVE_PIE 14411
