// The 5-second clock that drives every timed job.
#pragma once

#include <windows.h>

constexpr UINT kClockPeriodMs = 5000;

BOOL StartClock(HWND engineWindow);
void StopClock(HWND engineWindow);

// The timer procedure: publishes the screen-saver state, then gives each job
// its turn (TickJobs). Each job decides from its own gates whether to work.
void CALLBACK ClockTick(HWND window, UINT message, UINT_PTR timerId, DWORD time);
