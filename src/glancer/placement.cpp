#include "glancer/placement.h"

#include <algorithm>

namespace glancer {

namespace {

constexpr int kLeastDpi = 48, kMostDpi = 960;
constexpr int kTipGap = 4;      // between the bar and its tool tip
constexpr int kTipOffset = 12;  // along the bar, past the mouse's point

bool Holds(const Rect& r, Point p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

int Clamp(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

}  // namespace

int ScaleForDpi(int pixels, int dpi) {
    if (dpi < kLeastDpi || dpi > kMostDpi) dpi = kBaseDpi;
    return (pixels * dpi + kBaseDpi / 2) / kBaseDpi;
}

size_t ChooseMonitor(const std::vector<Rect>& monitors, Point remembered) {
    for (Point p : {remembered, Point{0, 0}})
        for (size_t i = 0; i < monitors.size(); i++)
            if (Holds(monitors[i], p)) return i;
    return 0;
}

Rect FitToEdge(const Rect& granted, uint32_t edge, int thickness) {
    Rect r = granted;
    switch (edge) {
        case 0: r.right = r.left + thickness; break;
        case 2: r.left = r.right - thickness; break;
        case 3: r.top = r.bottom - thickness; break;
        default: r.bottom = r.top + thickness; break;
    }
    return r;
}

Point TipPosition(const Rect& bar, uint32_t edge, Point cursor, int width, int height, const Rect& monitor) {
    Point p;
    switch (edge) {
        case 0: p = {bar.right + kTipGap, cursor.y + kTipOffset}; break;
        case 2: p = {bar.left - kTipGap - width, cursor.y + kTipOffset}; break;
        case 3: p = {cursor.x + kTipOffset, bar.top - kTipGap - height}; break;
        default: p = {cursor.x + kTipOffset, bar.bottom + kTipGap}; break;
    }
    if (IsVerticalEdge(edge))
        p.y = Clamp(p.y, monitor.top, monitor.bottom - height);
    else
        p.x = Clamp(p.x, monitor.left, monitor.right - width);
    return p;
}

unsigned FrameIntervalMs(unsigned pixelsPerSecond) {
    constexpr unsigned kPixelsAFrame = 3, kShortestMs = 15, kLongestMs = 50;
    unsigned ms = pixelsPerSecond ? kPixelsAFrame * 1000 / pixelsPerSecond : kLongestMs;
    return std::max(kShortestMs, std::min(ms, kLongestMs));
}

int StepToLink(const Loop& loop, int from, int direction) {
    int n = static_cast<int>(loop.size());
    if (n == 0) return -1;
    int step = direction < 0 ? -1 : 1;
    int i = from < 0 || from >= n ? (step > 0 ? -1 : 0) : from;
    for (int tried = 0; tried < n; tried++) {
        i = ((i + step) % n + n) % n;
        if (!loop[static_cast<size_t>(i)].link.empty() && loop[static_cast<size_t>(i)].kind != ItemKind::Title)
            return i;
    }
    return -1;
}

}  // namespace glancer
