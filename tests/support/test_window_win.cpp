#include "test_window_win.h"

HWND MakeTestWindow(const char* className, DWORD style, int x, int y, int width, int height, HWND parent, WNDPROC proc,
                    DWORD exStyle) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);  // a class registered before keeps its first procedure
    return CreateWindowExA(exStyle, className, "", style, x, y, width, height, parent, nullptr, wc.hInstance, nullptr);
}
