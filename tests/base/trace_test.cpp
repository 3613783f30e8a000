#include "base/trace.h"

#include <gtest/gtest.h>

#include <string>

#include "os_override.h"

TEST(Trace, CutsAnOverlongLine) {
    TraceRecorder trace;
    Trace("path %s end", std::string(5000, 'x').c_str());
    EXPECT_EQ(std::vector<std::string>{"path " + std::string(kTraceLineMax - 5, 'x')}, trace.lines());
}
