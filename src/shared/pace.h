// The user's pace setting also sets how much the agent competes with the
// user's own programs for the processor.
#pragma once

#include <cstdint>

#include "base/os.h"
#include "shared/config_data.h"

struct PacePriority {
    ProcessPriority process;
    ThreadPriority thread;
};

PacePriority PriorityForPace(int32_t pace);

// Sets the process and thread priority for the record's Pace.
void ApplyPacePriority(const CConfigData& cfg);
