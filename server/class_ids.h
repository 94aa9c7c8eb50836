// Kept so that older includes still build: the class ids live in common/.
#pragma once
#include "common/class_ids.h"
