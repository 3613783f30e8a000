// Time that has passed, measured so that a clock set back or forward, or the
// calendar count passing 2038, can neither stop nor hurry what the agent does
// on time: the 32-bit calendar times of the files are compared modulo 2^32,
// and spacing between runs is measured on the monotonic clock.
#pragma once

#include <cstdint>

#include "base/os.h"

// Seconds from then to now on the 32-bit calendar clock. Read modulo 2^32,
// the step past 2038 (where the signed count turns negative) is one second
// like any other; negative when then lies ahead of now (the clock was set back).
inline int64_t SecondsBetween(int32_t then, int32_t now) {
    uint32_t difference = static_cast<uint32_t>(now) - static_cast<uint32_t>(then);
    return difference > INT32_MAX ? static_cast<int64_t>(difference) - (int64_t{1} << 32) : difference;
}

// The spacing of a job's runs, on the monotonic clock.
class RunTimer {
public:
    // True when at least `seconds` have passed since the last time this
    // answered true, and always the first time; that moment becomes the
    // last. A spacing of 0 or less is always due.
    bool Due(int64_t seconds) {
        uint64_t now = gOs.Monotonic();
        if (ran_ && seconds > 0 && now >= last_ && now - last_ < static_cast<uint64_t>(seconds) * 1000) return false;
        ran_ = true;
        last_ = now;
        return true;
    }

private:
    bool ran_ = false;
    uint64_t last_ = 0;
};
