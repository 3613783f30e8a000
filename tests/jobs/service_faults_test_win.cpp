// The local news service misbehaves on purpose while a real agent runs all
// three download jobs against it: it cuts the header or the body, announces
// a wrong length, answers 500, refuses connections, stalls, floods a header
// line or sends noise. The agent must go on serving display programs while a
// job waits, and each job's next run must work once the service is healthy.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "agent_process_win.h"
#include "news_service_win.h"
#include "shared/conversation_win.h"
#include "trace_capture_win.h"

namespace {

constexpr int kFeeds = 30;
constexpr int kAds = 30;
const char kUpdateFailure[] = "EngineUpdate::CUpdate::OnDisconnect(): Connect Failure";
const char kAdFailure[] = "AdStream::CUpdate::OnDiconnect(): Connect Failure";
const char kQuoteFailure[] = "YahooQuote::CUpdate::OnDisconnect(): Connect Failure";

std::string FeedName(int n) {
    char name[8];
    snprintf(name, sizeof name, "f%02d", n);
    return name;
}

// Every feed topic starts due and, until a request for it succeeds, stays
// due a second after each try (a good answer sets the feed's own schedule).
// A negative pace lets every job run on every tick, which keeps this test
// short; the spacing of the runs is tested elsewhere.
std::string Database() {
    std::string topics;
    for (int n = 1; n <= kFeeds; n++) {
        topics += R"({"Title": "News / )" + FeedName(n) + R"(", "dwInterval": 1, "ConfigUrl": "http://127.0.0.1:8642/feeds/)" +
                  FeedName(n) + R"(.twl"},)";
    }
    std::string ads;
    const char* names[] = {"ferry", "chandlery", "fishmarket"};
    for (int n = 1; n <= kAds; n++) {
        ads += std::string(n > 1 ? "," : "") + R"({"ridMsg": )" + std::to_string(n) +
               R"(, "Title": "http://127.0.0.1:8642/ads/)" + names[n % 3] + R"(C.bmp"})";
    }
    std::string future = std::to_string(time(nullptr) + 100000);  // the update leaves the ad stream alone
    return R"({"header": {"Pace": -5, "AccountId": "faults"}, "topics": [)" + topics +
           R"({"dwType": 3, "Title": "Stocks / Quotes",
               "ConfigUrl": "http://127.0.0.1:8643/d/quotes.csv?s=TIDE&f=sl1d1t1c1ohgv&e=.csv",
               "messages": [{"ridMsg": 1, "Title": "TIDE;0;0"}]},
              {"dwType": 4, "Title": "AdStream", "tmLastUpdate": )" +
           future + R"(, "messages": [)" + ads + "]}]}";
}

// What a display program sees of the jobs' work.
struct Progress {
    int feedsWithNews = 0;
    int adsWithBitmaps = 0;
    int32_t quoteReceived = 0;
};

// Calls visit for each message of the topic, oldest first.
void ForEachMessage(Conversation& messages, uint32_t ridTopic, const std::function<void(const MsgRecord&)>& visit) {
    MsgArea& area = messages.messages();
    area.wrap = 0;
    area.msg.ridTopic = ridTopic;
    area.msg.ridMsg = 0xFFFFFFFF;
    for (LRESULT found = messages.Request(FETCH_FIRST); found; found = messages.Request(FETCH_NEXT)) visit(area.msg);
}

Progress Look(HWND engine) {
    Progress seen;
    Conversation topics(engine, 0);
    Conversation messages(engine, 1);
    if (!topics.open() || !messages.open()) return seen;
    TopicArea& area = topics.topics();
    area.wrap = 0;
    uint32_t quotes = 0xFFFFFFFF;
    for (LRESULT found = topics.Request(FETCH_FIRST); found; found = topics.Request(FETCH_NEXT)) {
        if (std::string(area.topic.Title).rfind("News / f", 0) == 0 && area.msgCount > 0) seen.feedsWithNews++;
        if (area.topic.dwType == 3) quotes = area.topic.ridTopic;
    }
    ForEachMessage(messages, quotes, [&](const MsgRecord& quote) { seen.quoteReceived = quote.tmReceived; });
    // Steps over the topics pass the ad stream by; the shared record names it.
    ForEachMessage(messages, GlobalBlockView().config().AdTopicId, [&](const MsgRecord& ad) {
        if (std::string(ad.Title).rfind("A0", 0) == 0) seen.adsWithBitmaps++;
    });
    return seen;
}

// A display program steps through the headlines with wrap on: every request
// must be answered, and quickly, whatever a job is waiting for.
DWORD ExpectDisplayServed(HWND engine) {
    Conversation messages(engine, 1);
    EXPECT_TRUE(messages.open());
    messages.messages().wrap = 1;
    messages.messages().msg.ridMsg = 0xFFFFFFFF;
    EXPECT_EQ(1, messages.Request(FETCH_FIRST));
    DWORD start = GetTickCount();
    int answered = 0;
    for (int i = 0; i < 200; i++) answered += messages.Request(FETCH_NEXT) == 1;
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(200, answered);
    EXPECT_LT(elapsed, 3000u) << "200 requests while a job waits";
    return elapsed;
}

class ServiceFaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.available()) << "run this through with_news_service.sh";
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
        for (int n = 1; n <= kFeeds; n++) {
            service_.AddFeed(FeedName(n), R"({"title": "News / )" + FeedName(n) +
                                              R"(", "keep": 3, "headlines": ["Tide turns", "Wind backs"]})");
        }
        folder_.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");
    }
    void TearDown() override {
        service_.SetFault("");
        if (HasFailure()) std::cerr << "agent trace:\n" << trace_.Dump();
    }

    size_t Failures(const char* text) { return trace_.Count(text, agent_ ? agent_->id() : 0); }

    // True once each job has met the fault: the service logged a request of
    // each kind under it, or (for refused connections, which it never sees)
    // each job traced a new failure.
    // The transfers that met the fault: seen by the service, or for refused
    // connections counted from the jobs' traces.
    size_t FaultyTransfers(const std::string& kind, const size_t (&failuresBefore)[3]) {
        if (kind == "refuse") {
            return Failures(kUpdateFailure) + Failures(kAdFailure) + Failures(kQuoteFailure) - failuresBefore[0] -
                   failuresBefore[1] - failuresBefore[2];
        }
        size_t count = 0;
        for (const ServiceRequest& request : service_.Requests()) count += request.fault == kind;
        return count;
    }

    bool EachJobMet(const std::string& kind, const size_t (&failuresBefore)[3]) {
        if (kind == "refuse") {
            return Failures(kUpdateFailure) > failuresBefore[0] && Failures(kAdFailure) > failuresBefore[1] &&
                   Failures(kQuoteFailure) > failuresBefore[2];
        }
        for (const char* prefix : {"/feeds/", "/ads/", "/d/quotes.csv"}) {
            bool met = false;
            for (const ServiceRequest& request : service_.RequestsFor(prefix)) met = met || request.fault == kind;
            if (!met) return false;
        }
        return true;
    }

    NewsService service_;
    TraceCapture trace_;
    InstallFolder folder_{"service-faults", InstallFolder::kWithoutDatabase};
    AgentProcess* agent_ = nullptr;
};

}  // namespace

TEST_F(ServiceFaultsTest, EveryJobRecoversFromEveryFault) {
    ASSERT_EQ(0u, folder_.MakeDatabase(Database()));
    AgentProcess agent(folder_);
    agent_ = &agent;
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_TRUE(engine);
    // Let the first runs go through while the service is healthy.
    ASSERT_TRUE(WaitFor([&] { return Look(engine).adsWithBitmaps > 0 && Look(engine).quoteReceived > 0; }, 30000));

    struct Fault {
        const char* kind;
        DWORD recoveryMs;  // a stalled transfer ends only when the agent's watch gives up on it
    } faults[] = {{"cut-header", 30000}, {"cut-body", 30000}, {"short", 30000}, {"length", 30000},
                  {"500", 30000},        {"refuse", 30000},   {"long-header", 30000}, {"noise", 30000},
                  {"stall", 150000}};
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.kind);
        size_t failuresBefore[3] = {Failures(kUpdateFailure), Failures(kAdFailure), Failures(kQuoteFailure)};
        service_.SetFault(fault.kind);
        ASSERT_TRUE(WaitFor([&] { return EachJobMet(fault.kind, failuresBefore); }, 30000));
        DWORD displayMs = ExpectDisplayServed(engine);

        Progress before = Look(engine);
        size_t faulty = FaultyTransfers(fault.kind, failuresBefore);
        DWORD healthyAt = GetTickCount();
        int32_t healthySince = static_cast<int32_t>(time(nullptr));
        service_.SetFault("");
        ASSERT_TRUE(WaitFor(
            [&] {
                Progress now = Look(engine);
                return now.feedsWithNews > before.feedsWithNews && now.adsWithBitmaps > before.adsWithBitmaps &&
                       now.quoteReceived >= healthySince;
            },
            fault.recoveryMs))
            << "feeds " << Look(engine).feedsWithNews << ", ads " << Look(engine).adsWithBitmaps;
        ASSERT_EQ(STILL_ACTIVE, agent.Wait(0));
        printf("fault %-11s  %2zu faulty transfers, 200 display requests meanwhile in %lu ms, all three jobs "
               "working again after %.0f s\n",
               fault.kind, faulty, displayMs, (GetTickCount() - healthyAt) / 1000.0);
    }
    EXPECT_TRUE(trace_.Contains("CHttp::OnRead(): Receive header buffer overflow", agent.id()));
    EXPECT_EQ(0u, agent.Close());
    agent_ = nullptr;
    EXPECT_NE(std::string::npos, folder_.DumpDatabase().find("\"Title\": \"News / f01\""));
}
