// The benchmarks' output: one Markdown table row per figure ("| 1 | ... |"),
// which scripts/bench gathers under one header, and note lines ("- ...")
// that explain a figure and go below the table. Rows carry the goal and
// whether it was met; a figure without a fixed goal says so.
#pragma once

#include <string>

struct FigureRow {
    std::string figure;    // "1", "2a", ...
    std::string subject;   // what was measured, and its median
    std::string baseline;  // what it was measured against, and its median
    std::string result;    // the ratio or the difference
    std::string goal;      // "<= 1.3x", "<= +50 ms", or "none"
    const char* met;       // "yes", "no", or "-" without a goal
};

void PrintRow(const FigureRow& row);

// A line for below the table, printf-style.
void PrintNote(const char* format, ...) __attribute__((format(printf, 1, 2)));

const char* YesNo(bool met);

// Numbers as the table shows them.
std::string Micros(double seconds, int decimals = 1);  // "23.4 us"
std::string Millis(double seconds, int decimals = 1);  // "12.3 ms"
std::string Times(double ratio);                       // "1.07x"
std::string SignedMillis(double seconds);              // "+12.3 ms"
std::string KiB(double bytes);                         // "1234 KiB"
