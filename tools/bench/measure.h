// Timing for the benchmarks. The machine is shared with other work, so no
// figure is an absolute time on its own: each subject is measured against a
// baseline in the same run, the two alternating round by round (in ABBA
// order, so that a slow stretch of the machine falls on both alike), and
// compared by their medians.
#pragma once

#include <filesystem>
#include <functional>
#include <system_error>
#include <vector>

// Seconds on a steady clock (QueryPerformanceCounter on Windows).
double Now();

// The median of the samples; 0 for none.
double Median(std::vector<double> samples);

// Medians of a subject and its baseline, each in seconds per operation.
struct Paired {
    double subject = 0;
    double baseline = 0;
    double Ratio() const { return baseline > 0 ? subject / baseline : 0; }
};

// Takes `rounds` samples of each, alternating; a sample is what the function
// returns (seconds per operation).
Paired Interleave(int rounds, const std::function<double()>& subject, const std::function<double()>& baseline);

// Seconds per call, over `count` calls in a row.
template <typename Fn>
double TimePerCall(int count, Fn fn) {
    double start = Now();
    for (int i = 0; i < count; i++) fn();
    return (Now() - start) / count;
}

// A benchmark's own files, removed with everything in them when the program
// ends, also when a failed run ends it early.
struct ScratchDir {
    std::filesystem::path path;
    ~ScratchDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};
