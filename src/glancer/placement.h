// Where the ticker's bar and its tool tip go on a desktop of one or more
// monitors of any pixel density: platform-free, so that the choices can be
// tried on a table of monitors that no test machine has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "glancer/ticker_model.h"

namespace glancer {

struct Point {
    int x, y;
};

constexpr int kBaseDpi = 96;
// Pixels at the given density of a length of `pixels` at 96 dpi, rounded; a
// density out of any real monitor's range counts as 96.
int ScaleForDpi(int pixels, int dpi);

// The monitor the bar docks on: the one that holds the remembered point
// (the chosen monitor's top left corner), else the primary one (which holds
// 0,0), else the first. monitors must not be empty.
size_t ChooseMonitor(const std::vector<Rect>& monitors, Point remembered);

// A bar `thickness` across with its outer side where the shell put it:
// the shell may move a bar inwards (past other bars) or shorten it, and
// answers a whole rectangle that the bar then fills only to its thickness.
Rect FitToEdge(const Rect& granted, uint32_t edge, int thickness);

// The tool tip's top left corner for a tip of the given size near the
// mouse: beside the bar on the screen's side of it, never over the bar,
// and kept inside the monitor along the bar.
Point TipPosition(const Rect& bar, uint32_t edge, Point cursor, int width, int height, const Rect& monitor);

// The frame timer's period: about three pixels a frame (27 frames a second
// at the default speed), within 15 to 50 ms. Each frame costs the same
// whatever it moves, so fewer of them keep the ticker under 1 % of a core.
unsigned FrameIntervalMs(unsigned pixelsPerSecond);

// The item the arrow keys go to from `from` (-1: none yet) in `direction`
// (1 or -1): the next one round the loop that has a link; -1 when none has.
int StepToLink(const Loop& loop, int from, int direction);

}  // namespace glancer
