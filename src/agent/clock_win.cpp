#include "agent/clock_win.h"

#include "agent/probes_win.h"
#include "agent/jobs_win.h"
#include "base/trace.h"
#include "shared/config_data.h"

namespace {
constexpr UINT_PTR kClockTimerId = 0;
}

BOOL StartClock(HWND engineWindow) {
    return SetTimer(engineWindow, kClockTimerId, kClockPeriodMs, ClockTick) != 0;
}

void StopClock(HWND engineWindow) {
    KillTimer(engineWindow, kClockTimerId);
}

void CALLBACK ClockTick(HWND, UINT, UINT_PTR, DWORD) {
    try {
        // The agent only publishes this for the display programs.
        if (gConfig) gConfig->ScreenSaverOn = ScreenSaverActive();
        TickJobs();
    } catch (...) {
        TraceCaught("ClockTick()");  // the next tick tries again
    }
}
