// The preferences dialog with a real agent and a stand-in CONFIG.DLL that
// confirms or cancels as its script says.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "agent/resource.h"
#include "agent_process_win.h"
#include "shared/messages_win.h"
#include "shared/window_handle_win.h"
#include "test_window_win.h"
#include "trace_capture_win.h"

namespace {

const char kDatabase[] = R"({"topics": [
  {"Title": "News / A"},
  {"dwType": 3, "Title": "Stocks / Quotes",
   "messages": [{"ridMsg": 4, "Title": "BBB;1;2"}, {"ridMsg": 9, "Title": "DDD;3;4"}]},
  {"Title": "News / B", "bActive": 0}
]})";

// The display program's window: notes the settings it is handed.
struct DisplayWindowLog {
    std::vector<std::string> events;
    std::string settings;
    WPARAM sender = 0;
} gDisplay;

LRESULT CALLBACK DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        gDisplay.events.push_back("copydata " + std::to_string(data->dwData) + " " + std::to_string(data->cbData));
        gDisplay.settings.assign(static_cast<const char*>(data->lpData), data->cbData);
        gDisplay.sender = wParam;
        return 1;
    }
    if (message == gMessages.configUpdate) gDisplay.events.push_back("configupdate");
    return DefWindowProcA(window, message, wParam, lParam);
}

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
        gDisplay = DisplayWindowLog();
    }
    void TearDown() override {
        if (agent_) {
            EXPECT_EQ(0u, agent_->Close());
        }
        if (HasFailure()) std::cerr << "agent trace:\n" << trace_.Dump();
    }

    void Start(const char* library = "config_dll.dll") {
        ASSERT_EQ(0u, folder_.MakeDatabase(kDatabase));
        if (library) CopyProgram(folder_.path(), library, "CONFIG.DLL");
        agent_ = std::make_unique<AgentProcess>(folder_);
        engine_ = agent_->WaitForEngineWindow();
        ASSERT_NE(nullptr, engine_);
    }

    // Opens the dialog and returns once the agent has dealt with it.
    void RunDialog(const std::string& script) {
        folder_.Write("config-script.txt", script);
        SendMessageA(engine_, gMessages.configDlg, 0, 0);
    }

    std::string Received() { return folder_.Read("config-received.txt"); }
    int Calls() {
        std::string log = folder_.Exists("config-calls.log") ? folder_.Read("config-calls.log") : "";
        int calls = 0;
        for (size_t at = log.find("call"); at != std::string::npos; at = log.find("call", at + 1)) calls++;
        return calls;
    }

    InstallFolder folder_{"preferences", InstallFolder::kWithoutDatabase};
    std::unique_ptr<AgentProcess> agent_;
    HWND engine_ = nullptr;
    TraceCapture trace_;
};

}  // namespace

TEST_F(PreferencesTest, ConfirmedChangesAreAppliedAndHandedOn) {
    folder_.Write("Tidewell.ini", "[Tidewell Settings]\r\nBrowserPath=C:\\Apps\\iexplore.exe\r\nBrowserDdeService=KEEP\r\n");
    Start();
    WindowGuard display{MakeTestWindow("Tidewell test display", WS_POPUP, 0, 0, 10, 10, nullptr, DisplayWindowProc)};
    GlobalBlockView block;
    block.config().DisplayWindow = HwndToWord(display.window);

    RunDialog("proxy=proxy.test\nport=3128\nenabled=1\nbrowser=C:\\Apps\\Netscape\\netscape.exe\npace=14\n"
              "preference=3\nsymbols=AAA,BBB\nactive0=0\nactive3=0\nsettings=7\naccept=1\n");

    // What the dialog was handed.
    std::string received = Received();
    EXPECT_NE(std::string::npos, received.find("topicCount=4\n")) << received;
    EXPECT_NE(std::string::npos, received.find("topic1=1|Stocks / Quotes|1|3\n")) << received;
    EXPECT_NE(std::string::npos, received.find("topic3=3|AdStream|1|4\n")) << received;
    EXPECT_NE(std::string::npos, received.find("symbols=BBB,DDD\n")) << received;
    EXPECT_NE(std::string::npos, received.find("install=" + folder_.path() + "\n")) << received;
    EXPECT_NE(std::string::npos, received.find("browser=C:\\Apps\\iexplore.exe\n")) << received;

    // What the agent took back.
    CConfigData& cfg = block.config();
    EXPECT_STREQ("proxy.test", cfg.HttpProxy);
    EXPECT_EQ(3128, cfg.HttpProxyPort);
    EXPECT_EQ(1, cfg.HttpProxyEnabled);
    EXPECT_STREQ("C:\\Apps\\Netscape\\netscape.exe", cfg.BrowserPath);
    EXPECT_STREQ("NETSCAPE", cfg.BrowserDdeService);
    EXPECT_EQ(14, cfg.Pace);
    EXPECT_EQ(3, cfg.DisplayPreference);
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, agent_->id());
    EXPECT_EQ(static_cast<DWORD>(IDLE_PRIORITY_CLASS), GetPriorityClass(process));  // the priority follows the pace
    CloseHandle(process);

    EXPECT_EQ((std::vector<std::string>{"copydata 1 388", "configupdate"}), gDisplay.events);
    EXPECT_EQ(std::string(388, '\7'), gDisplay.settings);
    EXPECT_EQ(HwndToWord(engine_), static_cast<uint32_t>(gDisplay.sender));

    // The database was saved with the switches and the rebuilt quote topic.
    std::string json = folder_.DumpDatabase();
    EXPECT_NE(std::string::npos, json.find("\"bActive\": 0, \"Category\": 0,\n     \"Title\": \"News / A\"")) << json;
    EXPECT_NE(std::string::npos, json.find("\"bActive\": 0, \"Category\": 0,\n     \"Title\": \"AdStream\"")) << json;
    EXPECT_NE(std::string::npos, json.find("\"ridMsg\": 4, \"tmReceived\": 0, \"dwViews\": 0, \"dwReserved1\": 0, "
                                           "\"dwReserved2\": 0, \"dwReserved3\": 0, \"Title\": \"BBB;1;2\""))
        << json;
    EXPECT_NE(std::string::npos, json.find("\"ridMsg\": 10, \"tmReceived\": 0, \"dwViews\": 0, \"dwReserved1\": 0, "
                                           "\"dwReserved2\": 0, \"dwReserved3\": 0, \"Title\": \"AAA;0;0\""))
        << json;
    EXPECT_EQ(std::string::npos, json.find("DDD")) << json;
    EXPECT_NE(std::string::npos, json.find("quotes.csv?s=BBB+AAA&f=sl1d1t1c1ohgv&e=.csv")) << json;
}

TEST_F(PreferencesTest, CancelChangesNothing) {
    Start();
    std::string before = folder_.Read("Data\\Msg.dat");
    GlobalBlockView block;
    CConfigData copy = block.config();
    RunDialog("proxy=nowhere\npace=16\nactive0=0\nsymbols=ZZZ\naccept=0\n");
    EXPECT_EQ(1, Calls());
    EXPECT_EQ(0, memcmp(&copy, &block.config(), sizeof copy));
    EXPECT_EQ(before, folder_.Read("Data\\Msg.dat"));
}

TEST_F(PreferencesTest, BrowserPathRulesAndDisplaySettingsWithoutADisplay) {
    folder_.Write("Tidewell.ini", "[Tidewell Settings]\r\nBrowserPath=C:\\X\\iexplore.exe\r\nBrowserDdeService=KEEP\r\n");
    Start();
    GlobalBlockView block;
    block.config().DisplayWindow = 0;
    RunDialog("browser=c:\\x\\IEXPLORE.EXE\nsettings=5\naccept=1\n");
    EXPECT_STREQ("C:\\X\\iexplore.exe", block.config().BrowserPath);  // the same path in other case: unchanged
    EXPECT_STREQ("KEEP", block.config().BrowserDdeService);
    EXPECT_EQ(5, block.config().DisplaySettings[387]);  // no display window: the shared record keeps them

    block.config().DisplayWindow = kNoWindow;  // the broadcast handle: nothing is broadcast either
    RunDialog("browser=C:\\Other\\browse.exe\nsettings=6\naccept=1\n");
    EXPECT_STREQ("IEXPLORE", block.config().BrowserDdeService);
    EXPECT_EQ(6, block.config().DisplaySettings[0]);
}

TEST_F(PreferencesTest, SecondRequestWhileTheDialogRunsIsIgnored) {
    Start();
    folder_.Write("config-script.txt", "waitMs=3000\naccept=0\n");
    GlobalBlockView block;
    PostMessageA(engine_, WM_COMMAND, IDM_PREFERENCES, 0);  // the menu item
    ASSERT_TRUE(WaitFor([&] { return Calls() == 1; }, 5000));
    PostMessageA(engine_, gMessages.configDlg, 0, 0);
    block.config().ScreenSaverOn = 0xFFFFFFFF;
    // The clock keeps ticking inside the dialog's message loop.
    EXPECT_TRUE(WaitFor([&] { return block.config().ScreenSaverOn != 0xFFFFFFFF; }, kTickTimeoutMs));
    PumpMessages(3000);
    EXPECT_EQ(1, Calls());
}

TEST_F(PreferencesTest, MissingLibraryOrExportIsOnlyTraced) {
    Start(nullptr);
    RunDialog("accept=1\n");
    EXPECT_TRUE(trace_.WaitFor("ConfigDialog(): Exception Caught: Could not load CONFIG.DLL", agent_->id(), 5000));
    CopyProgram(folder_.path(), "no_export_dll.dll", "CONFIG.DLL");
    RunDialog("accept=1\n");
    EXPECT_TRUE(trace_.WaitFor("ConfigDialog(): Exception Caught: GetProcAddress() Failed", agent_->id(), 5000));
    CopyProgram(folder_.path(), "config_dll.dll", "CONFIG.DLL");  // the library is freed after each try
    RunDialog("symbolCount=4000000000\naccept=1\n");  // a count beyond the slots is bounded
    EXPECT_EQ(1, Calls());
}
