// Probes of the screen, windows and processes; none of them raises, and each
// answers 0 when a system call fails.
#pragma once

#include <windows.h>

#include <cstddef>

// 1 while a screen saver runs.
int ScreenSaverActive();

// 1 when the window could be a running screen saver: a top-level window, or a
// child that is topmost or covers the screen (a preview inside the display
// settings is neither).
int IsScreenSaverWindow(HWND window);

// 1 when the window is visible, not minimised and covers the whole screen.
int IsFullScreenWindow(HWND window);

// The executable name of the process that owns the window, from the process
// list; false when it cannot be found.
bool WindowProcessExeName(HWND window, char* out, size_t size);

// Starts a program detached. Without waiting: non-zero when it started. With
// waiting: its exit code (0 when unavailable or not started).
DWORD StartProcess(const char* commandLine, bool wait);

// Starts the program at path, shown normally, without waiting for it; true
// when it started.
bool LaunchProgram(const char* path);
