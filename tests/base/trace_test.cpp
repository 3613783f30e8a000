#include "base/trace.h"

#include <gtest/gtest.h>

#include <string>

#include "os_override.h"

TEST(Trace, FormatsOneLineThroughTheSystemInterfaceAndCutsAnOverlongOne) {
    TraceRecorder trace;
    Trace("WinMain(): Exception %s", "CommonInit() Failed");
    Trace("%lu topics", 7ul);
    Trace("path %s end", std::string(5000, 'x').c_str());
    ASSERT_EQ(3u, trace.lines().size());
    EXPECT_EQ("WinMain(): Exception CommonInit() Failed", trace.lines()[0]);
    EXPECT_EQ("7 topics", trace.lines()[1]);
    EXPECT_EQ("path " + std::string(kTraceLineMax - 5, 'x'), trace.lines()[2]);
}
