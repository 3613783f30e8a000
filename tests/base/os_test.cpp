#include "base/os.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

// That plain files open and read is what every data-file test does.
TEST(Os, OpenReadOpensOnlyPlainFiles) {
    TempDir dir("os-open");
    EXPECT_EQ(nullptr, gOs.OpenRead(dir.path().c_str()));
    EXPECT_EQ(nullptr, gOs.OpenRead(dir.File("missing").c_str()));
#ifndef _WIN32
    // A FIFO without a writer: opening it must neither wait nor succeed.
    ASSERT_EQ(0, mkfifo(HostPath(dir.File("fifo")).c_str(), 0600));
    EXPECT_EQ(nullptr, gOs.OpenRead(dir.File("fifo").c_str()));
#endif
}
