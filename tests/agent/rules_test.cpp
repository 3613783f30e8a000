// The agent core's rules that need no system: screen-saver names and the
// paths of the programs beside the agent.
#include <gtest/gtest.h>

#include <string>

#include "agent/paths.h"
#include "agent/probes.h"

TEST(IsScreenSaverFile, MatchesTheExtensionInAnyCase) {
    EXPECT_EQ(1, IsScreenSaverFile("C:\\WINDOWS\\SYSTEM32\\SSTEXT3D.SCR"));
    EXPECT_EQ(1, IsScreenSaverFile("bubbles.scr"));
    EXPECT_EQ(1, IsScreenSaverFile("x.ScR"));
    EXPECT_EQ(1, IsScreenSaverFile(".scr"));
    EXPECT_EQ(0, IsScreenSaverFile("scr"));  // shorter than the extension
    EXPECT_EQ(0, IsScreenSaverFile(""));
    EXPECT_EQ(0, IsScreenSaverFile(nullptr));
    EXPECT_EQ(0, IsScreenSaverFile("screen.scr.exe"));
    EXPECT_EQ(0, IsScreenSaverFile("notepad.exe"));
}

TEST(ForwardingGlancerPath, ReplacesEngineInTheUpperCasedPath) {
    char out[260];
    ASSERT_TRUE(ForwardingGlancerPath("C:\\Program Files\\Tidewell\\Engine.exe", out, sizeof out));
    EXPECT_STREQ("C:\\PROGRAM FILES\\TIDEWELL\\GLANCER.EXE", out);
    // The first occurrence decides, wherever it is.
    ASSERT_TRUE(ForwardingGlancerPath("C:\\engine.exe.d\\Engine.exe", out, sizeof out));
    EXPECT_STREQ("C:\\GLANCER.EXE", out);
    EXPECT_FALSE(ForwardingGlancerPath("C:\\Tidewell\\Agent.exe", out, sizeof out));
    EXPECT_FALSE(ForwardingGlancerPath("C:\\Tidewell\\Engine.exe", out, 10));  // would not fit
}

TEST(InstallGlancerPath, JoinsTheInstallDirectory) {
    char out[32];
    ASSERT_TRUE(InstallGlancerPath("C:\\Tidewell", out, sizeof out));
    EXPECT_STREQ("C:\\Tidewell\\Glancer.exe", out);
    EXPECT_FALSE(InstallGlancerPath(std::string(40, 'd').c_str(), out, sizeof out));
}

TEST(RepairInstallerPath, CutsAfterTheLastBackslash) {
    char out[64];
    ASSERT_TRUE(RepairInstallerPath("C:\\Tidewell\\Engine.exe", out, sizeof out));
    EXPECT_STREQ("C:\\Tidewell\\install.exe", out);
    ASSERT_TRUE(RepairInstallerPath("Engine.exe", out, sizeof out));
    EXPECT_STREQ("install.exe", out);
    EXPECT_FALSE(RepairInstallerPath(("C:\\" + std::string(60, 'd') + "\\Engine.exe").c_str(), out, sizeof out));
}
