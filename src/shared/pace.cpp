#include "shared/pace.h"

PacePriority PriorityForPace(int32_t pace) {
    if (pace < 12) return {ProcessPriority::Normal, ThreadPriority::Normal};
    if (pace < 14) return {ProcessPriority::Normal, ThreadPriority::BelowNormal};
    if (pace < 16) return {ProcessPriority::Idle, ThreadPriority::BelowNormal};
    return {ProcessPriority::Idle, ThreadPriority::Lowest};
}

void ApplyPacePriority(const CConfigData& cfg) {
    PacePriority priority = PriorityForPace(cfg.Pace);
    gOs.SetPriority(priority.process, priority.thread);
}
