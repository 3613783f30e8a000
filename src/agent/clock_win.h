// The 5-second clock that drives every timed job.
#pragma once

#include <windows.h>

// A test build may shorten the period to run the agent on compressed time;
// the shipped agent ticks every 5 seconds.
#ifndef TIDEWELL_CLOCK_PERIOD_MS
#define TIDEWELL_CLOCK_PERIOD_MS 5000
#endif
constexpr UINT kClockPeriodMs = TIDEWELL_CLOCK_PERIOD_MS;

BOOL StartClock(HWND engineWindow);
void StopClock(HWND engineWindow);

// The timer procedure: publishes the screen-saver state, then gives each job
// its turn (TickJobs). Each job decides from its own gates whether to work.
void CALLBACK ClockTick(HWND window, UINT message, UINT_PTR timerId, DWORD time);
