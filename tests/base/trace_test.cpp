#include "base/trace.h"

#include <gtest/gtest.h>

#include <string>

#include "os_override.h"

// Formatted texts through the system interface are what every test of a
// trace text reads; the cut of an overlong one is not.
TEST(Trace, CutsAnOverlongLine) {
    TraceRecorder trace;
    Trace("path %s end", std::string(5000, 'x').c_str());
    EXPECT_EQ(std::vector<std::string>{"path " + std::string(kTraceLineMax - 5, 'x')}, trace.lines());
}
