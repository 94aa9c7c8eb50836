// Dialogs, clips and control ids of the file operations. Shared by
// resources/transfer.rc and the code in transfer/.
#pragma once

// Progress dialog.
#define IDD_PROGRESS 215
#define IDC_PROGRESS_ITEM 102
#define IDC_PROGRESS_WHERE 103
#define IDC_PROGRESS_BAR 104
#define IDC_PROGRESS_TIME 105
#define IDC_PROGRESS_ANIMATION 106

// Looping clips of the progress dialog (resource type "AVI").
#define IDR_AVI_DELETE 216
#define IDR_AVI_COPY 219

// Delete confirmations.
#define IDD_CONFIRM_MULTIPLE_DELETE 208
#define IDD_CONFIRM_READONLY_DELETE 213
#define IDD_CONFIRM_DELETE 214
#define IDC_CONFIRM_TEXT 202
#define IDC_CONFIRM_ICON 203
#define IDC_CONFIRM_HELP 204
#define IDC_DELETE_ALL 12807

// Format dialog.
#define IDD_FORMAT 28672
#define IDC_FORMAT_CAPACITY 28673
#define IDC_FORMAT_CAPACITY_CAPTION 28674
#define IDC_FORMAT_FILE_SYSTEM_CAPTION 28675
#define IDC_FORMAT_CLUSTER_CAPTION 28676
#define IDC_FORMAT_FILE_SYSTEM 28677
#define IDC_FORMAT_OPTIONS 28678
#define IDC_FORMAT_LABEL 28679
#define IDC_FORMAT_CLUSTER 28680
#define IDC_FORMAT_LABEL_CAPTION 215
