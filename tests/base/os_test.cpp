// The system interface as the platform-free code relies on it, on both
// sides: reads open only plain files, whatever else a path may name.
#include "base/os.h"

#include <gtest/gtest.h>

#include <string>

#include "temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

TEST(Os, OpenReadOpensOnlyPlainFiles) {
    TempDir dir("os-open");
    dir.Write("plain.txt", "bytes");
    OsFile* file = gOs.OpenRead(dir.File("plain.txt").c_str());
    ASSERT_NE(nullptr, file);
    char buffer[8] = {};
    uint32_t got = 0;
    EXPECT_EQ(1, gOs.Read(file, buffer, sizeof buffer, &got));
    EXPECT_EQ("bytes", std::string(buffer, got));
    gOs.Close(file);

    EXPECT_EQ(nullptr, gOs.OpenRead(dir.path().c_str()));
    EXPECT_EQ(nullptr, gOs.OpenRead(dir.File("missing").c_str()));
#ifndef _WIN32
    // A FIFO without a writer: opening it must neither wait nor succeed.
    ASSERT_EQ(0, mkfifo(HostPath(dir.File("fifo")).c_str(), 0600));
    EXPECT_EQ(nullptr, gOs.OpenRead(dir.File("fifo").c_str()));
#endif
}
