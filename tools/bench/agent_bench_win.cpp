// The benchmark of the figures that need a running agent: it makes two
// install folders (the full database of 99 topics, the most an agent starts
// with, and an empty one), then measures the request round trip (1),
// start-up (4) and memory (5) against bench_window.exe. No other agent may
// run in the same Wine prefix meanwhile.
//
//   bench_agent [--quick]   table rows on standard output; exit code 0 when every figure was measured
#include <cstdio>
#include <cstring>

#include "agent_figures_win.h"
#include "full_database.h"
#include "install_folder_win.h"
#include "shared/global_block_view_win.h"

bool FigureFailed(const char* figure, const char* why) {
    fprintf(stderr, "bench_agent: figure %s: %s\n", figure, why);
    return false;
}

int main(int argc, char** argv) {
    BenchOptions options;
    options.quick = argc > 1 && strcmp(argv[1], "--quick") == 0;
    if (GlobalBlockView().valid()) {
        fprintf(stderr, "bench_agent: an agent (or a program holding the global block) is running already\n");
        return 1;
    }
    BenchInstall full("full", kAgentTopics);
    BenchInstall empty("empty", 0);
    if (!full.ready() || !empty.ready()) {
        fprintf(stderr, "bench_agent: the install folders could not be made\n");
        return 1;
    }
    bool measured = RunRequestFigure(full, options) && RunStartupFigure(full, empty, options) &&
                    RunMemoryFigure(full, empty, options);
    return measured ? 0 : 1;
}
