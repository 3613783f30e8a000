// The preferences dialog with a real agent and a scripted stand-in CONFIG.DLL.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "agent/resource.h"
#include "agent_process_win.h"
#include "shared/messages_win.h"
#include "shared/window_handle_win.h"
#include "test_window_win.h"
#include "trace_capture_win.h"

TEST(Preferences, OneAgentThroughEveryKindOfDialog) {
    TraceCapture trace;
    ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    InstallFolder folder("preferences", InstallFolder::kWithoutDatabase);
    folder.Write("Tidewell.ini",
                 "[Tidewell Settings]\r\nBrowserPath=C:\\X\\iexplore.exe\r\nBrowserDdeService=KEEP\r\n");
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"topics": [{"Title": "News / A"},
        {"dwType": 3, "Title": "Stocks / Quotes",
         "messages": [{"ridMsg": 4, "Title": "BBB;1;2"}, {"ridMsg": 9, "Title": "DDD;3;4"}]},
        {"Title": "News / B", "bActive": 0}]})"));
    AgentProcess agent(folder);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, engine);
    GlobalBlockView block;
    CConfigData& cfg = block.config();
    auto dialog = [&](const std::string& script) {
        folder.Write("config-script.txt", script);
        SendMessageA(engine, gMessages.configDlg, 0, 0);
    };
    auto calls = [&] {
        std::string log = folder.Exists("config-calls.log") ? folder.Read("config-calls.log") : "";
        return std::count(log.begin(), log.end(), '\n');
    };

    // Without the library, or without its export, the request is only traced.
    dialog("accept=1\n");
    EXPECT_TRUE(trace.WaitFor("ConfigDialog(): Exception Caught: Could not load CONFIG.DLL", agent.id(), 5000));
    CopyProgram(folder.path(), "standin.exe", "CONFIG.DLL");  // a program: it loads, but exports nothing
    dialog("accept=1\n");
    EXPECT_TRUE(trace.WaitFor("ConfigDialog(): Exception Caught: GetProcAddress() Failed", agent.id(), 5000));
    CopyProgram(folder.path(), "config_standin.dll", "CONFIG.DLL");  // the library is freed after each try

    // Cancelled: nothing changes, nothing is saved.
    std::string saved = folder.Read("Data\\Msg.dat");
    CConfigData before = cfg;
    dialog("proxy=nowhere\npace=16\nactive0=0\nsymbols=ZZZ\naccept=0\n");
    EXPECT_EQ(1, calls());
    EXPECT_EQ(0, memcmp(&before, &cfg, sizeof before));
    EXPECT_EQ(saved, folder.Read("Data\\Msg.dat"));

    // The same browser in other case changes nothing. Without a display window
    // (none, or the broadcast handle) no window hears of the display settings.
    WindowGuard display{MakeWindowOfClass("Tidewell test display", RecordHandedOver)};
    cfg.DisplayWindow = 0;
    dialog("browser=c:\\x\\IEXPLORE.EXE\nsettings=5\naccept=1\n");
    EXPECT_STREQ("C:\\X\\iexplore.exe", cfg.BrowserPath);
    EXPECT_STREQ("KEEP", cfg.BrowserDdeService);
    EXPECT_EQ(5, cfg.DisplaySettings[387]);
    cfg.DisplayWindow = kNoWindow;
    dialog("browser=C:\\Other\\browse.exe\nsettings=6\naccept=1\n");
    EXPECT_STREQ("IEXPLORE", cfg.BrowserDdeService);
    EXPECT_EQ(6, cfg.DisplaySettings[0]);
    EXPECT_EQ(std::vector<std::string>{}, gHandedOver);

    // Confirmed with a display program running: every change applied and handed on.
    cfg.DisplayWindow = HwndToWord(display.window);
    dialog(
        "proxy=proxy.test\nport=3128\nenabled=1\nbrowser=C:\\Apps\\Netscape\\netscape.exe\npace=14\n"
        "preference=3\nsymbols=AAA,BBB\nactive0=0\nactive3=0\nsettings=7\naccept=1\n");
    EXPECT_EQ(
        "topicCount=4\ntopic0=0|News / A|1|1\ntopic1=1|Stocks / Quotes|1|3\ntopic2=2|News / B|0|1\n"
        "topic3=3|AdStream|1|4\nsymbols=BBB,DDD\nproxy=\nport=0\nenabled=0\nbrowser=C:\\Other\\browse.exe\n"
        "install=" +
            folder.path() + "\npace=1\npreference=1\nsettings0=6\n",
        folder.Read("config-received.txt"));
    EXPECT_EQ("proxy.test:3128 on 1, C:\\Apps\\Netscape\\netscape.exe as NETSCAPE, pace 14, preference 3",
              std::string(cfg.HttpProxy) + ":" + std::to_string(cfg.HttpProxyPort) + " on " +
                  std::to_string(cfg.HttpProxyEnabled) + ", " + cfg.BrowserPath + " as " + cfg.BrowserDdeService +
                  ", pace " + std::to_string(cfg.Pace) + ", preference " + std::to_string(cfg.DisplayPreference));
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, agent.id());
    EXPECT_EQ(static_cast<DWORD>(IDLE_PRIORITY_CLASS), GetPriorityClass(process));  // the priority follows the pace
    CloseHandle(process);
    EXPECT_EQ((std::vector<std::string>{"1:" + std::string(388, '\7'), "configupdate"}), gHandedOver);
    // The database was saved with the switches and the rebuilt quote topic.
    std::string json = folder.DumpDatabase();
    for (const char* pattern : {R"("bActive": 0,[^}]*"Title": "News / A")", R"("bActive": 0,[^}]*"Title": "AdStream")",
                                R"("ridMsg": 4,[^}]*"Title": "BBB;1;2")", R"("ridMsg": 10,[^}]*"Title": "AAA;0;0")"})
        EXPECT_TRUE(std::regex_search(json, std::regex(pattern))) << pattern << "\n" << json;
    EXPECT_EQ(std::string::npos, json.find("DDD")) << json;
    EXPECT_NE(std::string::npos, json.find("quotes.csv?s=BBB+AAA&f=sl1d1t1c1ohgv&e=.csv")) << json;

    // One dialog at a time (this one from the menu), and the clock ticks on inside it.
    folder.Write("config-script.txt", "waitMs=3000\naccept=0\n");
    PostMessageA(engine, WM_COMMAND, IDM_PREFERENCES, 0);
    ASSERT_TRUE(WaitFor([&] { return calls() == 5; }, 5000));
    PostMessageA(engine, gMessages.configDlg, 0, 0);
    cfg.ScreenSaverOn = 0xFFFFFFFF;
    EXPECT_TRUE(WaitFor([&] { return cfg.ScreenSaverOn != 0xFFFFFFFF; }, kTickTimeoutMs));
    PumpMessages(3000);
    EXPECT_EQ(5, calls());

    dialog("symbolCount=4000000000\naccept=1\n");  // a count beyond the slots is bounded
    EXPECT_EQ(6, calls());
    EXPECT_EQ(0u, agent.Close());
}
