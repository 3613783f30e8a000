// The screen, window and process probes, and the process priority that
// follows the user's pace setting. The rules that need no system call are
// here; probes_win.h has the probes themselves.
#pragma once

#include <cstdint>

// Non-zero when the file name ends in ".SCR", compared without regard to case.
int IsScreenSaverFile(const char* name);

enum class ProcessPriority { Normal, Idle };
enum class ThreadPriority { Normal, BelowNormal, Lowest };

struct PacePriority {
    ProcessPriority process;
    ThreadPriority thread;
};

// The higher the pace, the less the agent competes with the user's programs.
PacePriority PriorityForPace(int32_t pace);
