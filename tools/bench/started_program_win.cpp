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
    if (started.process->WaitForAnswer(started.window)) started.answerSeconds = started.process->SinceStart();
}

}  // namespace

bool StartedProgram::Close() {
    return process && process->Close(window);
}

StartedProgram StartAgent(const BenchInstall& install) {
    StartedProgram started;
    started.process = std::make_unique<Launched>(install.EnginePath(), "");
    if (!started.process->started()) return started;
    HWND window = started.process->WaitForWindow(kEngineWindowClass);
    if (!window || !started.process->WaitUntil([&] { return Published(window); })) return started;
    started.windowSeconds = started.process->SinceStart();
    started.window = window;
    WaitForAnswer(started);
    return started;
}

StartedProgram StartBaselineProgram(int lifetimeSeconds) {
    StartedProgram started;
    started.process =
        std::make_unique<Launched>(ProgramDir() + "\\" + kBenchWindowProgram, std::to_string(lifetimeSeconds));
    if (!started.process->started()) return started;
    started.window = started.process->WaitForWindow(kBenchWindowClass);
    if (!started.window) return started;
    started.windowSeconds = started.process->SinceStart();
    WaitForAnswer(started);
    return started;
}
