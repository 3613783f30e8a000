#include "glancer/appbar_win.h"

#include <shellapi.h>

#include "glancer/placement.h"

namespace glancer {

namespace {

UINT EdgeToShell(uint32_t edge) {
    switch (edge) {
        case 0: return ABE_LEFT;
        case 2: return ABE_RIGHT;
        case 3: return ABE_BOTTOM;
        default: return ABE_TOP;
    }
}

RECT ToRECT(const Rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

Rect FromRECT(const RECT& r) {
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

Rect AppBar::Reserve(const Rect& monitor, uint32_t edge, int thickness) {
    Rect wanted = DockRect(monitor, edge, thickness, thickness);
    APPBARDATA data = {};
    data.cbSize = sizeof data;
    data.hWnd = hwnd_;
    data.uCallbackMessage = callback_;
    if (!registered_) registered_ = SHAppBarMessage(ABM_NEW, &data) != 0;
    if (!registered_) return wanted;
    data.uEdge = EdgeToShell(edge);
    // Asked for the whole edge, the shell moves it inwards past the bars
    // already there; the bar keeps its thickness from where it then begins.
    data.rc = ToRECT(wanted);
    SHAppBarMessage(ABM_QUERYPOS, &data);
    data.rc = ToRECT(FitToEdge(FromRECT(data.rc), edge, thickness));
    SHAppBarMessage(ABM_SETPOS, &data);
    return FitToEdge(FromRECT(data.rc), edge, thickness);
}

void AppBar::Release() {
    if (!registered_) return;
    APPBARDATA data = {};
    data.cbSize = sizeof data;
    data.hWnd = hwnd_;
    SHAppBarMessage(ABM_REMOVE, &data);
    registered_ = false;
}

void AppBar::Note(DWORD message) {
    if (!registered_) return;
    APPBARDATA data = {};
    data.cbSize = sizeof data;
    data.hWnd = hwnd_;
    SHAppBarMessage(message, &data);
}

}  // namespace glancer
