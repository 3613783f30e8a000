#include "base/trace.h"

#include <gtest/gtest.h>

#include <string>

#include "os_override.h"

TEST(Trace, FormatsOneLineThroughTheSystemInterface) {
    TraceRecorder trace;
    Trace("WinMain(): Exception %s", "CommonInit() Failed");
    Trace("%lu topics", 7ul);
    ASSERT_EQ(2u, trace.lines().size());
    EXPECT_EQ("WinMain(): Exception CommonInit() Failed", trace.lines()[0]);
    EXPECT_EQ("7 topics", trace.lines()[1]);
}

TEST(Trace, CutsAnOverlongLine) {
    TraceRecorder trace;
    std::string huge(5000, 'x');
    Trace("path %s end", huge.c_str());
    ASSERT_EQ(1u, trace.lines().size());
    EXPECT_EQ(kTraceLineMax, trace.lines()[0].size());
    EXPECT_EQ(0u, trace.lines()[0].find("path xxx"));
}
