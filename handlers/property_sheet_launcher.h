// Opens the module's property sheet on a thread of its own and returns once
// the sheet is up (or could not be made), so that Explorer's thread is never
// blocked by the sheet itself.
#pragma once
#include <windows.h>
#include <shtypes.h>

#include <string>
#include <vector>

#include "item_id/module_item_id.h"

// Takes the items over. S_OK once the sheet shows; otherwise the sheet's
// failure, the system error of a missing event or thread, or E_OUTOFMEMORY.
HRESULT LaunchPropertySheet(const std::wstring& folderPath, std::vector<IdListHolder> items);
