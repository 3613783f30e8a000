// Engine.exe end to end under Wine without a notification area: start-up,
// the clock, the settings file, the hand-over of a command line, the repair
// path and untrusted messages.
#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "agent/resource.h"
#include "agent_process_win.h"
#include "base/strutil.h"
#include "shared/deployment.h"
#include "shared/names.h"
#include "shared/window_handle_win.h"
#include "test_window_win.h"
#include "trace_capture_win.h"

namespace {

constexpr uint32_t kSentinel = 0xFFFFFFFF;

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
        ASSERT_EQ(nullptr, FindWindowA(kEngineWindowClass, nullptr)) << "an agent is left over from elsewhere";
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << "agent trace:\n" << trace_.Dump();
    }

    std::string SettingsValue(const InstallFolder& folder, const char* key) {
        char value[300];
        GetPrivateProfileStringA(kSettingsSection, key, "<missing>", value, sizeof value,
                                 folder.File(kSettingsFileName).c_str());
        return value;
    }

    TraceCapture trace_;
};

// The program name a stand-in noted first.
std::string FirstWord(const std::string& log) {
    return log.substr(0, log.find(' '));
}

}  // namespace

TEST_F(EngineTest, StartsMinimisedTicksAndClosesCleanly) {
    InstallFolder folder("engine-normal");
    folder.Write(kSettingsFileName, "");
    AgentProcess agent(folder);
    HWND window = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, window);
    char title[64];
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ("Tidewell Agent", title);
    // No notification area under the null driver: a minimised window instead.
    EXPECT_TRUE(WaitFor([&] { return IsIconic(window) && IsWindowVisible(window); }, 5000));
    EXPECT_TRUE(folder.Exists("Data"));
    EXPECT_TRUE(trace_.WaitFor(std::string("news host ") + kNewsHost, agent.id(), 5000));

    {
        GlobalBlockView block;
        ASSERT_TRUE(block.valid());
        CConfigData& cfg = block.config();
        EXPECT_EQ(1u, block.header().attachCount);
        EXPECT_EQ(0u, block.header().recordSize);
        EXPECT_EQ(HwndToWord(window), cfg.EngineWindow);
        EXPECT_EQ(folder.path(), cfg.InstallDir);
        EXPECT_EQ(folder.File("Data"), cfg.DataDir);
        EXPECT_EQ(0u, cfg.TrayPresent);
        EXPECT_EQ(2u, cfg.OsPlatformId);
        EXPECT_EQ(kNoWindow, cfg.DisplayWindow);

        // Every tick rewrites the screen-saver word: proof that the clock runs.
        cfg.ScreenSaverOn = kSentinel;
        EXPECT_TRUE(WaitFor([&] { return cfg.ScreenSaverOn == 0; }, kTickTimeoutMs));
        HWND saver = MakeWindowOfClass("WindowsScreenSaverClass");
        EXPECT_TRUE(WaitFor([&] { return cfg.ScreenSaverOn == 1; }, kTickTimeoutMs));
        DestroyWindow(saver);
        EXPECT_TRUE(WaitFor([&] { return cfg.ScreenSaverOn == 0; }, kTickTimeoutMs));
    }

    EXPECT_EQ(0u, agent.Close());
    EXPECT_FALSE(SharedBlockExists());
    EXPECT_TRUE(trace_.Contains("CConfigData::~CConfigData()", agent.id()));
    const char* keys[][2] = {
        {"HttpProxyEnabled", "0"}, {"HttpProxy", ""},    {"HttpProxyPort", "0"}, {"BrowserPath", ""},
        {"BrowserDdeService", ""}, {"EdgeDockedOn", "1"}, {"AlwaysOnTop", "0"},  {"AutoHide", "0"},
        {"MsgExpire", "0"},        {"MsgPurge", "0"},
    };
    for (auto& key : keys) EXPECT_EQ(key[1], SettingsValue(folder, key[0])) << key[0];
}

TEST_F(EngineTest, WindowStaysMinimisedAndEndsWithTheSession) {
    InstallFolder folder("engine-window");
    AgentProcess agent(folder);
    HWND window = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(WaitFor([&] { return IsIconic(window) != 0; }, 5000));
    // It refuses to be restored, and WM_ENDSESSION without an ending changes nothing.
    EXPECT_EQ(0, SendMessageA(window, WM_QUERYOPEN, 0, 0));
    EXPECT_EQ(0, SendMessageA(window, WM_ENDSESSION, FALSE, 0));
    PumpMessages(300);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsIconic(window));

    // Windows ending the session closes the agent like the user would.
    SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(0u, agent.Wait(kExitTimeoutMs));
    EXPECT_EQ("1", SettingsValue(folder, "EdgeDockedOn"));
}

TEST_F(EngineTest, TickerCommandsStartOrRaiseTheDisplayProgram) {
    InstallFolder folder("engine-ticker");
    folder.AddStandIn("Glancer.exe");
    AgentProcess agent(folder);
    HWND window = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, window);
    auto started = [&] {
        std::string log = folder.StandInLog();
        size_t count = 0;
        for (size_t at = log.find("Glancer.exe"); at != std::string::npos; at = log.find("Glancer.exe", at + 1)) count++;
        return count;
    };

    // Without a notification area the menu's commands come as system commands.
    PostMessageA(window, WM_SYSCOMMAND, IDM_TICKER, 0);
    EXPECT_TRUE(WaitFor([&] { return started() == 1; }, 10000)) << folder.StandInLog();
    // A double-click on the minimised window's caption does the same.
    PostMessageA(window, WM_NCLBUTTONDBLCLK, HTCAPTION, 0);
    EXPECT_TRUE(WaitFor([&] { return started() == 2; }, 10000)) << folder.StandInLog();
    PostMessageA(window, kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitFor([&] { return started() == 3; }, 10000)) << folder.StandInLog();
    PostMessageA(window, kTrayCallbackMessage, 0, WM_MOUSEMOVE);  // other mouse messages do nothing

    // With the display program running, it is raised and nothing is started.
    HWND glancer = MakeWindowOfClass(kGlancerWindowClass);
    PostMessageA(window, WM_COMMAND, IDM_TICKER, 0);
    PumpMessages(1000);
    EXPECT_EQ(3u, started());
    DestroyWindow(glancer);

    // The exit command closes the agent.
    PostMessageA(window, WM_SYSCOMMAND, IDM_EXIT, 0);
    EXPECT_EQ(0u, agent.Wait(kExitTimeoutMs));
}

TEST_F(EngineTest, BadSettingsAreReadSafelyAndWrittenBackNormalised) {
    InstallFolder folder("engine-settings");
    folder.Write(kSettingsFileName, "garbage line\r\n[Tidewell Settings]\r\nEdgeDockedOn=-1\r\nHttpProxyPort=8080abc\r\n"
                                    "HttpProxyEnabled=1\r\nBrowserDdeService=" + std::string(500, 'd') +
                                        "\r\nMsgPurge=-1\r\n\x01\x02\x03=\r\n");
    AgentProcess agent(folder);
    ASSERT_TRUE(agent.WaitForEngineWindow());
    {
        GlobalBlockView block;
        ASSERT_TRUE(block.valid());
        EXPECT_EQ(1, block.config().EdgeDockedOn);
        EXPECT_EQ(8080, block.config().HttpProxyPort);
        EXPECT_EQ(1, block.config().HttpProxyEnabled);
        EXPECT_EQ(-1, block.config().MsgPurge);
        EXPECT_EQ(std::string(100, 'd'), block.config().BrowserDdeService);
    }
    EXPECT_EQ(0u, agent.Close());
    EXPECT_EQ("1", SettingsValue(folder, "EdgeDockedOn"));
    EXPECT_EQ("8080", SettingsValue(folder, "HttpProxyPort"));
    EXPECT_EQ("-1", SettingsValue(folder, "MsgPurge"));
    EXPECT_EQ(std::string(100, 'd'), SettingsValue(folder, "BrowserDdeService"));
}

TEST_F(EngineTest, DataDirectoryIsMadeOnceAndKept) {
    InstallFolder folder("engine-datadir", InstallFolder::kWithoutDatabase);
    EXPECT_FALSE(folder.Exists("Data"));
    {
        AgentProcess first(folder);  // no database yet: the repair path, but the directory is made
        EXPECT_EQ(3u, first.Wait(kStartTimeoutMs));
        EXPECT_TRUE(folder.Exists("Data"));
    }
    folder.Write("Data\\keep.me", "kept");
    ASSERT_EQ(0u, folder.MakeDatabase());
    AgentProcess second(folder);
    ASSERT_TRUE(second.WaitForEngineWindow());
    EXPECT_EQ(0u, second.Close());
    EXPECT_EQ("kept", folder.Read("Data\\keep.me"));
}

TEST_F(EngineTest, DatabaseIsLoadedAndWrittenBackWithTheStartCounted) {
    InstallFolder folder("engine-database", InstallFolder::kWithoutDatabase);
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"header": {"StartCount": 41, "AccountId": "acct-7", "Pace": 14},
        "topics": [{"ridTopic": 7, "Title": "News / World", "ConfigUrl": "http://127.0.0.1:1/world.twl",
                    "messages": [{"ridTopic": 7, "ridMsg": 56, "Title": "Rain"}, {"ridTopic": 7, "ridMsg": 57, "Title": "Sun"}]},
                   {"Title": "Sport / Chess", "bActive": 0}]})"));
    AgentProcess agent(folder);
    ASSERT_TRUE(agent.WaitForEngineWindow());
    EXPECT_TRUE(trace_.WaitFor("TopicArray: Size=3 MaxAvail=97", agent.id(), 5000));
    EXPECT_TRUE(trace_.Contains("ridTopic=0, lpszTitle=News / World, bActive=True, ridLastMst=57", agent.id()));
    EXPECT_TRUE(trace_.Contains("ridTopic=1, lpszTitle=Sport / Chess, bActive=False, ridLastMst=0", agent.id()));
    EXPECT_TRUE(trace_.Contains("ridTopic=2, lpszTitle=AdStream, bActive=True, ridLastMst=0", agent.id()));
    EXPECT_TRUE(trace_.Contains("ridTopic=0, ridMsg=57, lpszTitle=Sun", agent.id()));
    {
        GlobalBlockView block;
        ASSERT_TRUE(block.valid());
        EXPECT_EQ(42u, block.config().StartCount);
        EXPECT_STREQ("acct-7", block.config().AccountId);
        EXPECT_EQ(14, block.config().Pace);
        EXPECT_EQ(2u, block.config().AdTopicId);
    }
    EXPECT_EQ(0u, agent.Close());

    std::string json = folder.DumpDatabase();
    EXPECT_NE(std::string::npos, json.find("\"StartCount\": 42")) << json;
    EXPECT_NE(std::string::npos, json.find("{\"ridTopic\": 0, \"ridLastMsg\": 57")) << json;  // renumbered
    EXPECT_NE(std::string::npos, json.find("{\"ridTopic\": 0, \"ridMsg\": 57")) << json;
    EXPECT_NE(std::string::npos, json.find("\"Title\": \"AdStream\"")) << json;
    EXPECT_NE(std::string::npos, json.find("\"dwInterval\": 360")) << json;
    EXPECT_FALSE(folder.Exists("Data\\Msg.dat.new"));
}

TEST_F(EngineTest, MissingOrDamagedDatabaseStartsTheRepairInstaller) {
    struct Case {
        const char* name;
        std::string bytes;  // empty: no file at all
    } cases[] = {
        {"missing", ""},
        {"garbage", std::string(5000, '\x7f')},
        {"cut short", std::string(4768, '\0')},
    };
    for (const Case& c : cases) {
        InstallFolder folder("engine-repair-db", InstallFolder::kWithoutDatabase);
        folder.AddStandIn("install.exe");
        CreateDirectoryA(folder.File("Data").c_str(), nullptr);
        if (!c.bytes.empty()) folder.Write("Data\\Msg.dat", c.bytes);
        AgentProcess agent(folder);
        EXPECT_EQ(3u, agent.Wait(kStartTimeoutMs)) << c.name;  // no message box held it up
        EXPECT_TRUE(trace_.Contains("WinMain(): Exception Database::Init() Failed", agent.id())) << c.name;
        EXPECT_TRUE(WaitFor([&] { return folder.StandInLog().find("install.exe") != std::string::npos; }, 10000))
            << c.name;
        if (!c.bytes.empty()) {
            EXPECT_EQ(c.bytes, folder.Read("Data\\Msg.dat")) << c.name;  // left as it was for the repair
        }
        GlobalBlockView block;
        EXPECT_FALSE(block.valid()) << c.name << ": the teardown released the shared block";
    }
}

TEST_F(EngineTest, CommandLineIsHandedToTheRunningAgent) {
    InstallFolder folder("engine-forward");
    folder.AddStandIn("Glancer.exe");
    AgentProcess agent(folder);
    ASSERT_TRUE(agent.WaitForEngineWindow());

    ChildProcess forwarder(folder.EnginePath(), "C:\\feeds\\news.twl");
    EXPECT_EQ(0u, forwarder.Wait(kStartTimeoutMs));
    EXPECT_TRUE(trace_.WaitFor("WM_COPYDATA subscription file C:\\feeds\\news.twl", agent.id(), 5000));
    // No display program was running, so the one beside the agent was started.
    EXPECT_TRUE(WaitFor([&] { return StrEndsWithNoCase(FirstWord(folder.StandInLog()).c_str(), "glancer.exe"); }, 10000))
        << folder.StandInLog();

    // With a display program running, none is started.
    HWND glancer = MakeWindowOfClass(kGlancerWindowClass);
    std::string before = folder.StandInLog();
    ChildProcess again(folder.EnginePath(), "\"C:\\My Feeds\\more.twl\"");
    EXPECT_EQ(0u, again.Wait(kStartTimeoutMs));
    // A quoted path, as the shell passes a file name with blanks, loses its quotes.
    EXPECT_TRUE(trace_.WaitFor("WM_COPYDATA subscription file C:\\My Feeds\\more.twl", agent.id(), 5000));
    PumpMessages(500);
    EXPECT_EQ(before, folder.StandInLog());

    // The agent asks its display program to close when it exits.
    EXPECT_EQ(0u, agent.Close());
    EXPECT_FALSE(IsWindow(glancer));
}

TEST_F(EngineTest, CommandLineStartsAnAgentWhenNoneRuns) {
    InstallFolder folder("engine-forward-start");
    ChildProcess forwarder(folder.EnginePath(), "C:\\feeds\\first.twl");
    EXPECT_EQ(0u, forwarder.Wait(kStartTimeoutMs));
    HWND window = WaitForWindow(kEngineWindowClass, 0, 5000);
    ASSERT_NE(nullptr, window);
    DWORD agentId = 0;
    GetWindowThreadProcessId(window, &agentId);
    EXPECT_NE(forwarder.id(), agentId);  // the forwarder ended; another process is the agent
    EXPECT_TRUE(trace_.WaitFor("WM_COPYDATA subscription file C:\\feeds\\first.twl", agentId, 5000));

    HANDLE started = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, agentId);
    ASSERT_NE(nullptr, started);
    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return WaitForSingleObject(started, 0) == WAIT_OBJECT_0; }, kExitTimeoutMs));
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(started, &exitCode);
    EXPECT_EQ(0u, exitCode);
    CloseHandle(started);
}

namespace {

struct Received {
    ULONG_PTR dataWord = 99;
    std::vector<char> bytes;
    int count = 0;
} gReceived;

LRESULT CALLBACK StandInEngineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        gReceived.dataWord = data->dwData;
        const char* bytes = static_cast<const char*>(data->lpData);
        gReceived.bytes.assign(bytes, bytes + data->cbData);
        gReceived.count++;
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

TEST_F(EngineTest, HandedOverBytesAreTheWholeLineAndItsTerminator) {
    // This test plays the running agent, so it sees exactly what arrives.
    HWND engine = MakeWindowOfClass(kEngineWindowClass, StandInEngineProc);
    HWND glancer = MakeWindowOfClass(kGlancerWindowClass);
    InstallFolder folder("engine-forward-bytes");
    for (size_t length : {size_t{1}, size_t{260}, size_t{30000}}) {
        std::string line = "C:\\" + std::string(length, 'p') + " \"x\".twl";
        gReceived = Received();
        ChildProcess forwarder(folder.EnginePath(), line);
        EXPECT_TRUE(WaitFor([&] { return !forwarder.Running(); }, kStartTimeoutMs));
        EXPECT_EQ(0u, forwarder.Wait(0)) << "length " << length;
        ASSERT_EQ(1, gReceived.count) << "length " << length;
        EXPECT_EQ(0u, gReceived.dataWord);
        ASSERT_EQ(line.size() + 1, gReceived.bytes.size());
        EXPECT_EQ(line, std::string(gReceived.bytes.data()));
    }
    DestroyWindow(glancer);
    DestroyWindow(engine);
}

TEST_F(EngineTest, UnusableSharedBlockStartsTheRepairInstaller) {
    InstallFolder folder("engine-repair");
    folder.AddStandIn("install.exe");
    HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, kGlobalMappingName);
    ASSERT_NE(nullptr, squatter);
    AgentProcess agent(folder);
    EXPECT_EQ(3u, agent.Wait(kStartTimeoutMs));  // no message box held it up
    CloseHandle(squatter);
    EXPECT_TRUE(trace_.Contains("GlobalInit(): Fatal Error - Could not attach to shared memory", agent.id()));
    EXPECT_TRUE(trace_.Contains("WinMain(): Exception CommonInit() Failed", agent.id()));
    EXPECT_TRUE(WaitFor([&] { return folder.StandInLog().find("install.exe") != std::string::npos; }, 10000));
    EXPECT_EQ(nullptr, FindWindowA(kEngineWindowClass, nullptr));
}

TEST_F(EngineTest, UntrustedCopyDataIsIgnoredAndTheAgentGoesOn) {
    InstallFolder folder("engine-copydata");
    AgentProcess agent(folder);
    HWND window = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, window);
    char unterminated[64];
    memset(unterminated, 'x', sizeof unterminated);
    char empty[] = "";
    COPYDATASTRUCT cases[] = {
        {0, sizeof unterminated, unterminated},
        {0, sizeof empty, empty},
        {0, 0, nullptr},
    };
    for (COPYDATASTRUCT& data : cases) {
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000,
                                        &result));
    }
    EXPECT_TRUE(trace_.WaitFor("WM_COPYDATA ignored", agent.id(), 5000));
    EXPECT_FALSE(trace_.Contains("WM_COPYDATA subscription file", agent.id()));
    {
        GlobalBlockView block;
        ASSERT_TRUE(block.valid());
        block.config().ScreenSaverOn = kSentinel;
        EXPECT_TRUE(WaitFor([&] { return block.config().ScreenSaverOn == 0; }, kTickTimeoutMs));
    }
    EXPECT_EQ(0u, agent.Close());
}
