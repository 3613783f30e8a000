// The agent or the baseline program, started and waited for stage by stage:
// its window there (for the agent: also named in the global block, as
// display programs find it), then its window answering a sent message,
// which happens only once start-up is over and the message loop runs.
#pragma once

#include <windows.h>

#include <memory>

#include "install_folder_win.h"
#include "launch_win.h"

struct StartedProgram {
    std::unique_ptr<Launched> process;
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
