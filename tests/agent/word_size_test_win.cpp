// An agent of one word size with the display programs of the other (from
// TIDEWELL_OTHER_BIN): everything that crosses must mean the same to both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "agent_process_win.h"
#include "shared/window_handle_win.h"
#include "trace_capture_win.h"

namespace {

constexpr int kThisBits = sizeof(void*) * 8;
constexpr int kOtherBits = 96 - kThisBits;

struct Build {
    std::string bin;
    int bits;
    std::string Program(const char* name) const { return bin + "\\" + name; }
};

Build ThisBuild() {
    return {ProgramDir(), kThisBits};
}

Build OtherBuild() {
    std::string bin = getenv("TIDEWELL_OTHER_BIN") ? getenv("TIDEWELL_OTHER_BIN") : "";
    for (char& c : bin) c = c == '/' ? '\\' : c;
    return {bin, kOtherBits};
}

bool OtherBuildMissing() {
    return GetFileAttributesA(OtherBuild().Program("twl.exe").c_str()) == INVALID_FILE_ATTRIBUTES;
}

std::string Run(const Build& build, const char* program, const std::string& arguments, DWORD& exitCode) {
    std::string output;
    exitCode = RunCapturingOutput(build.Program(program), arguments, kStartTimeoutMs, output);
    return output;
}

std::string Subscription(const std::string& title, const std::string& headline) {
    return "[General]\r\nConfigVersion=1\r\n[Subscription1]\r\nTitle=" + title +
           "\r\nConfigUrl=http://127.0.0.1:9/x.twl\r\nMsgBaseUrl=http://127.0.0.1:9/\r\nMsgRange=1-1\r\nMsg1=m.html "
           "\"" +
           headline + "\"\r\n";
}

// One agent of agentSide's word size, and every display program of displaySide's.
void AgentWithDisplayPrograms(const Build& agentSide, const Build& displaySide) {
    SCOPED_TRACE(std::to_string(agentSide.bits) + "-bit agent, " + std::to_string(displaySide.bits) +
                 "-bit display programs");
    ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    TraceCapture trace;
    InstallFolder folder("word-size", InstallFolder::kWithoutDatabase);
    ASSERT_TRUE(CopyFileA(agentSide.Program("Engine.exe").c_str(), folder.EnginePath().c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(agentSide.Program("config_standin.dll").c_str(), folder.File("CONFIG.DLL").c_str(), FALSE));
    folder.Write("config-script.txt", "settings=7\naccept=1\n");
    folder.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");  // topics keep their news
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"topics": [{"Title": "News / Harbour", "messages": [
        {"ridMsg": 1, "Title": "Ferry timetable changes on Monday"},
        {"ridMsg": 2, "Title": "Pilot boat named after the old harbour master"}]}]})"));
    folder.Write("one.twl", Subscription("News / Tides", "Spring tides expected this weekend"));
    folder.Write("two.twl", Subscription("News / Lights", "Lighthouse keeps its foghorn"));

    AgentProcess agent(folder);
    HWND engine = agent.WaitForEngineWindow();  // the record's word, as this program's handle
    ASSERT_NE(nullptr, engine);
    GlobalBlockView block;
    block.config().JobsHeld = 1;  // no network: the subscriptions point nowhere
    EXPECT_EQ(1u, block.header().attachCount);
    EXPECT_EQ(HwndToWord(engine), block.config().EngineWindow);
    // The engine window's class as another process sees it: no extra bytes.
    EXPECT_EQ("style 3, extra bytes 0", "style " + std::to_string(GetClassLongA(engine, GCL_STYLE)) + ", extra bytes " +
                                            std::to_string(GetClassLongA(engine, GCL_CBWNDEXTRA)));

    // Conversations on both channels, many walks.
    DWORD exitCode = 0;
    std::string output = Run(displaySide, "display_client.exe", "3", exitCode);
    EXPECT_EQ(0u, exitCode) << output;
    EXPECT_NE(std::string::npos, output.find("2 messages a walk, 0 walks wrong")) << output;
    output = Run(displaySide, "twl.exe", "messages", exitCode);
    EXPECT_EQ(0u, exitCode) << output;
    EXPECT_NE(std::string::npos, output.find("0:2  Pilot boat named after the old harbour master")) << output;

    // Subscriptions handed over with WM_COPYDATA: by twl, and by a second Engine.exe.
    output = Run(displaySide, "twl.exe", "subscribe \"" + folder.File("one.twl") + "\"", exitCode);
    EXPECT_EQ(0u, exitCode) << output;
    EXPECT_TRUE(trace.WaitFor("WM_COPYDATA subscription file " + folder.File("one.twl"), agent.id(), 5000));
    // Not beside a Glancer.exe, whose ticker would claim the display window below.
    const std::string forwarderPath = folder.File("forwarder\\Engine.exe");
    ASSERT_TRUE(CreateDirectoryA(folder.File("forwarder").c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(displaySide.Program("Engine.exe").c_str(), forwarderPath.c_str(), FALSE));
    ChildProcess forwarder(forwarderPath, "\"" + folder.File("two.twl") + "\"");
    EXPECT_EQ(0u, forwarder.Wait(kStartTimeoutMs));
    EXPECT_TRUE(trace.WaitFor("WM_COPYDATA subscription file " + folder.File("two.twl"), agent.id(), 5000));
    output = Run(displaySide, "twl.exe", "messages News", exitCode);
    EXPECT_NE(std::string::npos, output.find("Spring tides expected this weekend")) << output;
    EXPECT_NE(std::string::npos, output.find("Lighthouse keeps its foghorn")) << output;

    // The display window that the display side named gets the settings.
    std::string displayOutput;
    DWORD displayExit = 0;
    std::thread display([&] {
        displayExit = RunCapturingOutput(displaySide.Program("display_client.exe"), "--display-window 15000",
                                         kStartTimeoutMs, displayOutput);
    });
    bool named = WaitFor([&] { return block.config().DisplayWindow != kNoWindow; }, kStartTimeoutMs);
    if (named) output = Run(displaySide, "twl.exe", "prefs", exitCode);
    display.join();
    ASSERT_TRUE(named) << displayOutput;
    EXPECT_EQ(0u, exitCode) << output;
    EXPECT_EQ(0u, displayExit) << displayOutput;
    EXPECT_NE(std::string::npos, displayOutput.find("copydata 1 from " + std::to_string(HwndToWord(engine)) +
                                                    ": 388 bytes of 7\r\nconfigupdate"))
        << displayOutput;
    std::string calls = folder.Read("config-calls.log");
    EXPECT_EQ(1, std::count(calls.begin(), calls.end(), '\n')) << calls;

    // Closed with WM_CLOSE by the display side; the data file keeps the handed-over topics.
    output = Run(displaySide, "twl.exe", "close", exitCode);
    EXPECT_EQ(0u, exitCode) << output;
    EXPECT_EQ(0u, agent.Wait(kExitTimeoutMs));
    std::string json = folder.DumpDatabase();
    EXPECT_NE(std::string::npos, json.find("News / Tides")) << json;
    EXPECT_NE(std::string::npos, json.find("News / Lights")) << json;
}

}  // namespace

TEST(WordSizes, OtherDisplayProgramsAgainstThisAgent) {
    if (OtherBuildMissing()) GTEST_SKIP() << "the other word size's build is missing at " << OtherBuild().bin;
    AgentWithDisplayPrograms(ThisBuild(), OtherBuild());
}

TEST(WordSizes, ThisDisplayProgramsAgainstOtherAgent) {
    if (OtherBuildMissing()) GTEST_SKIP() << "the other word size's build is missing at " << OtherBuild().bin;
    AgentWithDisplayPrograms(OtherBuild(), ThisBuild());
}
