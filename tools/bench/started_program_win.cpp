// Starting the agent or the baseline program and noting when each stage of
// its start-up was reached (see started_program_win.h).
#include "started_program_win.h"

#include <string>

#include "bench_window.h"
#include "shared/global_block_view_win.h"
#include "shared/names.h"

namespace {

// The agent names its window in the global block a few steps after creating it.
bool Published(HWND window) {
    GlobalBlockView block;
    return block.EngineWindow() == window;
}

void WaitForAnswer(StartedProgram& started) {
    if (!started.window) return;
    if (WaitForAnswer(started.window, kLaunchTimeoutMs)) started.answerSeconds = started.process.SinceStart();
}

}  // namespace

bool StartedProgram::Close() {
    return process.Close(window, kExitTimeoutMs);
}

StartedProgram StartAgent(const BenchInstall& install) {
    StartedProgram started;
    started.process = ChildProcess(install.EnginePath(), "");
    if (!started.process.started()) return started;
    HWND window = WaitForWindow(kEngineWindowClass, started.process.id(), kLaunchTimeoutMs, kLaunchPollMs);
    if (!window || !WaitFor([&] { return Published(window); }, kLaunchTimeoutMs, kLaunchPollMs)) return started;
    started.windowSeconds = started.process.SinceStart();
    started.window = window;
    WaitForAnswer(started);
    return started;
}

StartedProgram StartBaselineProgram(int lifetimeSeconds) {
    StartedProgram started;
    started.process = ChildProcess(ProgramDir() + "\\" + kBenchWindowProgram, std::to_string(lifetimeSeconds));
    if (!started.process.started()) return started;
    started.window = WaitForWindow(kBenchWindowClass, started.process.id(), kLaunchTimeoutMs, kLaunchPollMs);
    if (!started.window) return started;
    started.windowSeconds = started.process.SinceStart();
    WaitForAnswer(started);
    return started;
}
