// Kept so that older includes still build: the identifier format lives in
// item_id/module_item_id.h, the absolute lists in module_access/absolute_lists.h.
#pragma once
#include "item_id/module_item_id.h"
#include "module_access/absolute_lists.h"
