// The window of the baseline program (bench_window.exe): the smallest Win32
// program with one window, against which the agent's start-up, memory and
// request round trip are measured.
#pragma once

constexpr const char kBenchWindowClass[] = "Tidewell Bench Window";
constexpr const char kBenchWindowProgram[] = "bench_window.exe";
