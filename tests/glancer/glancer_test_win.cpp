// Glancer.exe as a process among the product's programs: with the real agent
// (the shared record's window fields, a second start, new display settings,
// closing), without one (it starts the agent beside itself), and with a
// hostile one that answers every request with records full of junk.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "agent_process_win.h"
#include "shared/display_settings.h"
#include "shared/messages_win.h"
#include "shared/names.h"
#include "shared/object_server_win.h"
#include "shared/window_handle_win.h"

namespace {

constexpr DWORD kQuietMs = 3000;  // long enough for several frames, polls and rounds

HWND WaitForTicker(const ChildProcess& glancer) {
    return WaitForWindow(kGlancerWindowClass, glancer.id(), kStartTimeoutMs);
}

void SendSettings(HWND ticker, HWND from, const uint8_t* bytes, DWORD size, ULONG_PTR word = 1) {
    COPYDATASTRUCT data = {word, size, const_cast<uint8_t*>(bytes)};
    SendMessageA(ticker, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&data));
    SendMessageA(ticker, gMessages.configUpdate, 0, 0);
}

}  // namespace

TEST(Glancer, WithTheAgentClaimsTheWindowsTakesSettingsAndGivesThemBack) {
    InstallFolder folder("glancer");
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"topics": [{"Title": "News / A", "messages": [{"ridMsg": 1, "Title": "One"}]}]})"));
    CopyProgram(folder.path(), "Glancer.exe");
    AgentProcess agent(folder);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, engine);
    GlobalBlockView block;
    CConfigData& cfg = block.config();

    ChildProcess glancer(folder.File("Glancer.exe"), "");
    HWND ticker = WaitForTicker(glancer);
    ASSERT_NE(nullptr, ticker);
    EXPECT_TRUE(WaitFor([&] { return cfg.DisplayWindow == HwndToWord(ticker); }, kStartTimeoutMs));
    EXPECT_EQ(HwndToWord(ticker), cfg.PageWindow);

    // A second ticker hands over to the first and ends.
    ChildProcess second(folder.File("Glancer.exe"), "");
    EXPECT_EQ(0u, second.Wait(kStartTimeoutMs));
    EXPECT_EQ(STILL_ACTIVE, glancer.Wait(0));
    EXPECT_EQ(ticker, FindWindowA(kGlancerWindowClass, nullptr));

    // New display settings as the agent hands them over after the preferences.
    display::Settings wanted;
    wanted.edge = display::kEdgeBottom;
    wanted.onTop = false;
    wanted.speed = 200;
    uint8_t bytes[sizeof cfg.DisplaySettings];
    display::Encode(wanted, bytes);
    SendSettings(ticker, engine, bytes, sizeof bytes);
    RECT r;
    GetWindowRect(ticker, &r);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), r.bottom);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), r.right);
    EXPECT_EQ(0, GetWindowLongA(ticker, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(3, cfg.EdgeDockedOn);  // kept where the settings file and the data file find it
    EXPECT_EQ(0, cfg.AlwaysOnTop);
    EXPECT_EQ(200u, display::Decode(cfg.DisplaySettings).speed);

    // Settings of the wrong size are not taken.
    uint8_t left[sizeof bytes];
    wanted.edge = display::kEdgeLeft;
    display::Encode(wanted, left);
    SendSettings(ticker, engine, left, 10);
    SendSettings(ticker, engine, left, sizeof left, 2);
    EXPECT_EQ(3, cfg.EdgeDockedOn);
    GetWindowRect(ticker, &r);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), r.bottom);
    // At the left edge the bar stands upright, as thick as it was high.
    int thickness = r.bottom - r.top;
    SendSettings(ticker, engine, left, sizeof left);
    GetWindowRect(ticker, &r);
    EXPECT_EQ(0, r.left);
    EXPECT_EQ(thickness, r.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), r.bottom - r.top);
    EXPECT_EQ(0, cfg.EdgeDockedOn);

    // Auto-hide: out of the way once the mouse is elsewhere, back when it touches the sliver left.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
    display::Settings hiding;
    hiding.autoHide = true;
    display::Encode(hiding, bytes);
    SendSettings(ticker, engine, bytes, sizeof bytes);
    auto top = [&] {
        GetWindowRect(ticker, &r);
        return r.top;
    };
    EXPECT_EQ(0, top());  // shown for a moment after new settings
    EXPECT_TRUE(WaitFor([&] { return top() == -(thickness - 2); }, 10000)) << top();
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, 0);
    EXPECT_TRUE(WaitFor([&] { return top() == 0; }, 5000)) << top();

    PostMessageA(ticker, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, glancer.Wait(kExitTimeoutMs));
    EXPECT_EQ(kNoWindow, cfg.DisplayWindow);
    EXPECT_EQ(kNoWindow, cfg.PageWindow);

    // Started again, it goes when the agent goes.
    ChildProcess again(folder.File("Glancer.exe"), "");
    ASSERT_NE(nullptr, WaitForTicker(again));
    EXPECT_EQ(0u, agent.Close());
    EXPECT_EQ(0u, again.Wait(kExitTimeoutMs));
}

TEST(Glancer, StartsTheAgentBesideItselfWhenNoneRuns) {
    ASSERT_FALSE(SharedBlockExists());
    InstallFolder folder("glancer-alone");
    CopyProgram(folder.path(), "Glancer.exe");
    folder.AddStandIn("Engine.exe");
    ChildProcess glancer(folder.File("Glancer.exe"), "");
    HWND ticker = WaitForTicker(glancer);
    ASSERT_NE(nullptr, ticker);
    EXPECT_TRUE(WaitFor([&] { return folder.StandInLog().find("Engine.exe") == 0; }, kStartTimeoutMs))
        << folder.StandInLog();
    PumpMessages(1500);  // it waits for the agent, and starts it only once
    std::string log = folder.StandInLog();
    EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n')) << log;
    PostMessageA(ticker, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, glancer.Wait(kExitTimeoutMs));
}

namespace {

// A stand-in agent that lies: its shared record and every answer are junk
// (texts without terminators, ids that never end, bitmaps that are not).
class HostileAgent {
public:
    explicit HostileAgent(const std::string& dataDir) {
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kGlobalMappingSize,
                                      kGlobalMappingName);
        view_ = static_cast<uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, kGlobalMappingSize));
        memset(view_, 'x', kGlobalMappingSize);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kEngineWindowClass;
        RegisterClassA(&wc);
        window_ = CreateWindowA(kEngineWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        CConfigData& c = cfg();
        memset(c.DataDir, 0, sizeof c.DataDir);
        memcpy(c.DataDir, dataDir.data(), std::min(dataDir.size(), sizeof c.DataDir - 1));
        memcpy(c.PageUrl, "http://127.0.0.1/", 17);  // then 'x' up to the field's end: too long to open
        c.EngineWindow = HwndToWord(window_);
        c.AdTopicId = kAdTopic;
        c.DisplayPreference = display::kShowQuotes;  // and the ads
        memset(c.DisplaySettings, 0xFF, sizeof c.DisplaySettings);
        gAgent = this;
    }
    ~HostileAgent() {
        for (void* v : conversations_) UnmapViewOfFile(v);
        DestroyWindow(window_);
        UnregisterClassA(kEngineWindowClass, GetModuleHandleA(nullptr));
        UnmapViewOfFile(view_);
        CloseHandle(mapping_);
        gAgent = nullptr;
    }
    CConfigData& cfg() { return *reinterpret_cast<CConfigData*>(view_ + kGlobalRecordOffset); }
    HWND window() const { return window_; }
    int answered = 0;
    int closed = 0;
    int preferences = 0;  // WM_CONFIGDLG received

private:
    static constexpr uint32_t kAdTopic = 7;

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == gMessages.requestObject && gAgent) return gAgent->Answer(wParam, lParam);
        if (message == gMessages.configDlg && gAgent) gAgent->preferences++;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }

    LRESULT Answer(WPARAM wParam, LPARAM lParam) {
        uint16_t channel = LOWORD(lParam), handle = HIWORD(lParam), code = LOWORD(wParam);
        if (channel > 1) return 0;
        if (handle == 0) {
            char name[64];
            snprintf(name, sizeof name, kConversationNameFormat, static_cast<unsigned long>(code));
            HANDLE m = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
            void* v = m ? MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
            if (m) CloseHandle(m);
            if (!v) return 0;
            conversations_.push_back(v);
            static_cast<ConversationHeader*>(v)->handle = static_cast<uint16_t>(conversations_.size());
            return 1;
        }
        if (handle > conversations_.size()) return 0;
        if (code == 0) return ++closed, 1;
        answered++;
        uint8_t* area = static_cast<uint8_t*>(conversations_[handle - 1]) + sizeof(ConversationHeader);
        return channel == 0 ? Topic(reinterpret_cast<TopicArea*>(area)) : Message(reinterpret_cast<MsgArea*>(area));
    }

    static void Junk(TopicRecord& t, uint32_t id) {
        memset(&t, 'T', sizeof t);
        t.ridTopic = id;
        t.dwType = id % 3 == 0 ? TOPIC_QUOTES : TOPIC_SUBSCRIPTION;
        t.bActive = 1;
    }

    LRESULT Topic(TopicArea* a) {
        Junk(a->topic, ++topicId_);
        a->msgCount = 0xFFFFFFFF;
        return 1;
    }

    LRESULT Message(MsgArea* a) {
        uint32_t topic = a->msg.ridTopic;
        memset(&a->msg, 'M', sizeof a->msg);
        Junk(a->topic, topic);
        a->msg.ridTopic = topic;
        a->msg.ridMsg = ++msgId_;
        if (topic == kAdTopic) {  // ads: a bad bitmap, a file that is not there, a path out of the folder
            static const char* const kAds[] = {"A0000001.bmp", "A0000002.bmp", "A0000003.bmp", "..\\A0000001.bmp"};
            const char* name = kAds[msgId_ % 4];
            memcpy(a->msg.Title, name, strlen(name) + 1);
        } else if (msgId_ % 5 == 0) {
            memcpy(a->msg.Title, "SYM;1;-2;3", 11);  // a quote, or a headline where the topic is no quote topic
        }
        return 1;
    }

    HANDLE mapping_ = nullptr;
    uint8_t* view_ = nullptr;
    HWND window_ = nullptr;
    std::vector<void*> conversations_;
    uint32_t topicId_ = 0, msgId_ = 0;
    static HostileAgent* gAgent;
};

HostileAgent* HostileAgent::gAgent = nullptr;

// A bitmap header that promises what the file does not hold.
std::string LyingBitmap() {
    std::string b(54, '\0');
    b[0] = 'B';
    b[1] = 'M';
    b[10] = 54;
    b[14] = 40;
    b[19] = 0x07;  // 1792 wide
    b[22] = 0x90;
    b[23] = 0x01;  // 400 rows
    b[26] = 1;
    b[28] = 24;
    return b;
}

}  // namespace

TEST(Glancer, DrawsOrSkipsHostileSharedDataAndStillCloses) {
    ASSERT_FALSE(SharedBlockExists());
    InstallFolder folder("glancer-hostile", InstallFolder::kWithoutDatabase);
    CopyProgram(folder.path(), "Glancer.exe");
    folder.AddStandIn("Engine.exe");
    folder.AddStandIn("browser.exe");
    folder.Write("Data\\A0000001.bmp", std::string(5000, 'B'));
    folder.Write("Data\\A0000002.bmp", LyingBitmap());
    folder.Write("Data\\A0000003.bmp", "BM" + std::string(5 << 20, '\x7f'));  // bigger than any ad
    HostileAgent agent(folder.File("Data"));
    CConfigData& cfg = agent.cfg();
    std::string browser = folder.File("browser.exe");
    memcpy(cfg.BrowserPath, browser.c_str(), browser.size() + 1);

    ChildProcess glancer(folder.File("Glancer.exe"), "");
    HWND ticker = WaitForTicker(glancer);
    ASSERT_NE(nullptr, ticker);
    ASSERT_TRUE(WaitFor([&] { return cfg.DisplayWindow == HwndToWord(ticker); }, kStartTimeoutMs));
    PumpMessages(kQuietMs);
    EXPECT_GT(agent.answered, 1000) << "it walked the endless answers";
    EXPECT_LT(agent.answered, 50000) << "but not for ever";

    uint8_t junk[sizeof cfg.DisplaySettings];
    memset(junk, 0xEE, sizeof junk);
    SendSettings(ticker, agent.window(), junk, sizeof junk);  // no mark: the defaults
    SendMessageA(ticker, gMessages.loadPage, 0, 0);           // a page address without its end
    memcpy(cfg.PageUrl, "file:///c:/windows", 19);
    SendMessageA(ticker, gMessages.loadPage, 0, 0);           // not a web address
    PumpMessages(kQuietMs);

    // The menu's "Preferences" (command 103) asks the engine window for the dialog.
    PostMessageA(ticker, WM_COMMAND, 103, 0);
    EXPECT_TRUE(WaitFor([&] { return agent.preferences == 1; }, kStartTimeoutMs));

    EXPECT_EQ(STILL_ACTIVE, glancer.Wait(0));
    EXPECT_EQ("", folder.StandInLog()) << "it started nothing: the agent runs, and no page was a web address";
    RECT r;
    GetWindowRect(ticker, &r);
    EXPECT_EQ(0, r.top);  // the defaults: at the top
    PostMessageA(ticker, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return glancer.Wait(0) != STILL_ACTIVE; }, kExitTimeoutMs));
    EXPECT_EQ(0u, glancer.Wait(0));
    EXPECT_EQ(kNoWindow, cfg.DisplayWindow);
    EXPECT_EQ(kNoWindow, cfg.PageWindow);
    EXPECT_EQ(2, agent.closed) << "both conversations were closed";
}
