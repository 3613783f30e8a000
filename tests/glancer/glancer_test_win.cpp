// Glancer.exe among the product's programs: beside the real agent, alone (it
// starts one), and beside stand-in agents that count ads or answer with junk.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <wtsapi32.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "agent_fixture_win.h"
#include "base/scoped_win.h"
#include "host_cpu_win.h"
#include "shared/conversation_win.h"
#include "shared/display_settings.h"
#include "shared/messages_win.h"
#include "shared/names.h"
#include "shared/object_server_win.h"
#include "shared/window_handle_win.h"
#include "test_window_win.h"

namespace {

constexpr DWORD kQuietMs = 3000;                                  // long enough for several frames, polls and rounds
constexpr WPARAM kPauseCommand = 100, kPreferencesCommand = 103;  // the ticker's menu
constexpr char kOneTopic[] =
    R"({"topics": [{"Title": "News / A", "messages": [{"ridMsg": 1, "Title": "One", "Url": "http://127.0.0.1/1"}]}]})";

void SendSettings(HWND ticker, HWND from, const uint8_t* bytes, DWORD size, ULONG_PTR word = 1) {
    COPYDATASTRUCT data = {word, size, const_cast<uint8_t*>(bytes)};
    SendMessageA(ticker, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&data));
    SendMessageA(ticker, gMessages.configUpdate, 0, 0);
}

void SendSettings(HWND ticker, HWND from, const display::Settings& settings) {
    uint8_t bytes[sizeof CConfigData::DisplaySettings];
    display::Encode(settings, bytes);
    SendSettings(ticker, from, bytes, sizeof bytes);
}

RECT RectOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

int TopOf(HWND window) {
    return RectOf(window).top;
}

void MouseToTheMiddle() {
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2);
}

std::string HeaderWith(const display::Settings& settings) {
    uint8_t bytes[sizeof CConfigData::DisplaySettings];
    display::Encode(settings, bytes);
    char hex[2 * sizeof bytes + 1] = "";
    for (size_t i = 0; i < sizeof bytes; i++) snprintf(hex + 2 * i, 3, "%02x", bytes[i]);
    return R"("header": {"DisplaySettings": ")" + std::string(hex) + "\"}";
}

// A bar of the test's own at the top of the shell's desktop, beside the ticker.
class TestAppBar {
public:
    TestAppBar() : window_(CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr)) {
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

private:
    APPBARDATA Data() {
        APPBARDATA data = {sizeof data, window_};
        data.uEdge = ABE_TOP;
        return data;
    }
    HWND window_;
    bool registered_ = false;
};

class GlancerTest : public AgentFixture {
protected:
    // Once the ticker runs, waits until the agent's record names it as the display window.
    void StartTicker(const TempDir& in, const CConfigData* record) {
        glancer = ChildProcess(in.File("Glancer.exe"), "");
        ASSERT_NE(nullptr, ticker = WaitForWindow(kGlancerWindowClass, glancer.id(), kStartTimeoutMs));
        if (record) {
            ASSERT_TRUE(WaitFor([&] { return record->DisplayWindow == HwndToWord(ticker); }, kStartTimeoutMs));
        }
    }
    void Start(const std::string& database = kOneTopic) {
        ASSERT_NO_FATAL_FAILURE(StartAgent(database, {"Glancer.exe"}));
        ASSERT_NO_FATAL_FAILURE(StartTicker(folder, cfg));
    }
    void Set(const display::Settings& settings) { SendSettings(ticker, engine, settings); }
    // As its menu does; this thread's windows answer meanwhile (a stand-in agent lives here).
    void CloseTicker() {
        PostMessageA(ticker, WM_CLOSE, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return glancer.Wait(0) != STILL_ACTIVE; }, kExitTimeoutMs));
        EXPECT_EQ(0u, glancer.Wait(0));
        ticker = nullptr;
    }
    void TearDown() override {
        if (ticker && glancer.Wait(0) == STILL_ACTIVE) CloseTicker();
        AgentFixture::TearDown();
    }
    ChildProcess glancer;
    HWND ticker = nullptr;
};

class GlancerWithAgent : public GlancerTest {};

class GlancerAlone : public GlancerTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
        CopyProgram(folder.path(), "Glancer.exe");
        folder.AddStandIn("Engine.exe");
        CreateDirectoryA(folder.File("Data").c_str(), nullptr);
    }
};

}  // namespace

// The data file's display settings and the settings file's edge disagree (an agent restart): the first win.
TEST_F(GlancerWithAgent, TakesTheDataFilesEdgeClaimsTheWindowsAndTakesNewSettings) {
    display::Settings bottom;
    bottom.edge = display::kEdgeBottom;
    folder.Write("Tidewell.ini", "[Tidewell Settings]\r\nEdgeDockedOn=1\r\n");
    ASSERT_NO_FATAL_FAILURE(Start("{" + HeaderWith(bottom) + ", " + (kOneTopic + 1)));
    EXPECT_TRUE(WaitFor([&] { return RectOf(ticker).bottom == GetSystemMetrics(SM_CYSCREEN); }, kStartTimeoutMs));
    EXPECT_TRUE(
        WaitFor([&] { return cfg->EdgeDockedOn == static_cast<int32_t>(display::kEdgeBottom); }, kStartTimeoutMs))
        << "not kept for the settings file: " << cfg->EdgeDockedOn;

    // Moved off its edge, it docks afresh when the display or its density changes.
    for (UINT change : {WM_DISPLAYCHANGE, WM_DPICHANGED}) {
        SetWindowPos(ticker, nullptr, 0, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_EQ(300, TopOf(ticker));
        SendMessageA(ticker, change, 0, 0);
        EXPECT_TRUE(WaitFor([&] { return RectOf(ticker).bottom == GetSystemMetrics(SM_CYSCREEN); }, 5000)) << change;
    }

    // A second ticker hands over to the first and ends.
    ChildProcess second(folder.File("Glancer.exe"), "");
    EXPECT_EQ(0u, second.Wait(kStartTimeoutMs));
    EXPECT_EQ(STILL_ACTIVE, glancer.Wait(0));

    // New settings as the agent hands them over after the preferences, of the right size only.
    display::Settings wanted;
    wanted.onTop = false;
    wanted.speed = 200;
    Set(wanted);
    RECT r = RectOf(ticker);
    EXPECT_EQ(std::make_tuple(0L, 0L, static_cast<LONG>(GetSystemMetrics(SM_CXSCREEN))),
              std::make_tuple(r.top, r.left, r.right));
    EXPECT_EQ(0, GetWindowLongA(ticker, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(1, cfg->EdgeDockedOn);  // kept where the settings file and the data file find it
    EXPECT_EQ(0, cfg->AlwaysOnTop);
    EXPECT_EQ(200u, display::Decode(cfg->DisplaySettings).speed);

    uint8_t left[sizeof cfg->DisplaySettings];
    wanted.edge = display::kEdgeLeft;
    display::Encode(wanted, left);
    SendSettings(ticker, engine, left, 10);
    SendSettings(ticker, engine, left, sizeof left, 2);
    EXPECT_EQ(1, cfg->EdgeDockedOn);
    EXPECT_EQ(0, TopOf(ticker));
    SendSettings(ticker, engine, left, sizeof left);  // upright at the left edge
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), RectOf(ticker).bottom - RectOf(ticker).top);
    EXPECT_EQ(0, cfg->EdgeDockedOn);
}

TEST_F(GlancerWithAgent, ABusyAgentIsAskedAgainNeverJoinedByAnother) {
    ASSERT_NO_FATAL_FAILURE(StartAgent(kOneTopic, {}));
    // Every topic conversation taken by a living program.
    std::vector<std::unique_ptr<Conversation>> held;
    for (int i = 0; i < 19; i++) {
        held.push_back(std::make_unique<Conversation>(engine, kTopicChannel));
        ASSERT_TRUE(held.back()->open()) << i;
    }
    InstallFolder beside("glancer-busy-ticker", InstallFolder::kWithoutDatabase);
    CopyProgram(beside.path(), "Glancer.exe");
    beside.AddStandIn("Engine.exe");
    ASSERT_NO_FATAL_FAILURE(StartTicker(beside, nullptr));
    PumpMessages(kQuietMs);
    EXPECT_EQ("", beside.StandInLog()) << "a refused conversation started another agent";
    EXPECT_NE(HwndToWord(ticker), cfg->DisplayWindow);

    held.clear();  // the agent has room again: the ticker, asking again, is served
    EXPECT_TRUE(WaitFor([&] { return cfg->DisplayWindow == HwndToWord(ticker); }, kStartTimeoutMs));
    EXPECT_EQ(STILL_ACTIVE, agent->Wait(0));
}

// Wine's shell answers ABM_QUERYPOS from the bars' rectangles but does not
// shrink the work area: the room kept is checked as a second bar sees it.
// Hidden, the bar keeps no room and leaves a sliver the mouse brings it back
// from; the settings file keeps it as it last lay when the agent goes.
TEST_F(GlancerWithAgent, ReservesItsEdgeHidesItselfAndGoesWithTheAgent) {
    ASSERT_NO_FATAL_FAILURE(StartAgent(kOneTopic, {"Glancer.exe"}));
    TestAppBar first;
    ASSERT_TRUE(first.registered()) << "no shell keeps application bars here";
    first.Reserve(50);
    ASSERT_NO_FATAL_FAILURE(StartTicker(folder, cfg));
    EXPECT_TRUE(WaitFor([&] { return TopOf(ticker) == 50; }, kStartTimeoutMs)) << TopOf(ticker);  // below it
    int thickness = RectOf(ticker).bottom - 50;
    TestAppBar second;
    EXPECT_EQ(50 + thickness, second.QueryTop());  // the ticker keeps its strip

    first.Remove();  // the ticker is told, and moves up to the edge
    EXPECT_TRUE(WaitFor([&] { return TopOf(ticker) == 0; }, kStartTimeoutMs)) << TopOf(ticker);
    EXPECT_EQ(thickness, second.QueryTop());
    MouseToTheMiddle();
    display::Settings settings;
    settings.autoHide = true;
    Set(settings);
    EXPECT_EQ(0, second.QueryTop());
    EXPECT_EQ(0, TopOf(ticker));  // shown for a moment after new settings
    EXPECT_TRUE(WaitFor([&] { return TopOf(ticker) == -(thickness - 2); }, 10000)) << TopOf(ticker);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) / 2, 0);
    EXPECT_TRUE(WaitFor([&] { return TopOf(ticker) == 0; }, 5000)) << TopOf(ticker);
    settings.autoHide = false;
    Set(settings);
    EXPECT_EQ(thickness, second.QueryTop());
    settings.autoHide = true;
    Set(settings);

    EXPECT_EQ(0u, agent->Close());
    EXPECT_EQ(0u, glancer.Wait(kExitTimeoutMs));
    EXPECT_EQ(0, second.QueryTop());  // given back at exit
    std::string file = folder.Read("Tidewell.ini");
    EXPECT_NE(std::string::npos, file.find("EdgeDockedOn=1")) << file;
    EXPECT_NE(std::string::npos, file.find("AutoHide=1")) << file;
}

TEST_F(GlancerAlone, StartsTheAgentBesideItselfOnceWhenNoneRuns) {
    ASSERT_NO_FATAL_FAILURE(StartTicker(folder, nullptr));
    EXPECT_TRUE(WaitFor([&] { return folder.StandInLog().find("Engine.exe") == 0; }, kStartTimeoutMs))
        << folder.StandInLog();
    PumpMessages(1500);  // it waits for the agent, and starts it only once
    std::string log = folder.StandInLog();
    EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n')) << log;
}

namespace {

// An agent played by the test: the shared record, an engine window, the conversations.
class StandInAgent {
public:
    // fill: the byte every field not set here holds.
    StandInAgent(const std::string& dataDir, char fill) {
        bool existed = false;
        block_ = MappedView::Create(kGlobalMappingName, kGlobalMappingSize, &existed);
        memset(block_.get(), fill, kGlobalMappingSize);
        window_ = MakeTestWindow(kEngineWindowClass, 0, 0, 0, 0, 0, HWND_MESSAGE, Proc);
        CConfigData& c = cfg();
        memset(c.DataDir, 0, sizeof c.DataDir);
        memcpy(c.DataDir, dataDir.data(), std::min(dataDir.size(), sizeof c.DataDir - 1));
        c.EngineWindow = HwndToWord(window_);
        c.AdTopicId = kAdTopic;
        c.DisplayPreference = display::kShowQuotes;  // and the ads
        gAgent = this;
    }
    virtual ~StandInAgent() {
        DestroyWindow(window_);
        UnregisterClassA(kEngineWindowClass, GetModuleHandleA(nullptr));
        gAgent = nullptr;
    }
    CConfigData& cfg() {
        return *reinterpret_cast<CConfigData*>(static_cast<uint8_t*>(block_.get()) + kGlobalRecordOffset);
    }
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
            MappedView view = MappedView::Open(name, sizeof(ConversationHeader));
            if (!view) return 0;
            static_cast<ConversationHeader*>(view.get())->handle = static_cast<uint16_t>(conversations_.size() + 1);
            conversations_.push_back(std::move(view));
            return 1;
        }
        if (handle > conversations_.size()) return 0;
        if (code == 0) return ++closed, 1;
        answered++;
        uint8_t* area = static_cast<uint8_t*>(conversations_[handle - 1].get()) + sizeof(ConversationHeader);
        return channel == 0 ? Topic(code, reinterpret_cast<TopicArea*>(area))
                            : Message(code, reinterpret_cast<MsgArea*>(area));
    }

    MappedView block_;
    HWND window_ = nullptr;
    std::vector<MappedView> conversations_;
    static StandInAgent* gAgent;
};

StandInAgent* StandInAgent::gAgent = nullptr;

// Its shared record and every answer junk: texts without ends, endless ids, bitmaps that are not.
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

// One topic of `headlines` headlines and an ad stream of two ads; each ad asked for is a view reported.
class AdCountingAgent : public StandInAgent {
public:
    explicit AdCountingAgent(const std::string& dataDir) : StandInAgent(dataDir, 0) {}
    int adsFetched = 0;
    uint32_t headlines = 1;

private:
    static constexpr uint32_t kNewsTopic = 1;

    LRESULT Topic(uint16_t code, TopicArea* a) override {
        uint32_t id = code == FETCH_FIRST ? kNewsTopic : a->topic.ridTopic == kNewsTopic ? kAdTopic : kNoId;
        if ((code != FETCH_FIRST && code != FETCH_NEXT) || id == kNoId) return 0;
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

// The header of a plain 24-bit bitmap of width by rows pixels; the pixels, if any, follow.
std::string BitmapHeader(uint16_t width, uint16_t rows) {
    std::string b = "BM" + std::string(52, '\0');
    b[10] = 54;
    b[14] = 40;
    memcpy(&b[18], &width, sizeof width);
    memcpy(&b[22], &rows, sizeof rows);
    b[26] = 1;
    b[28] = 24;
    return b;
}

}  // namespace

// Nothing moves while locked, paused, under the screen saver or slid away: no frame timer runs, and no ad is
// fetched (one is fetched only when it is about to be seen). Scrolling takes 60 to 80 ms of processor in 4 s;
// each idle state is allowed 20 ms, two of the host's clock steps. Each state is watched for more than a poll
// and a round: a round takes the loop afresh.
TEST_F(GlancerAlone, NothingMovesAndNoAdIsFetchedWhileNothingIsSeen) {
    std::string ad = BitmapHeader(60, 24) + std::string(60 * 3 * 24, '\x40');  // as the ads are
    folder.Write("Data\\A0000001.bmp", ad);
    folder.Write("Data\\A0000002.bmp", ad);
    AdCountingAgent standIn(folder.File("Data"));
    CConfigData& record = standIn.cfg();
    display::Settings fast;
    fast.speed = 400;  // a round of the short loop every few seconds
    display::Encode(fast, record.DisplaySettings);
    record.ScreenSaverOn = 1;
    MouseToTheMiddle();
    ASSERT_NO_FATAL_FAILURE(StartTicker(folder, &record));
    PumpMessages(kQuietMs);
    EXPECT_EQ(0, standIn.adsFetched) << "under the screen saver";
    record.ScreenSaverOn = 0;
    EXPECT_TRUE(WaitFor([&] { return standIn.adsFetched > 0; }, 2 * kQuietMs)) << "fetched once it is seen";

    std::string path = folder.File("Glancer.exe");
    const bool measured = HostCpuSeconds(path) >= 0;  // the host's /proc seen through Z:
    auto stillWhile = [&](const char* state, bool framesStop = true) {
        PumpMessages(4000);  // a poll, and a round that began before, may still come
        int before = standIn.adsFetched;
        double cpu = HostCpuSeconds(path);
        PumpMessages(4000);
        if (measured && framesStop) {
            EXPECT_LE(HostCpuSeconds(path) - cpu, 0.02) << state;
        }
        PumpMessages(2 * kQuietMs - 4000);
        EXPECT_EQ(before, standIn.adsFetched) << state;
    };
    PostMessageA(ticker, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    stillWhile("locked");
    PostMessageA(ticker, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    PostMessageA(ticker, WM_COMMAND, kPauseCommand, 0);
    stillWhile("paused");
    PostMessageA(ticker, WM_COMMAND, kPauseCommand, 0);  // and on again
    record.ScreenSaverOn = 1;                            // the ticker looks every few seconds
    stillWhile("under the screen saver");
    record.ScreenSaverOn = 0;
    display::Settings hiding = fast;
    hiding.autoHide = true;
    SendSettings(ticker, standIn.window(), hiding);
    EXPECT_TRUE(WaitFor([&] { return TopOf(ticker) < -10; }, 10000)) << TopOf(ticker);
    stillWhile("slid away");
    SendSettings(ticker, standIn.window(), fast);
    standIn.headlines = 0;
    stillWhile("with nothing to show between", false);
    standIn.headlines = 1;
    DeleteFileA(folder.File("Data\\A0000001.bmp").c_str());
    DeleteFileA(folder.File("Data\\A0000002.bmp").c_str());
    stillWhile("without a bitmap to show", false);
    CloseTicker();
    if (!measured) GTEST_SKIP() << "the host's /proc is not seen through Z:: the processor used was not measured";
}

// A build of the ticker whose heap gives no block over 64 KB, fed headlines without end.
TEST_F(GlancerAlone, AnExhaustedHeapIsTracedAndTheBarGoesOn) {
    CopyProgram(folder.path(), "glancer_small_heap.exe", "Glancer.exe");
    HostileAgent standIn(folder.File("Data"));
    ASSERT_NO_FATAL_FAILURE(StartTicker(folder, &standIn.cfg()));
    PumpMessages(kQuietMs);
    EXPECT_EQ(STILL_ACTIVE, glancer.Wait(0)) << "std::bad_alloc ended the ticker";
    EXPECT_TRUE(WaitForAnswer(ticker, 5000));
    CloseTicker();
}

TEST_F(GlancerAlone, DrawsOrSkipsHostileSharedDataAndStillCloses) {
    folder.AddStandIn("browser.exe");
    folder.Write("Data\\A0000001.bmp", std::string(5000, 'B'));
    folder.Write("Data\\A0000002.bmp", BitmapHeader(1792, 400));              // without the pixels it promises
    folder.Write("Data\\A0000003.bmp", "BM" + std::string(5 << 20, '\x7f'));  // bigger than any ad
    HostileAgent standIn(folder.File("Data"));
    CConfigData& record = standIn.cfg();
    std::string browser = folder.File("browser.exe");
    memcpy(record.BrowserPath, browser.c_str(), browser.size() + 1);
    ASSERT_NO_FATAL_FAILURE(StartTicker(folder, &record));
    EXPECT_TRUE(WaitFor([&] { return standIn.answered > 1000; }, kStartTimeoutMs)) << "it walked the endless answers";
    PumpMessages(kQuietMs);
    EXPECT_LT(standIn.answered, 50000) << "but not for ever";

    uint8_t junk[sizeof record.DisplaySettings];
    memset(junk, 0xEE, sizeof junk);
    SendSettings(ticker, standIn.window(), junk, sizeof junk);  // no mark: the defaults
    SendMessageA(ticker, gMessages.loadPage, 0, 0);             // a page address without its end
    memcpy(record.PageUrl, "file:///c:/windows", 19);
    SendMessageA(ticker, gMessages.loadPage, 0, 0);  // not a web address
    PumpMessages(kQuietMs);
    PostMessageA(ticker, WM_COMMAND, kPreferencesCommand, 0);  // asks the engine window for the dialog
    EXPECT_TRUE(WaitFor([&] { return standIn.preferences == 1; }, kStartTimeoutMs));

    EXPECT_EQ(STILL_ACTIVE, glancer.Wait(0));
    EXPECT_EQ("", folder.StandInLog()) << "it started nothing: the standIn runs, and no page was a web address";
    EXPECT_EQ(0, TopOf(ticker));  // the defaults: at the top
    CloseTicker();
    EXPECT_EQ(kNoWindow, record.DisplayWindow);
    EXPECT_EQ(kNoWindow, record.PageWindow);
    EXPECT_EQ(2, standIn.closed) << "both conversations were closed";
}
