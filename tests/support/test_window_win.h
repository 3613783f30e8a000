// Windows that tests make to stand for other programs' windows.
#pragma once

#include <windows.h>

// Registers the class on first use (with proc) and makes a window of it.
HWND MakeTestWindow(const char* className, DWORD style, int x, int y, int width, int height, HWND parent = nullptr,
                    WNDPROC proc = DefWindowProcA, DWORD exStyle = 0);

// A small hidden top-level window of the class: enough for FindWindowA.
inline HWND MakeWindowOfClass(const char* className, WNDPROC proc = DefWindowProcA) {
    return MakeTestWindow(className, WS_POPUP, 0, 0, 10, 10, nullptr, proc);
}

// Destroys a test window when the test ends.
struct WindowGuard {
    HWND window;
    ~WindowGuard() {
        if (IsWindow(window)) DestroyWindow(window);
    }
};
