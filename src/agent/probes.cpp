#include "agent/probes.h"

#include "base/strutil.h"

int IsScreenSaverFile(const char* name) {
    return name && StrEndsWithNoCase(name, ".SCR") ? 1 : 0;
}
