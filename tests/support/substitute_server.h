// Kept so that older includes still build: the shared fakes live in testing/.
#pragma once
#include "testing/substitute_server.h"
