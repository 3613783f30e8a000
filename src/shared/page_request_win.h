#pragma once

#include <cstdint>

#include "shared/config_data.h"

// Stores a page request in the record (text cut to 1023 characters; an absent
// text leaves PageUrl as it was) and posts WM_LOADPAGE to PageWindow. Returns
// the post's result. The display programs use it; the agent never does.
int RequestPage(CConfigData& cfg, const char* text, int32_t param1, int32_t param2);
