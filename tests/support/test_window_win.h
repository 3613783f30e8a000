// Windows that tests make to stand for other programs' windows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

// What windows made with this procedure were handed, in order: "WORD:BYTES" for each WM_COPYDATA, and
// "configupdate" for each configuration update.
extern std::vector<std::string> gHandedOver;
LRESULT CALLBACK RecordHandedOver(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
