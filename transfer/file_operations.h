// The operations that change the module's file system in place, in one
// place for the view's and the context menu's commands:
//
//   StartDelete        delete items on a worker thread (confirmed, or silent
//                      after a move), with progress and change notifications
//   OpenFormatDialog   format a drive from its own dialog on its own thread
//   RenameItem, CreateNewFolder, CreateStandardFoldersOn
//                      single server calls on the caller's thread with the
//                      caller's server and owner window, each showing its
//                      own failure message
#pragma once
#include "module_access/call_wrappers.h"
#include "transfer/delete_operation.h"
#include "transfer/format_job.h"
