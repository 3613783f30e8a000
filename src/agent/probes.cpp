#include "agent/probes.h"

#include "base/strutil.h"

int IsScreenSaverFile(const char* name) {
    return name && StrEndsWithNoCase(name, ".SCR") ? 1 : 0;
}

PacePriority PriorityForPace(int32_t pace) {
    if (pace < 12) return {ProcessPriority::Normal, ThreadPriority::Normal};
    if (pace < 14) return {ProcessPriority::Normal, ThreadPriority::BelowNormal};
    if (pace < 16) return {ProcessPriority::Idle, ThreadPriority::BelowNormal};
    return {ProcessPriority::Idle, ThreadPriority::Lowest};
}
