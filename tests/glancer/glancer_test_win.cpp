// Glancer.exe as a process among the product's programs: with the real agent
// (the shared record's window fields, a second start, new display settings,
// closing, a busy agent), without one (it starts the agent beside itself),
// with a stand-in agent that counts the ads it is asked for, and with a
// hostile one that answers every request with records full of junk.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <wtsapi32.h>

#include <cstring>
#include <memory>
#include <vector>

#include "agent_process_win.h"
#include "shared/conversation_win.h"
#include "host_cpu_win.h"
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

// The data file's header with these display settings.
std::string HeaderWith(const display::Settings& settings) {
    uint8_t bytes[sizeof CConfigData::DisplaySettings];
    display::Encode(settings, bytes);
    std::string hex;
    for (uint8_t b : bytes) {
        char two[3];
        snprintf(two, sizeof two, "%02x", b);
        hex += two;
    }
    return R"("header": {"DisplaySettings": ")" + hex + "\"}";
}

TEST(Glancer, WithTheAgentClaimsTheWindowsTakesSettingsAndGivesThemBack) {
    InstallFolder folder("glancer");
    // The data file's display settings and the settings file's edge disagree,
    // as when the agent restarts: the bar takes the first and stores them.
    display::Settings bottom;
    bottom.edge = display::kEdgeBottom;
    ASSERT_EQ(0u, folder.MakeDatabase(
                      "{" + HeaderWith(bottom) +
                      R"(, "topics": [{"Title": "News / A", "messages": [{"ridMsg": 1, "Title": "One"}]}]})"));
    folder.Write("Tidewell.ini", "[Tidewell Settings]\r\nEdgeDockedOn=1\r\n");
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
    RECT r;
    auto atBottom = [&] { return GetWindowRect(ticker, &r) && r.bottom == GetSystemMetrics(SM_CYSCREEN); };
    EXPECT_TRUE(WaitFor(atBottom, kStartTimeoutMs));
    EXPECT_TRUE(
        WaitFor([&] { return cfg.EdgeDockedOn == static_cast<int32_t>(display::kEdgeBottom); }, kStartTimeoutMs))
        << "not kept for the settings file: " << cfg.EdgeDockedOn;

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
    std::string file = folder.Read("Tidewell.ini");
    EXPECT_NE(std::string::npos, file.find("EdgeDockedOn=1")) << file;  // as the bar last lay: at the top, hiding
    EXPECT_NE(std::string::npos, file.find("AutoHide=1")) << file;
}

int EngineWindows() {
    int count = 0;
    for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, kEngineWindowClass, nullptr)) != nullptr && count < 10;)
        count++;
    return count;
}

TEST(Glancer, ABusyAgentIsAskedAgainNeverJoinedByAnother) {
    InstallFolder folder("glancer-busy");
    ASSERT_EQ(
        0u, folder.MakeDatabase(R"({"topics": [{"Title": "News / A", "messages": [{"ridMsg": 1, "Title": "One"}]}]})"));
    AgentProcess agent(folder);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_NE(nullptr, engine);
    GlobalBlockView block;
    CConfigData& cfg = block.config();
    // Every topic conversation taken by a living program.
    std::vector<std::unique_ptr<Conversation>> held;
    for (int i = 0; i < 19; i++) {
        held.push_back(std::make_unique<Conversation>(engine, kTopicChannel));
        ASSERT_TRUE(held.back()->open()) << i;
    }
    // The ticker in a folder of its own, whose Engine.exe only notes that it was started.
    InstallFolder beside("glancer-busy-ticker", InstallFolder::kWithoutDatabase);
    CopyProgram(beside.path(), "Glancer.exe");
    beside.AddStandIn("Engine.exe");
    ChildProcess glancer(beside.File("Glancer.exe"), "");
    HWND ticker = WaitForTicker(glancer);
    ASSERT_NE(nullptr, ticker);
    PumpMessages(kQuietMs);
    EXPECT_EQ("", beside.StandInLog()) << "a refused conversation started another agent";
    EXPECT_EQ(1, EngineWindows());
    EXPECT_NE(HwndToWord(ticker), cfg.DisplayWindow);

    held.clear();  // the agent has room again: the ticker, asking again, is served
    EXPECT_TRUE(WaitFor([&] { return cfg.DisplayWindow == HwndToWord(ticker); }, kStartTimeoutMs));
    EXPECT_EQ("", beside.StandInLog());
    EXPECT_EQ(STILL_ACTIVE, agent.Wait(0));
    EXPECT_EQ(0u, agent.Close());
    EXPECT_EQ(0u, glancer.Wait(kExitTimeoutMs));
}

namespace {

constexpr char kOneTopic[] =
    R"({"topics": [{"Title": "News / A", "messages": [{"ridMsg": 1, "Title": "One", "Url": "http://127.0.0.1/1"}]}]})";

// A top bar of the test's own on the shell's desktop, beside the ticker;
// it counts the shell's news that the bars moved.
class TestAppBar {
public:
    TestAppBar() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "Tidewell test appbar";
        RegisterClassA(&wc);
        window_ = CreateWindowA(wc.lpszClassName, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        APPBARDATA data = Data();
        registered_ = SHAppBarMessage(ABM_NEW, &data) != 0;
    }
    ~TestAppBar() {
        Remove();
        DestroyWindow(window_);
    }
    bool registered() const { return registered_; }
    void Reserve(int height) {
        APPBARDATA data = Data();
        data.rc = {0, 0, GetSystemMetrics(SM_CXSCREEN), height};
        SHAppBarMessage(ABM_SETPOS, &data);
    }
    // Where the shell lets a bar at the top begin.
    int QueryTop() {
        APPBARDATA data = Data();
        data.rc = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        SHAppBarMessage(ABM_QUERYPOS, &data);
        return data.rc.top;
    }
    void Remove() {
        if (!registered_) return;
        APPBARDATA data = Data();
        SHAppBarMessage(ABM_REMOVE, &data);
        registered_ = false;
    }
    int moved = 0;  // ABN_POSCHANGED received

private:
    static constexpr UINT kNews = WM_APP + 7;
    APPBARDATA Data() {
        APPBARDATA data = {};
        data.cbSize = sizeof data;
        data.hWnd = window_;
        data.uCallbackMessage = kNews;
        data.uEdge = ABE_TOP;
        return data;
    }
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<TestAppBar*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (message == kNews && wParam == ABN_POSCHANGED && self) self->moved++;
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    HWND window_ = nullptr;
    bool registered_ = false;
};

// A shown top-level window of the class that belongs to the process, or 0.
HWND ShownWindow(const char* className, DWORD processId) {
    for (HWND w = FindWindowExA(nullptr, nullptr, className, nullptr); w;
         w = FindWindowExA(nullptr, w, className, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == processId && IsWindowVisible(w)) return w;
    }
    return nullptr;
}

// The ticker's window edge that scrolls in and out with auto-hide.
int TopOf(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r.top;
}

// The agent with one topic in a folder of its own, and the ticker beside it.
struct WithAgent {
    explicit WithAgent(const char* name) : folder(name), made(folder.MakeDatabase(kOneTopic) == 0) {
        CopyProgram(folder.path(), "Glancer.exe");
        agent = std::make_unique<AgentProcess>(folder);
        engine = agent->WaitForEngineWindow();
    }
    HWND StartTicker() {
        glancer = ChildProcess(folder.File("Glancer.exe"), "");
        return ticker = WaitForTicker(glancer);
    }
    void Set(const display::Settings& settings) {
        uint8_t bytes[sizeof CConfigData::DisplaySettings];
        display::Encode(settings, bytes);
        SendSettings(ticker, engine, bytes, sizeof bytes);
    }
    // Closes the ticker, then the agent; both exit cleanly.
    void CloseBoth() {
        PostMessageA(ticker, WM_CLOSE, 0, 0);
        EXPECT_EQ(0u, glancer.Wait(kExitTimeoutMs));
        EXPECT_EQ(0u, agent->Close());
    }
    InstallFolder folder;
    bool made;
    std::unique_ptr<AgentProcess> agent;
    HWND engine = nullptr;
    ChildProcess glancer;
    HWND ticker = nullptr;
};

}  // namespace

// Wine's shell keeps the bars' rectangles and answers ABM_QUERYPOS from
// them, but does not shrink the work area; so the room kept is checked the
// way a second bar (or the shell maximising a window) sees it.
TEST(Glancer, ReservesItsEdgeLikeATaskbarAndGivesItBack) {
    WithAgent run("glancer-appbar");
    ASSERT_TRUE(run.made && run.engine);
    TestAppBar first;
    ASSERT_TRUE(first.registered()) << "no shell keeps application bars here";
    first.Reserve(50);

    HWND ticker = run.StartTicker();
    ASSERT_NE(nullptr, ticker);
    EXPECT_TRUE(WaitFor([&] { return TopOf(ticker) == 50; }, kStartTimeoutMs)) << TopOf(ticker);  // below it
    RECT r;
    GetWindowRect(ticker, &r);
    int thickness = r.bottom - r.top;
    TestAppBar second;
    EXPECT_EQ(50 + thickness, second.QueryTop());  // the ticker keeps its strip

    first.Remove();  // the ticker is told, and moves up to the edge
    EXPECT_TRUE(WaitFor([&] { return TopOf(ticker) == 0; }, kStartTimeoutMs)) << TopOf(ticker);
    EXPECT_EQ(thickness, second.QueryTop());

    display::Settings settings;
    settings.autoHide = true;
    run.Set(settings);
    EXPECT_EQ(0, second.QueryTop());  // a bar that hides itself keeps no room
    settings.autoHide = false;
    run.Set(settings);
    EXPECT_EQ(thickness, second.QueryTop());

    int moved = second.moved;
    run.CloseBoth();
    EXPECT_EQ(0, second.QueryTop());  // given back at exit
    EXPECT_TRUE(WaitFor([&] { return second.moved > moved; }, kStartTimeoutMs));
}

// The tool tip of a bar at the left edge lies right of it, and goes when
// the menu opens (it used to stay on top of it).
TEST(Glancer, TheTipLiesBesideAnUprightBarAndLeavesForTheMenu) {
    WithAgent run("glancer-tip");
    ASSERT_TRUE(run.made && run.engine);
    HWND ticker = run.StartTicker();
    ASSERT_NE(nullptr, ticker);
    DWORD id = run.glancer.id();
    display::Settings settings;
    settings.edge = display::kEdgeLeft;
    run.Set(settings);
    RECT bar;
    GetWindowRect(ticker, &bar);
    ASSERT_EQ(0, bar.left);

    // Down the bar until the mouse is over a piece with a tip (the bar holds still under it).
    HWND tip = nullptr;
    POINT at = {bar.left + 10, bar.top};
    for (; at.y < bar.bottom && !tip; at.y += 12) {
        SetCursorPos(at.x, at.y);
        PostMessageA(ticker, WM_MOUSEMOVE, 0, MAKELPARAM(at.x - bar.left, at.y - bar.top));
        WaitFor([&] { return (tip = ShownWindow(TOOLTIPS_CLASSA, id)) != nullptr; }, 200);
    }
    ASSERT_NE(nullptr, tip) << "no tool tip down the bar";
    RECT tipRect, overlap;
    GetWindowRect(tip, &tipRect);
    EXPECT_FALSE(IntersectRect(&overlap, &tipRect, &bar))
        << tipRect.left << "," << tipRect.top << " - " << tipRect.right << "," << tipRect.bottom;
    EXPECT_GE(tipRect.left, bar.right);

    PostMessageA(ticker, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(ticker), MAKELPARAM(at.x, at.y));
    EXPECT_TRUE(WaitFor([&] { return ShownWindow("#32768", id) != nullptr; }, kStartTimeoutMs));
    EXPECT_EQ(nullptr, ShownWindow(TOOLTIPS_CLASSA, id));
    PostMessageA(ticker, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitFor([&] { return ShownWindow("#32768", id) == nullptr; }, kStartTimeoutMs));
    run.CloseBoth();
}

// Nothing moving, nothing drawn: no frame timer while the session is
// locked, while paused, or while slid away. Scrolling takes 1.5 to 2 % of a
// core, 60 to 80 ms in the 4 s measured; each idle state is allowed 20 ms,
// two of the host's clock steps.
TEST(Glancer, UsesNoProcessorWhileNothingMoves) {
    WithAgent run("glancer-idle");
    ASSERT_TRUE(run.made && run.engine);
    HWND ticker = run.StartTicker();
    ASSERT_NE(nullptr, ticker);
    std::string path = run.folder.File("Glancer.exe");
    if (HostCpuSeconds(path) < 0) GTEST_SKIP() << "the host's /proc is not seen through Z:";
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
    auto cpuOver4s = [&] {
        PumpMessages(500);
        double before = HostCpuSeconds(path);
        PumpMessages(4000);
        return HostCpuSeconds(path) - before;
    };
    constexpr double kIdle = 0.02;

    PostMessageA(ticker, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    EXPECT_LE(cpuOver4s(), kIdle) << "locked";
    PostMessageA(ticker, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    PostMessageA(ticker, WM_COMMAND, 100, 0);  // Pause
    EXPECT_LE(cpuOver4s(), kIdle) << "paused";
    PostMessageA(ticker, WM_COMMAND, 100, 0);  // Resume
    printf("scrolling: %.2f s of processor in 4 s\n", cpuOver4s());

    display::Settings settings;
    settings.autoHide = true;
    run.Set(settings);
    EXPECT_TRUE(WaitFor([&] { return TopOf(ticker) < -10; }, 10000)) << TopOf(ticker);
    EXPECT_LE(cpuOver4s(), kIdle) << "slid away";
    run.CloseBoth();
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

// An agent played by the test: the shared record, an engine window and the
// conversations; what it answers is up to the kind of agent.
class StandInAgent {
public:
    // fill: the byte every field not set here holds.
    StandInAgent(const std::string& dataDir, char fill) {
        mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kGlobalMappingSize,
                                      kGlobalMappingName);
        view_ = static_cast<uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, kGlobalMappingSize));
        memset(view_, fill, kGlobalMappingSize);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kEngineWindowClass;
        RegisterClassA(&wc);
        window_ = CreateWindowA(kEngineWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        CConfigData& c = cfg();
        memset(c.DataDir, 0, sizeof c.DataDir);
        memcpy(c.DataDir, dataDir.data(), std::min(dataDir.size(), sizeof c.DataDir - 1));
        c.EngineWindow = HwndToWord(window_);
        c.AdTopicId = kAdTopic;
        c.DisplayPreference = display::kShowQuotes;  // and the ads
        gAgent = this;
    }
    virtual ~StandInAgent() {
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

protected:
    static constexpr uint32_t kAdTopic = 7;
    virtual LRESULT Topic(uint16_t code, TopicArea* a) = 0;
    virtual LRESULT Message(uint16_t code, MsgArea* a) = 0;

private:
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
        return channel == 0 ? Topic(code, reinterpret_cast<TopicArea*>(area))
                            : Message(code, reinterpret_cast<MsgArea*>(area));
    }

    HANDLE mapping_ = nullptr;
    uint8_t* view_ = nullptr;
    HWND window_ = nullptr;
    std::vector<void*> conversations_;
    static StandInAgent* gAgent;
};

StandInAgent* StandInAgent::gAgent = nullptr;

// A stand-in agent that lies: its shared record and every answer are junk
// (texts without terminators, ids that never end, bitmaps that are not).
class HostileAgent : public StandInAgent {
public:
    explicit HostileAgent(const std::string& dataDir) : StandInAgent(dataDir, 'x') {
        CConfigData& c = cfg();
        memcpy(c.PageUrl, "http://127.0.0.1/", 17);  // then 'x' up to the field's end: too long to open
        memset(c.DisplaySettings, 0xFF, sizeof c.DisplaySettings);
    }

private:
    static void Junk(TopicRecord& t, uint32_t id) {
        memset(&t, 'T', sizeof t);
        t.ridTopic = id;
        t.dwType = id % 3 == 0 ? TOPIC_QUOTES : TOPIC_SUBSCRIPTION;
        t.bActive = 1;
    }

    LRESULT Topic(uint16_t, TopicArea* a) override {
        Junk(a->topic, ++topicId_);
        a->msgCount = 0xFFFFFFFF;
        return 1;
    }

    LRESULT Message(uint16_t, MsgArea* a) override {
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

    uint32_t topicId_ = 0, msgId_ = 0;
};

// A stand-in agent with one topic of `headlines` headlines and the ad stream
// of two ads, that counts the ads it is asked for: each one a view it reports.
class AdCountingAgent : public StandInAgent {
public:
    explicit AdCountingAgent(const std::string& dataDir) : StandInAgent(dataDir, 0) {}
    int adsFetched = 0;
    uint32_t headlines = 1;

private:
    static constexpr uint32_t kNewsTopic = 1;

    LRESULT Topic(uint16_t code, TopicArea* a) override {
        uint32_t id = code == FETCH_FIRST ? kNewsTopic : a->topic.ridTopic == kNewsTopic ? kAdTopic : kNoId;
        if (code != FETCH_FIRST && code != FETCH_NEXT) return 0;
        if (id == kNoId) return 0;
        Fill(a->topic, id);
        a->msgCount = id == kNewsTopic ? headlines : 2;
        return 1;
    }

    LRESULT Message(uint16_t code, MsgArea* a) override {
        uint32_t topic = a->msg.ridTopic, count = topic == kAdTopic ? 2 : topic == kNewsTopic ? headlines : 0;
        uint32_t id = code == FETCH_FIRST ? 1 : code == FETCH_NEXT ? a->msg.ridMsg + 1 : 0;
        if (id < 1 || id > count) return 0;
        memset(&a->msg, 0, sizeof a->msg);
        Fill(a->topic, topic);
        a->msg.ridTopic = topic;
        a->msg.ridMsg = id;
        snprintf(a->msg.Title, sizeof a->msg.Title, topic == kAdTopic ? "A%07u.bmp" : "Headline %u", id);
        if (topic == kAdTopic) adsFetched++;
        return 1;
    }

    static void Fill(TopicRecord& t, uint32_t id) {
        memset(&t, 0, sizeof t);
        t.ridTopic = id;
        t.dwType = id == kAdTopic ? TOPIC_ADSTREAM : TOPIC_SUBSCRIPTION;
        t.bActive = 1;
        snprintf(t.Title, sizeof t.Title, id == kAdTopic ? "adstream" : "News / Counted");
    }
};

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

// A plain 24-bit bitmap of 60 by 24 pixels, as the ads are.
std::string AdBitmap() {
    std::string b = LyingBitmap();
    b[19] = 0;
    b[18] = 60;
    b[22] = 24;
    b[23] = 0;
    return b + std::string(60 * 3 * 24, '\x40');
}

}  // namespace

TEST(Glancer, FetchesAnAdOnlyWhenItIsAboutToBeSeen) {
    ASSERT_FALSE(SharedBlockExists());
    InstallFolder folder("glancer-ads", InstallFolder::kWithoutDatabase);
    CopyProgram(folder.path(), "Glancer.exe");
    folder.AddStandIn("Engine.exe");
    CreateDirectoryA(folder.File("Data").c_str(), nullptr);
    folder.Write("Data\\A0000001.bmp", AdBitmap());
    folder.Write("Data\\A0000002.bmp", AdBitmap());
    AdCountingAgent agent(folder.File("Data"));
    CConfigData& cfg = agent.cfg();
    display::Settings fast;
    fast.speed = 400;  // a round of the short loop every few seconds
    display::Encode(fast, cfg.DisplaySettings);
    cfg.ScreenSaverOn = 1;
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);

    ChildProcess glancer(folder.File("Glancer.exe"), "");
    HWND ticker = WaitForTicker(glancer);
    ASSERT_NE(nullptr, ticker);
    ASSERT_TRUE(WaitFor([&] { return cfg.DisplayWindow == HwndToWord(ticker); }, kStartTimeoutMs));
    PumpMessages(kQuietMs);
    EXPECT_EQ(0, agent.adsFetched) << "under the screen saver";
    cfg.ScreenSaverOn = 0;
    EXPECT_TRUE(WaitFor([&] { return agent.adsFetched > 0; }, 2 * kQuietMs)) << "fetched once it is seen";

    // No view while nothing changes: a round takes the loop afresh, so each
    // state is watched for more than a round.
    auto fetchedWhile = [&](const char* state) {
        PumpMessages(kQuietMs);  // a round that began before may still fetch
        int before = agent.adsFetched;
        PumpMessages(2 * kQuietMs);
        EXPECT_EQ(before, agent.adsFetched) << state;
    };
    PostMessageA(ticker, WM_COMMAND, 100, 0);
    fetchedWhile("paused");
    PostMessageA(ticker, WM_COMMAND, 100, 0);

    display::Settings hiding = fast;
    hiding.autoHide = true;
    uint8_t bytes[sizeof cfg.DisplaySettings];
    display::Encode(hiding, bytes);
    SendSettings(ticker, agent.window(), bytes, sizeof bytes);
    EXPECT_TRUE(WaitFor([&] { return TopOf(ticker) < 0; }, 10000));
    fetchedWhile("slid away");
    display::Encode(fast, bytes);
    SendSettings(ticker, agent.window(), bytes, sizeof bytes);

    agent.headlines = 0;
    fetchedWhile("with nothing to show between");
    agent.headlines = 1;
    DeleteFileA(folder.File("Data\\A0000001.bmp").c_str());
    DeleteFileA(folder.File("Data\\A0000002.bmp").c_str());
    fetchedWhile("without a bitmap to show");

    PostMessageA(ticker, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, glancer.Wait(kExitTimeoutMs));
}

TEST(Glancer, AnExhaustedHeapIsTracedAndTheBarGoesOn) {
    // A build of the ticker whose heap gives no block over 64 KB, fed headlines without end.
    ASSERT_FALSE(SharedBlockExists());
    InstallFolder folder("glancer-heap", InstallFolder::kWithoutDatabase);
    CopyProgram(folder.path(), "glancer_small_heap.exe", "Glancer.exe");
    folder.AddStandIn("Engine.exe");
    HostileAgent agent(folder.File("Data"));
    CConfigData& cfg = agent.cfg();
    ChildProcess glancer(folder.File("Glancer.exe"), "");
    HWND ticker = WaitForTicker(glancer);
    ASSERT_NE(nullptr, ticker);
    ASSERT_TRUE(WaitFor([&] { return cfg.DisplayWindow == HwndToWord(ticker); }, kStartTimeoutMs));
    PumpMessages(kQuietMs);
    EXPECT_EQ(STILL_ACTIVE, glancer.Wait(0)) << "std::bad_alloc ended the ticker";
    DWORD_PTR answer = 0;
    EXPECT_TRUE(SendMessageTimeoutA(ticker, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
    PostMessageA(ticker, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return glancer.Wait(0) != STILL_ACTIVE; }, kExitTimeoutMs));
    EXPECT_EQ(0u, glancer.Wait(0));
}

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
    EXPECT_TRUE(WaitFor([&] { return agent.answered > 1000; }, kStartTimeoutMs)) << "it walked the endless answers";
    PumpMessages(kQuietMs);
    EXPECT_LT(agent.answered, 50000) << "but not for ever";

    uint8_t junk[sizeof cfg.DisplaySettings];
    memset(junk, 0xEE, sizeof junk);
    SendSettings(ticker, agent.window(), junk, sizeof junk);  // no mark: the defaults
    SendMessageA(ticker, gMessages.loadPage, 0, 0);           // a page address without its end
    memcpy(cfg.PageUrl, "file:///c:/windows", 19);
    SendMessageA(ticker, gMessages.loadPage, 0, 0);  // not a web address
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
