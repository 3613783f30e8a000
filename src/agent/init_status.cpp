#include "agent/init_status.h"

int InitStatus = INITSTATUS_STARTING;
