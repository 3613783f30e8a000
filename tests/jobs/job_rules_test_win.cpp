// The timed jobs in this process, on a clock the test moves, against
// scripted HTTP servers on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fresh_database.h"
#include "jobs/ad_stream_win.h"
#include "jobs/engine_update_win.h"
#include "jobs/post_stats_win.h"
#include "jobs/yahoo_quote_win.h"
#include "net/tcp_win.h"
#include "os_override.h"
#include "process_win.h"
#include "script_server_win.h"
#include "temp_dir.h"
#include "test_window_win.h"

namespace {

constexpr DWORD kNetTimeoutMs = 15000;
const char kOk[] = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nOK";

// Both system clocks, in seconds.
int64_t gClock;
int32_t ClockNow() {
    return static_cast<int32_t>(gClock);
}
uint64_t ClockMonotonic() {
    return static_cast<uint64_t>(gClock) * 1000 + 123;
}

class JobTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        owner_ = MakeTestWindow("Tidewell job test owner", WS_POPUP, 0, 0, 10, 10);
        ASSERT_EQ(1, NetworkInit(GetModuleHandleA(nullptr), 1));
        PostStats::Init(owner_);
    }
    static void TearDownTestSuite() {
        PostStats::Term();
        NetworkTerm();
        DestroyWindow(owner_);
    }

    JobTest() {
        ResetDatabase(cfg_);
        strcpy(cfg_.DataDir, dir_.path().c_str());
        strcpy(cfg_.AccountId, "acct");
        gOs.Now = ClockNow;
        gOs.Monotonic = ClockMonotonic;
        gClock += 100000;  // the report's hour is over whatever an earlier test did
    }
    // A job left registered after its test would answer a later test's events.
    ~JobTest() override {
        AdStream::gJob = nullptr;
        YahooQuote::gJob = nullptr;
        EngineUpdate::gJob = nullptr;
        gTopicArray.Clear();
        gConfig = nullptr;
    }

    void UseProxy(const ScriptServer& proxy) {
        cfg_.HttpProxyEnabled = 1;
        strcpy(cfg_.HttpProxy, "127.0.0.1");
        cfg_.HttpProxyPort = proxy.port();
    }

    static inline HWND owner_ = nullptr;
    TempDir dir_{"jobs"};
    TraceRecorder trace_;  // also puts the system entries back
    CConfigData cfg_;
};

size_t Count(const TraceRecorder& trace, const std::string& line) {
    return std::count(trace.lines().begin(), trace.lines().end(), line);
}

}  // namespace

// The ad job runs at most every 3 x Pace + 1 seconds, the quote job every 5 x Pace + 25.
TEST_F(JobTest, AdAndQuoteRunsKeepTheirSpacing) {
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    for (uint32_t ad = 1; ad <= 9; ad++) AddMsg(ads, ad, "A000000" + std::to_string(ad) + ".bmp");  // all here
    AddTopic(TOPIC_QUOTES, "Stocks / Quotes");  // no address: each run traces it
    const std::string badUrl = "YahooQuote::CUpdate::OnClockTick(): Error - bad url";
    for (int32_t pace : {1, 4}) {
        SCOPED_TRACE(pace);
        cfg_.Pace = pace;
        AdStream::CUpdate adJob(owner_);
        YahooQuote::CUpdate quoteJob(owner_);
        AdStream::gJob = &adJob;
        YahooQuote::gJob = &quoteJob;
        const size_t quotesBefore = Count(trace_, badUrl);
        const int64_t start = gClock, adSpacing = 3 * pace + 1, quoteSpacing = 5 * pace + 25;
        std::vector<uint32_t> adTaken;
        std::vector<size_t> quoteRuns;
        for (int64_t at : {int64_t{0}, adSpacing - 1, adSpacing, 2 * adSpacing - 1, 2 * adSpacing, quoteSpacing - 1,
                           quoteSpacing, quoteSpacing + adSpacing - 1}) {
            gClock = start + at;
            adJob.OnClockTick();
            quoteJob.OnClockTick();
            adTaken.push_back(adJob.lastAdNumber);
            quoteRuns.push_back(Count(trace_, badUrl) - quotesBefore);
        }
        EXPECT_EQ((std::vector<uint32_t>{1, 1, 2, 2, 3, 4, 4, 5}), adTaken);
        EXPECT_EQ((std::vector<size_t>{1, 1, 1, 1, 1, 1, 2, 2}), quoteRuns);
    }
}

// A due topic without a usable address is never requested, but uses up its turn.
TEST_F(JobTest, ATopicWithoutAddressUsesUpItsTurn) {
    CTopic& empty = AddTopic(TOPIC_SUBSCRIPTION, "News / Empty");
    CTopic& next = AddTopic(TOPIC_SUBSCRIPTION, "News / Next");
    strcpy(next.ConfigUrl, ("http://127.0.0.1/" + std::string(300, 'p')).c_str());  // a path no request can carry
    EngineUpdate::CUpdate job(owner_);
    EngineUpdate::gJob = &job;
    job.OnClockTick();
    EXPECT_EQ(empty.ridTopic, job.lastTopicId);
    EXPECT_EQ(ClockNow(), empty.tmLastUpdate);
    EXPECT_EQ(1, job.idle);
    EXPECT_TRUE(trace_.lines().empty());
    gClock += 60;
    job.OnClockTick();
    EXPECT_EQ(next.ridTopic, job.lastTopicId);
    EXPECT_EQ(ClockNow(), next.tmLastUpdate);
    EXPECT_EQ(std::vector<std::string>{"EngineUpdate::CUpdate::OnClockTick(): Url Format Error"}, trace_.lines());
}

// Without the proxy the jobs ask the service directly: feeds_test. Held by
// another program, no job sends anything, nor spends its run (passive: feeds_test).
TEST_F(JobTest, EveryJobGoesThroughTheProxyWhileItIsOnAndNoneWhileHeld) {
    ScriptServer server({{kOk}});
    CTopic& feed = AddTopic(TOPIC_SUBSCRIPTION, "News / Proxied");
    CTopic& quotes = AddTopic(TOPIC_QUOTES, "Stocks / Quotes");
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    AddMsg(ads, 5, "http://ads.test/ads/ferryC.bmp");
    EngineUpdate::CUpdate update(owner_);
    YahooQuote::CUpdate quote(owner_);
    AdStream::CUpdate ad(owner_);
    EngineUpdate::gJob = &update;
    YahooQuote::gJob = &quote;
    AdStream::gJob = &ad;
    UseProxy(server);
    strcpy(feed.ConfigUrl, "http://news.test/feeds/a.twl");
    strcpy(quotes.ConfigUrl, "http://quotes.test/d/quotes.csv?s=TIDE&f=sl1d1t1c1ohgv&e=.csv");
    gClock += 3600;
    ads.tmLastUpdate = ClockNow();  // just asked: the update's turn stays with the feed
    auto tick = [&] {
        update.OnClockTick();
        quote.OnClockTick();
        ad.OnClockTick();
        PostStats::OnClockTick();
    };
    cfg_.JobsHeld = 1;
    tick();
    cfg_.JobsHeld = 0;
    PumpMessages(300);
    EXPECT_EQ(0, server.Connections());
    tick();
    EXPECT_TRUE(WaitFor([&] { return server.Requests().size() == 4; }, kNetTimeoutMs));
    EXPECT_TRUE(WaitFor([&] { return update.idle && quote.idle && ad.idle; }, kNetTimeoutMs));
    std::vector<std::string> lines;
    for (const std::string& request : server.Requests()) lines.push_back(request.substr(0, request.find("\r\n")));
    std::sort(lines.begin(), lines.end());
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("GET http://ads.test:80/ads/ferry8.bmp?AID=acct HTTP/1.0", lines[0]);
    EXPECT_EQ("GET http://news.test:80/feeds/a.twl?Update&Have=0&AID=acct HTTP/1.0", lines[1]);
    EXPECT_EQ("GET http://quotes.test:80/d/quotes.csv?s=TIDE&f=sl1d1t1c1ohgv&e=.csv HTTP/1.0", lines[2]);
    EXPECT_EQ(0u, lines[3].find("POST http://127.0.0.1:8642/Bin/Update.dll?TwlUpdate&AID=acct&SID=0&SL=")) << lines[3];
}

// The report goes out at most once an hour, counted from every attempt, and
// is sent only when the server answered 200 and closed the connection itself.
TEST_F(JobTest, TheUsageReportSpendsItsHourWhateverBecomesOfIt) {
    const std::string failure = "PostStats::OnDisconnect(): Connect Failure";
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    strcpy(ads.ConfigUrl, "http://news.test/x");
    ScriptServer refusing({{"HTTP/1.0 500 Server Error\r\nContent-Length: 2\r\n\r\nNO"}});
    UseProxy(refusing);

    PostStats::OnClockTick();  // no ads yet: nothing to report, the hour is spent
    AddMsg(ads, 5, "A0000005.bmp").dwViews = 3;
    gClock += 3599;
    PostStats::OnClockTick();
    PumpMessages(500);
    EXPECT_EQ(0, refusing.Connections());
    gClock += 1;
    PostStats::OnClockTick();
    ASSERT_TRUE(WaitFor([&] { return trace_.Contains(failure); }, kNetTimeoutMs));
    EXPECT_EQ(1u, refusing.Requests().size());
    EXPECT_NE(std::string::npos, refusing.Requests()[0].find("\r\n\r\nhttp://news.test/x=5:3"))
        << refusing.Requests()[0];

    gClock += 3599;
    PostStats::OnClockTick();
    PumpMessages(500);
    EXPECT_EQ(1, refusing.Connections());

    ScriptServer accepting({{kOk}});
    UseProxy(accepting);
    gClock += 1;
    PostStats::OnClockTick();
    ASSERT_TRUE(WaitFor([&] { return accepting.Connections() == 1; }, kNetTimeoutMs));
    PumpMessages(1000);
    EXPECT_EQ(1u, Count(trace_, failure)) << "a report the server took and closed failed";

    ScriptServer stalling({{kOk}}, ScriptServer::kStall);  // answers 200, never closes
    UseProxy(stalling);
    gClock += 3600;
    PostStats::OnClockTick();
    ASSERT_TRUE(WaitFor([&] { return stalling.Requests().size() == 1; }, kNetTimeoutMs));
    PumpMessages(500);
    EXPECT_EQ(1u, Count(trace_, failure));
    gClock += 61;  // long past the connection's time-out
    NetworkWatchTick();
    EXPECT_TRUE(WaitFor([&] { return Count(trace_, failure) == 2; }, kNetTimeoutMs)) << "a timed-out report counted";
}
