// The agent or the baseline program, started and waited for stage by stage:
// its window there (for the agent: also named in the global block, as
// display programs find it), then its window answering a sent message,
// which happens only once start-up is over and the message loop runs.
#pragma once

#include <windows.h>

#include "install_folder_win.h"
#include "process_win.h"

// Bounds generous enough for a cold Wine start of a program, and its end.
constexpr DWORD kLaunchTimeoutMs = 30000;
constexpr DWORD kExitTimeoutMs = 30000;
// Starts are timed to the millisecond.
constexpr DWORD kLaunchPollMs = 1;

struct StartedProgram {
    ChildProcess process;
    HWND window = nullptr;
    double windowSeconds = 0;  // from the request to start until the window was there
    double answerSeconds = 0;  // until the window answered
    bool ok() const { return window != nullptr && answerSeconds > 0; }
    // WM_CLOSE, then waits for the process to end; true when it ended by itself.
    bool Close();
};

// Starts Engine.exe from the install folder.
StartedProgram StartAgent(const BenchInstall& install);

// Starts bench_window.exe, living at most lifetimeSeconds.
StartedProgram StartBaselineProgram(int lifetimeSeconds = 600);
