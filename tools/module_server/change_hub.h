// The server-wide table of change sinks. A change made through any client
// queues OnChange calls for the sinks of the affected folders; the calls go
// out later from the server's own thread, one at a time, each to an
// AddRef'd sink taken out of the queue, so a sink may Unadvise (or a client
// make further calls) re-entrantly. A sink whose client has gone is dropped.
#pragma once
#include <windows.h>

#include <string>

#include "tools/module_server/module_path.h"

struct IUnknown;

namespace change_hub {

// Registers `sink` (answering IModuleChangeSink) for `folder` of the module
// served from `root`, on behalf of `owner` (the ModuleAccess object; when
// the sink's client turns out to be dead, the owner is disconnected too).
HRESULT Advise(const std::wstring& root, const ModulePath& folder, IUnknown* sink, IUnknown* owner,
               LONG* cookie);
HRESULT Unadvise(LONG cookie);
// Drops every sink registered through `owner` (it is being destroyed).
void DropOwner(const void* owner);

// Whether any sink's client process still runs (a sink whose process cannot
// be known counts as live); the dead ones are dropped as on a failed
// delivery.
bool AnyLiveSink();

// `item` changed (or was deleted) in the module served from `root`: its
// parent folder's sinks, and those of the item itself and anything below
// it, are told "D:" + path for a deletion, "U:" + path otherwise.
void NotifyChange(const std::wstring& root, const ModulePath& item, bool deleted);

}  // namespace change_hub
