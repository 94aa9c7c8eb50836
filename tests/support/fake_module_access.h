// Kept so that older includes still build: the shared fakes live in testing/.
#pragma once
#include "testing/fake_module_access.h"
