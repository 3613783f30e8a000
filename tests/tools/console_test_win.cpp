// The console display program against a real agent, and without one.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "agent_process_win.h"
#include "trace_capture_win.h"

// Without an agent every command says so, bad commands show the usage; then
// the same program watches, drives and closes a real agent.
TEST(Console, ReportsAMissingAgentThenWatchesAndClosesARunningOne) {
    ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    InstallFolder folder("console");
    CopyProgram(folder.path(), "twl.exe");
    std::string output;
    auto twl = [&](const std::string& arguments) {
        return RunCapturingOutput(folder.File("twl.exe"), arguments, kStartTimeoutMs + kTickTimeoutMs, output);
    };
    const std::tuple<const char*, DWORD, const char*> cases[] = {
        {"settings", 2, "twl: no Tidewell global block: is the agent running?"},
        {"tick", 2, "twl: no agent is running"},
        {"subscribe x.twl", 2, "twl: no agent is running"},
        {"wait 1", 2, "twl: no agent started within 1 seconds"},
        {"frobnicate", 1, "usage: twl"},
        {"subscribe", 1, "usage: twl"},
        {"", 1, "usage: twl"},
    };
    for (auto [arguments, code, text] : cases) {
        EXPECT_EQ(code, twl(arguments)) << arguments;
        EXPECT_NE(std::string::npos, output.find(text)) << arguments << ": " << output;
    }

    TraceCapture trace;
    AgentProcess agent(folder);
    EXPECT_EQ(0u, twl("wait 20")) << output;
    ASSERT_TRUE(agent.WaitForEngineWindow());
    EXPECT_EQ(0u, twl("settings")) << output;
    EXPECT_NE(std::string::npos, output.find("InstallDir         " + folder.path())) << output;
    EXPECT_NE(std::string::npos, output.find("EdgeDockedOn       1")) << output;
    EXPECT_EQ(0u, twl("tick")) << output;
    EXPECT_NE(std::string::npos, output.find("clock ticked")) << output;
    folder.Write("feed.twl", "[General]\r\n");
    EXPECT_EQ(0u, twl("subscribe " + folder.File("feed.twl"))) << output;
    EXPECT_TRUE(trace.WaitFor("WM_COPYDATA subscription file " + folder.File("feed.twl"), agent.id(), 5000));
    EXPECT_EQ(0u, twl("close")) << output;
    EXPECT_NE(std::string::npos, output.find("exited with code 0")) << output;
    EXPECT_EQ(0u, agent.Wait(kExitTimeoutMs));
}
