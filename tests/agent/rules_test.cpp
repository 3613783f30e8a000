// The agent core's rules that need no system.
#include <gtest/gtest.h>

#include <string>

#include "agent/paths.h"
#include "agent/probes.h"

TEST(IsScreenSaverFile, MatchesTheExtensionInAnyCase) {
    for (const char* name : {"C:\\WINDOWS\\SYSTEM32\\SSTEXT3D.SCR", "bubbles.scr", "x.ScR", ".scr"}) {
        EXPECT_EQ(1, IsScreenSaverFile(name)) << name;
    }
    for (const char* name : {"scr", "", static_cast<const char*>(nullptr), "screen.scr.exe", "notepad.exe"}) {
        EXPECT_EQ(0, IsScreenSaverFile(name)) << (name ? name : "null");
    }
}

TEST(ProgramPaths, BesideTheAgentAndTheirBuffers) {
    char out[64];
    // Forwarding replaces the first "ENGINE.EXE" of the upper-cased path, wherever it is.
    ASSERT_TRUE(ForwardingGlancerPath("C:\\Program Files\\Tidewell\\Engine.exe", out, sizeof out));
    EXPECT_STREQ("C:\\PROGRAM FILES\\TIDEWELL\\GLANCER.EXE", out);
    ASSERT_TRUE(ForwardingGlancerPath("C:\\engine.exe.d\\Engine.exe", out, sizeof out));
    EXPECT_STREQ("C:\\GLANCER.EXE", out);
    EXPECT_FALSE(ForwardingGlancerPath("C:\\Tidewell\\Agent.exe", out, sizeof out));
    EXPECT_FALSE(ForwardingGlancerPath("C:\\Tidewell\\Engine.exe", out, 10));  // would not fit

    ASSERT_TRUE(InstallGlancerPath("C:\\Tidewell", out, 32));
    EXPECT_STREQ("C:\\Tidewell\\Glancer.exe", out);
    EXPECT_FALSE(InstallGlancerPath(std::string(40, 'd').c_str(), out, 32));

    // The installer lies beside the agent: the path is cut after its last backslash.
    ASSERT_TRUE(RepairInstallerPath("C:\\Tidewell\\Engine.exe", out, sizeof out));
    EXPECT_STREQ("C:\\Tidewell\\install.exe", out);
    ASSERT_TRUE(RepairInstallerPath("Engine.exe", out, sizeof out));
    EXPECT_STREQ("install.exe", out);
    EXPECT_FALSE(RepairInstallerPath(("C:\\" + std::string(60, 'd') + "\\Engine.exe").c_str(), out, sizeof out));
}
