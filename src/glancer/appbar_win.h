// The docked bar as an application desktop toolbar: the shell keeps its edge
// free of other bars and of maximised windows, like the taskbar's. A bar
// that hides itself reserves nothing.
#pragma once

#include <windows.h>

#include "glancer/ticker_model.h"

namespace glancer {

class AppBar {
public:
    // callback: the message the shell sends the window (ABN_POSCHANGED ...).
    AppBar(HWND hwnd, UINT callback) : hwnd_(hwnd), callback_(callback) {}
    ~AppBar() { Release(); }
    AppBar(const AppBar&) = delete;
    AppBar& operator=(const AppBar&) = delete;

    // Reserves a bar `thickness` across along the monitor's edge and answers
    // where it may lie; the whole edge when no shell keeps bars.
    Rect Reserve(const Rect& monitor, uint32_t edge, int thickness);
    // Gives the edge back.
    void Release();
    // Tells the shell that the bar was activated or moved.
    void Note(DWORD message);

private:
    HWND hwnd_;
    UINT callback_;
    bool registered_ = false;
};

}  // namespace glancer
