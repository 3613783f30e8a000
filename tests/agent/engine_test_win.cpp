// Engine.exe end to end under Wine without a notification area: the repair
// path, start-up, the clock, the settings file, the window's commands, the
// hand-over of a command line, untrusted messages and the ways to close.
#include <gtest/gtest.h>

#include <cctype>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "agent/resource.h"
#include "agent_process_win.h"
#include "shared/names.h"
#include "test_window_win.h"
#include "trace_capture_win.h"

namespace {

// How often a stand-in of that name (in lower case) ran from the folder; the
// agent may spell it in any case.
size_t Runs(const InstallFolder& folder, const std::string& name) {
    std::string log = folder.StandInLog();
    for (char& c : log) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    size_t count = 0;
    for (size_t at = log.find(name); at != std::string::npos; at = log.find(name, at + 1)) count++;
    return count;
}

// Each WM_COPYDATA a window of this test was handed: the data word, ":", the bytes.
std::vector<std::string> gHandedOver;

LRESULT CALLBACK RecordCopyData(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcA(window, message, wParam, lParam);
    auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    gHandedOver.push_back(std::to_string(data->dwData) + ":" +
                          std::string(static_cast<const char*>(data->lpData), data->cbData));
    return 1;
}

}  // namespace

// One install folder from its first start to its last close.
TEST(Engine, RepairsRunsServesItsCommandsAndClosesCleanly) {
    ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    TraceCapture trace_;
    InstallFolder folder("engine", InstallFolder::kWithoutDatabase);
    {
        // Before any agent runs, the test plays the running agent and its
        // display program, to see exactly what a second start hands over.
        WindowGuard engine{MakeWindowOfClass(kEngineWindowClass, RecordCopyData)};
        WindowGuard glancer{MakeWindowOfClass(kGlancerWindowClass)};
        for (size_t length : {1, 260, 30000}) {
            std::string line = "C:\\" + std::string(length, 'p') + " \"x\".twl";
            gHandedOver.clear();
            ChildProcess forwarder(folder.EnginePath(), line);
            EXPECT_EQ(0u, forwarder.Wait(kStartTimeoutMs)) << length;
            EXPECT_EQ(std::vector<std::string>{"0:" + line + '\0'}, gHandedOver) << length;
        }
    }
    folder.AddStandIn("install.exe");
    folder.AddStandIn("Glancer.exe");
    folder.Write(kSettingsFileName, "garbage line\r\n[Tidewell Settings]\r\nEdgeDockedOn=-1\r\nHttpProxyPort=8080abc\r\n"
                                    "BrowserDdeService=" + std::string(500, 'd') + "\r\nMsgPurge=-1\r\n\x01\x02\x03=\r\n");

    // Exit code 3 and the repair installer, with no message box to hold it
    // up: first the block's name taken by another kind of object, then no
    // database (the data directory is made on the way).
    const char* kRaised[] = {"CommonInit() Failed", "Database::Init() Failed"};
    for (size_t run = 1; run <= 2; run++) {
        HANDLE squatter = run == 1 ? CreateEventA(nullptr, TRUE, FALSE, kGlobalMappingName) : nullptr;
        AgentProcess agent(folder);
        EXPECT_EQ(3u, agent.Wait(kStartTimeoutMs)) << run;
        if (squatter) CloseHandle(squatter);
        EXPECT_TRUE(trace_.Contains(std::string("WinMain(): Exception ") + kRaised[run - 1], agent.id())) << run;
        EXPECT_TRUE(WaitFor([&] { return Runs(folder, "install.exe") == run; }, 10000)) << run;
        EXPECT_FALSE(SharedBlockExists()) << run;
    }
    ASSERT_TRUE(folder.Exists("Data"));
    folder.Write("Data\\keep.me", "kept");
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"header": {"StartCount": 41, "Pace": 14}})"));

    AgentProcess agent(folder);
    HWND window = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(trace_.WaitFor("WinMain(): Start-up complete", agent.id(), kStartTimeoutMs));
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, agent.id());
    EXPECT_EQ(static_cast<DWORD>(IDLE_PRIORITY_CLASS), GetPriorityClass(process)) << "the stored pace sets it";
    CloseHandle(process);
    // No notification area under the null driver: a minimised window that
    // refuses to be restored, and stays while the session goes on.
    EXPECT_TRUE(WaitFor([&] { return IsIconic(window) && IsWindowVisible(window); }, 5000));
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ("Tidewell Agent", title);
    const LONG kFrame = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CHILD;
    EXPECT_EQ(WS_CAPTION | WS_SYSMENU, GetWindowLongA(window, GWL_STYLE) & kFrame);  // the system menu carries the menu
    EXPECT_EQ(0, SendMessageA(window, WM_QUERYOPEN, 0, 0));
    SendMessageA(window, WM_ENDSESSION, FALSE, 0);

    // The display program is started while its window is missing: by the
    // menu's command (a system command without a notification area), a
    // double-click on the minimised caption or on the icon, and by a
    // forwarded command line (from the path beside the agent).
    const UINT kShowGlancer[][3] = {{WM_SYSCOMMAND, IDM_TICKER, 0}, {WM_NCLBUTTONDBLCLK, HTCAPTION, 0},
                                    {kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK}};
    for (size_t i = 0; i < 3; i++) {
        PostMessageA(window, kShowGlancer[i][0], kShowGlancer[i][1], kShowGlancer[i][2]);
        EXPECT_TRUE(WaitFor([&] { return Runs(folder, "glancer.exe") == i + 1; }, 10000)) << i;
    }
    PostMessageA(window, kTrayCallbackMessage, 0, WM_MOUSEMOVE);  // other mouse messages do nothing
    ChildProcess handing(folder.EnginePath(), "C:\\feeds\\news.twl");
    EXPECT_EQ(0u, handing.Wait(kStartTimeoutMs));
    EXPECT_TRUE(trace_.WaitFor("WM_COPYDATA subscription file C:\\feeds\\news.twl", agent.id(), 5000));
    EXPECT_TRUE(WaitFor([&] { return Runs(folder, "glancer.exe") == 4; }, 10000)) << folder.StandInLog();

    // With its window there it is raised instead; a quoted path, as the
    // shell passes a name with blanks, loses its quotes.
    HWND glancer = MakeWindowOfClass(kGlancerWindowClass);
    PostMessageA(window, WM_COMMAND, IDM_TICKER, 0);
    ChildProcess quoted(folder.EnginePath(), "\"C:\\My Feeds\\more.twl\"");
    EXPECT_EQ(0u, quoted.Wait(kStartTimeoutMs));
    EXPECT_TRUE(trace_.WaitFor("WM_COPYDATA subscription file C:\\My Feeds\\more.twl", agent.id(), 5000));

    // A second start without a command line ends at once while this agent
    // answers, before it touches the shared record: two agents would share
    // one database.
    ChildProcess second(folder.EnginePath(), "");
    EXPECT_EQ(0u, second.Wait(kStartTimeoutMs));
    EXPECT_TRUE(trace_.WaitFor("WinMain(): Another agent is running: this one ends", second.id(), 5000));
    EXPECT_EQ(window, GlobalBlockView().EngineWindow());

    // Untrusted WM_COPYDATA: the terminator beyond what was sent, an empty
    // text, no data at all, another data word. Each is only traced.
    char path[] = "C:\\feeds\\other.twl";
    COPYDATASTRUCT untrusted[] = {
        {0, 3, path}, {0, 1, path + sizeof path - 1}, {0, 0, nullptr}, {1, sizeof path, path}};
    for (COPYDATASTRUCT& data : untrusted) {
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000,
                                        &result));
    }
    EXPECT_TRUE(WaitFor([&] { return trace_.Count("WM_COPYDATA ignored", agent.id()) == 4; }, 5000));
    EXPECT_FALSE(trace_.Contains("other.twl", agent.id()));

    {
        // Every tick republishes the screen-saver probe: the clock still runs.
        GlobalBlockView block;
        ASSERT_TRUE(block.valid());
        HWND saver = MakeWindowOfClass("WindowsScreenSaverClass");
        EXPECT_TRUE(WaitFor([&] { return block.config().ScreenSaverOn == 1; }, kTickTimeoutMs));
        DestroyWindow(saver);
        EXPECT_TRUE(WaitFor([&] { return block.config().ScreenSaverOn == 0; }, kTickTimeoutMs));
    }
    EXPECT_EQ(4u, Runs(folder, "glancer.exe"));  // none started while its window was there
    EXPECT_EQ(0u, agent.Close());  // WM_CLOSE, as the user closes it
    EXPECT_FALSE(IsWindow(glancer)) << "the display program was not asked to close";
    EXPECT_FALSE(SharedBlockExists());

    // Windows ending the session, and the menu's exit command, close it the same way.
    for (UINT message : {WM_ENDSESSION, WM_SYSCOMMAND}) {
        AgentProcess again(folder);
        ASSERT_TRUE(again.WaitForEngineWindow());
        PostMessageA(again.window(), message, message == WM_ENDSESSION ? TRUE : IDM_EXIT, 0);
        EXPECT_EQ(0u, again.Wait(kExitTimeoutMs)) << message;
    }

    // With no agent running, a start with a path starts one and hands the path to it.
    ChildProcess forwarder(folder.EnginePath(), "C:\\feeds\\first.twl");
    EXPECT_EQ(0u, forwarder.Wait(kStartTimeoutMs));
    HWND started = WaitForWindow(kEngineWindowClass, 0, 5000);
    ASSERT_NE(nullptr, started);
    DWORD agentId = 0;
    GetWindowThreadProcessId(started, &agentId);
    EXPECT_TRUE(trace_.WaitFor("WM_COPYDATA subscription file C:\\feeds\\first.twl", agentId, 5000));
    PostMessageA(started, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([] { return !SharedBlockExists(); }, kExitTimeoutMs));

    // Each of the four runs saved the database with its start counted and
    // wrote back all ten settings as it read them: outside 0..3 the edge reads
    // as 1, numbers as atol, texts cut to their fields. The data directory
    // kept what it held.
    EXPECT_EQ("kept", folder.Read("Data\\keep.me"));
    std::string json = folder.DumpDatabase();
    EXPECT_NE(std::string::npos, json.find("\"StartCount\": 45")) << json;
    EXPECT_NE(std::string::npos, json.find("\"Title\": \"AdStream\"")) << json;  // made at start-up
    const std::pair<const char*, std::string> kSettings[] = {
        {"HttpProxyEnabled", "0"}, {"HttpProxy", ""},   {"HttpProxyPort", "8080"}, {"BrowserPath", ""},
        {"BrowserDdeService", std::string(100, 'd')},   {"EdgeDockedOn", "1"},     {"AlwaysOnTop", "0"},
        {"AutoHide", "0"},         {"MsgExpire", "0"},  {"MsgPurge", "-1"}};
    for (const auto& [key, expected] : kSettings) {
        char value[300];
        GetPrivateProfileStringA(kSettingsSection, key, "<missing>", value, sizeof value,
                                 folder.File(kSettingsFileName).c_str());
        EXPECT_EQ(expected, value) << key;
    }
    if (HasFailure()) std::cerr << "agent trace:\n" << trace_.Dump();
}
