// Timing for the benchmarks: a steady clock, medians, and subject and
// baseline taken in turn (see measure.h).
#include "measure.h"

#include <algorithm>
#include <chrono>

double Now() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    size_t middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

Paired Interleave(int rounds, const std::function<double()>& subject, const std::function<double()>& baseline) {
    std::vector<double> subjects, baselines;
    for (int round = 0; round < rounds; round++) {
        // ABBA: the one measured second in this round goes first in the next.
        if (round % 2 == 0) {
            subjects.push_back(subject());
            baselines.push_back(baseline());
        } else {
            baselines.push_back(baseline());
            subjects.push_back(subject());
        }
    }
    Paired paired;
    paired.subject = Median(subjects);
    paired.baseline = Median(baselines);
    return paired;
}
