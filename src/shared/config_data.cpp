#include "shared/config_data.h"

CConfigData* gConfig = nullptr;
