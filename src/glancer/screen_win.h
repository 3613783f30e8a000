// The monitors the bar can dock on and their pixel density. The functions
// of newer Windows are looked up at run time; without them there is one
// density, the system's.
#pragma once

#include <windows.h>

#include <vector>

#include "glancer/placement.h"

namespace glancer {

// Asks to be told each monitor's own density (and to be drawn unscaled on it).
void BecomeDpiAware();
// Every monitor's rectangle, the primary one holding 0,0.
std::vector<Rect> ListMonitors();
// The density of the monitor that holds most of the rectangle.
int DpiOfArea(const Rect& area);

}  // namespace glancer
