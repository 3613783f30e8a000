// A program's processor time as the host counts it, for the benchmarks and
// for the tests that check a program stays idle.
#pragma once

#include <string>

// Under Wine another process's times are not kept (GetProcessTimes answers
// 0), so they are read where the host keeps them: /proc, through Wine's Z:
// drive, for the host process whose command line names the program. Seconds
// of user and system time (in steps of 10 ms), or -1 when there is no such
// process.
double HostCpuSeconds(const std::string& programPath);
