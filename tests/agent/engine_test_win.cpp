// Engine.exe end to end under Wine without a notification area.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "agent/resource.h"
#include "agent_process_win.h"
#include "base/scoped_win.h"
#include "shared/names.h"
#include "test_window_win.h"
#include "trace_capture_win.h"

namespace {

// How often a stand-in of that name (in lower case) ran: the agent may spell it in any case.
size_t Runs(const InstallFolder& folder, const std::string& name) {
    std::string log = folder.StandInLog();
    for (char& c : log) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    size_t count = 0;
    for (size_t at = log.find(name); at != std::string::npos; at = log.find(name, at + 1)) count++;
    return count;
}

}  // namespace

// One install folder from its first start to its last close: the cases run
// in this order and each goes on from where the one before left it.
class Engine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        trace_ = new TraceCapture;
        folder_ = new InstallFolder("engine", InstallFolder::kWithoutDatabase);
        folder_->AddStandIn("Glancer.exe");
        folder_->Write(kSettingsFileName, "[Tidewell Settings]\r\nHttpProxyPort=8080abc\r\n");
        ASSERT_EQ(0u, folder_->MakeDatabase(R"({"header": {"StartCount": 41, "Pace": 14}})"));
        folder_->Write("Data\\keep.me", "kept");
    }
    static void TearDownTestSuite() {
        delete agent_;
        delete folder_;
        delete trace_;
    }
    static AgentProcess& Agent() {
        if (!agent_) {
            agent_ = new AgentProcess(*folder_);
            agent_->WaitForEngineWindow();
        }
        return *agent_;
    }

    static inline TraceCapture* trace_ = nullptr;
    static inline InstallFolder* folder_ = nullptr;
    static inline AgentProcess* agent_ = nullptr;
};

TEST_F(Engine, HandsItsCommandLineToTheRunningAgentWhole) {
    ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    // This test plays the running agent and its display program.
    WindowGuard engine{MakeWindowOfClass(kEngineWindowClass, RecordHandedOver)};
    WindowGuard glancer{MakeWindowOfClass(kGlancerWindowClass)};
    for (size_t length : {1, 260, 30000}) {
        std::string line = "C:\\" + std::string(length, 'p') + " \"x\".twl";
        gHandedOver.clear();
        ChildProcess forwarder(folder_->EnginePath(), line);
        EXPECT_EQ(0u, forwarder.Wait(kStartTimeoutMs)) << length;
        EXPECT_EQ(std::vector<std::string>{"0:" + line + '\0'}, gHandedOver) << length;
    }
}

TEST_F(Engine, StartsAtTheStoredPaceAsAMinimisedWindowWithoutATray) {
    HWND window = Agent().window();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(trace_->WaitFor("WinMain(): Start-up complete", Agent().id(), kStartTimeoutMs));
    ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, Agent().id()));
    EXPECT_EQ(static_cast<DWORD>(IDLE_PRIORITY_CLASS), GetPriorityClass(process.get())) << "the stored pace sets it";
    // No notification area under the null driver: a minimised window that stays so.
    EXPECT_TRUE(WaitFor([&] { return IsIconic(window) && IsWindowVisible(window); }, 5000));
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ("Tidewell Agent", title);
    const LONG kFrame = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CHILD;
    EXPECT_EQ(WS_CAPTION | WS_SYSMENU, GetWindowLongA(window, GWL_STYLE) & kFrame);  // the system menu carries the menu
    EXPECT_EQ(0, SendMessageA(window, WM_QUERYOPEN, 0, 0));
    SendMessageA(window, WM_ENDSESSION, FALSE, 0);
}

// By the menu, the caption, the icon and a forwarded command line; raised instead while it is there.
TEST_F(Engine, StartsTheDisplayProgramOnlyWhileItsWindowIsMissing) {
    HWND window = Agent().window();
    const UINT kShowGlancer[][3] = {{WM_SYSCOMMAND, IDM_TICKER, 0},
                                    {WM_NCLBUTTONDBLCLK, HTCAPTION, 0},
                                    {kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK}};
    for (size_t i = 0; i < 3; i++) {
        PostMessageA(window, kShowGlancer[i][0], kShowGlancer[i][1], kShowGlancer[i][2]);
        EXPECT_TRUE(WaitFor([&] { return Runs(*folder_, "glancer.exe") == i + 1; }, 10000)) << i;
    }
    PostMessageA(window, kTrayCallbackMessage, 0, WM_MOUSEMOVE);  // other mouse messages do nothing
    // A quoted path, as the shell passes a name with blanks, loses its quotes.
    ChildProcess quoted(folder_->EnginePath(), "\"C:\\My Feeds\\more.twl\"");
    EXPECT_EQ(0u, quoted.Wait(kStartTimeoutMs));
    EXPECT_TRUE(trace_->WaitFor("WM_COPYDATA subscription file C:\\My Feeds\\more.twl", Agent().id(), 5000));
    EXPECT_TRUE(WaitFor([&] { return Runs(*folder_, "glancer.exe") == 4; }, 10000)) << folder_->StandInLog();

    WindowGuard glancer{MakeWindowOfClass(kGlancerWindowClass)};
    PostMessageA(window, WM_COMMAND, IDM_TICKER, 0);
    EXPECT_FALSE(WaitFor([&] { return Runs(*folder_, "glancer.exe") > 4; }, 2000)) << "started while there";
}

// Two agents would share one database.
TEST_F(Engine, ASecondAgentEndsAtOnce) {
    ChildProcess second(folder_->EnginePath(), "");
    EXPECT_EQ(0u, second.Wait(kStartTimeoutMs));
    EXPECT_TRUE(trace_->WaitFor("WinMain(): Another agent is running: this one ends", second.id(), 5000));
    GlobalBlockView block;
    EXPECT_EQ(Agent().window(), block.EngineWindow());
    EXPECT_EQ(1u, block.header().attachCount) << "the second agent attached";
}

// Every tick republishes the screen-saver probe: the clock runs.
TEST_F(Engine, RepublishesTheScreenSaverEveryTick) {
    ASSERT_NE(nullptr, Agent().window());
    GlobalBlockView block;
    ASSERT_TRUE(block.valid());
    HWND saver = MakeWindowOfClass("WindowsScreenSaverClass");
    EXPECT_TRUE(WaitFor([&] { return block.config().ScreenSaverOn == 1; }, kTickTimeoutMs));
    DestroyWindow(saver);
    EXPECT_TRUE(WaitFor([&] { return block.config().ScreenSaverOn == 0; }, kTickTimeoutMs));
}

// WM_CLOSE (that the display program is asked to close too is interface_literals_test's), the session's end, the
// menu's exit.
TEST_F(Engine, ClosesCleanlyEveryWay) {
    EXPECT_EQ(0u, Agent().Close());
    EXPECT_FALSE(SharedBlockExists());
    for (UINT message : {WM_ENDSESSION, WM_SYSCOMMAND}) {
        AgentProcess again(*folder_);
        ASSERT_TRUE(again.WaitForEngineWindow());
        PostMessageA(again.window(), message, message == WM_ENDSESSION ? TRUE : IDM_EXIT, 0);
        EXPECT_EQ(0u, again.Wait(kExitTimeoutMs)) << message;
    }
}

TEST_F(Engine, StartsAnAgentToHandAPathToWhenNoneRuns) {
    ChildProcess forwarder(folder_->EnginePath(), "C:\\feeds\\first.twl");
    EXPECT_EQ(0u, forwarder.Wait(kStartTimeoutMs));
    HWND started = WaitForWindow(kEngineWindowClass, 0, 5000);
    ASSERT_NE(nullptr, started);
    DWORD agentId = 0;
    GetWindowThreadProcessId(started, &agentId);
    EXPECT_TRUE(trace_->WaitFor("WM_COPYDATA subscription file C:\\feeds\\first.twl", agentId, 5000));
    PostMessageA(started, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([] { return !SharedBlockExists(); }, kExitTimeoutMs));
}

// Each of the four runs saved the database with its start counted and wrote
// back the settings (how each is read and written is registry_test's).
TEST_F(Engine, EveryRunKeptTheDataAndWroteTheSettingsAsRead) {
    EXPECT_EQ("kept", folder_->Read("Data\\keep.me"));
    std::string json = folder_->DumpDatabase();
    EXPECT_NE(std::string::npos, json.find("\"StartCount\": 45")) << json;
    EXPECT_NE(std::string::npos, json.find("\"Title\": \"AdStream\"")) << json;  // made at start-up
    char port[16];
    GetPrivateProfileStringA(kSettingsSection, "HttpProxyPort", "<missing>", port, sizeof port,
                             folder_->File(kSettingsFileName).c_str());
    EXPECT_STREQ("8080", port);
}
