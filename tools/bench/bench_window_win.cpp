// The smallest Win32 program with one window, the baseline of the start-up,
// memory and request figures: it registers a class, creates one window the
// way the agent creates its engine window (captioned, shown minimised, as
// without a notification area), and answers every message with
// DefWindowProcA. It closes on WM_CLOSE, and by itself after its lifetime
// so that a benchmark that dies leaves nothing running.
//
//   bench_window.exe [LIFETIME_SECONDS]   (default 600)
#include <windows.h>

#include <cstdlib>

#include "bench_window.h"

namespace {

constexpr UINT_PTR kLifetimeTimer = 1;

LRESULT CALLBACK BenchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER: DestroyWindow(window); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    int lifetime = commandLine && *commandLine ? atoi(commandLine) : 600;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = BenchWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kBenchWindowClass;
    if (!RegisterClassA(&wc)) return 1;
    HWND window = CreateWindowExA(0, kBenchWindowClass, "Tidewell Bench", WS_CAPTION | WS_SYSMENU, 64, 64, 400, 128,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWMINNOACTIVE);
    UpdateWindow(window);
    SetTimer(window, kLifetimeTimer, static_cast<UINT>(lifetime > 0 ? lifetime : 600) * 1000, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
