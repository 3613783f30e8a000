// The console display program against a real agent, and without one.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "agent_process_win.h"
#include "trace_capture_win.h"

namespace {

class ConsoleTest : public ::testing::Test {
protected:
    ConsoleTest() : folder_("console") { CopyProgram(folder_.path(), "twl.exe"); }

    void SetUp() override { ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere"; }

    DWORD Twl(const std::string& arguments) {
        return RunCapturingOutput(folder_.File("twl.exe"), arguments, kStartTimeoutMs + kTickTimeoutMs, output_);
    }

    InstallFolder folder_;
    std::string output_;
};

}  // namespace

TEST_F(ConsoleTest, WatchesAndClosesARunningAgent) {
    TraceCapture trace;
    AgentProcess agent(folder_);
    EXPECT_EQ(0u, Twl("wait 20")) << output_;
    ASSERT_TRUE(agent.WaitForEngineWindow());

    EXPECT_EQ(0u, Twl("settings")) << output_;
    EXPECT_NE(std::string::npos, output_.find("InstallDir         " + folder_.path())) << output_;
    EXPECT_NE(std::string::npos, output_.find("EdgeDockedOn       1")) << output_;

    EXPECT_EQ(0u, Twl("tick")) << output_;
    EXPECT_NE(std::string::npos, output_.find("clock ticked")) << output_;

    folder_.Write("feed.twl", "[General]\r\n");
    EXPECT_EQ(0u, Twl("subscribe " + folder_.File("feed.twl"))) << output_;
    EXPECT_TRUE(trace.WaitFor("WM_COPYDATA subscription file " + folder_.File("feed.twl"), agent.id(), 5000));

    EXPECT_EQ(0u, Twl("close")) << output_;
    EXPECT_NE(std::string::npos, output_.find("exited with code 0")) << output_;
    EXPECT_EQ(0u, agent.Wait(kExitTimeoutMs));
}

TEST_F(ConsoleTest, ReportsAMissingAgentAndBadCommands) {
    const std::tuple<const char*, DWORD, const char*> cases[] = {
        {"settings", 2, "twl: no Tidewell global block: is the agent running?"},
        {"tick", 2, "twl: no agent is running"},
        {"close", 2, "twl: no agent is running"},
        {"subscribe x.twl", 2, "twl: no agent is running"},
        {"topics", 2, "twl: no agent is running"},
        {"wait 1", 2, "twl: no agent started within 1 seconds"},
        {"frobnicate", 1, "usage: twl"},
        {"subscribe", 1, "usage: twl"},
        {"", 1, "usage: twl"},
    };
    for (auto [arguments, code, text] : cases) {
        EXPECT_EQ(code, Twl(arguments)) << arguments;
        EXPECT_NE(std::string::npos, output_.find(text)) << arguments << ": " << output_;
    }
}
