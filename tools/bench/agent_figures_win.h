// The figures measured against a running Engine.exe with the full database:
// the display program's request round trip (1), start-up (4) and memory (5).
// Each prints its table rows and answers false, with the reason on standard
// error, when a run did not work.
#pragma once

#include "install_folder_win.h"

struct BenchOptions {
    bool quick = false;
    int Rounds(int full, int fast) const { return quick ? fast : full; }
};

bool RunRequestFigure(const BenchInstall& full, const BenchOptions& options);
bool RunStartupFigure(const BenchInstall& full, const BenchInstall& empty, const BenchOptions& options);
bool RunMemoryFigure(const BenchInstall& full, const BenchInstall& empty, const BenchOptions& options);

// Prints why a figure could not be measured; false.
bool FigureFailed(const char* figure, const char* why);
