// The local news service misbehaves on purpose while a real agent runs all
// three download jobs against it: it cuts the header or the body, announces
// a wrong length, answers 500, refuses connections, stalls, floods a header
// line or sends noise. The agent must go on serving display programs while a
// job waits, and each job's next run must work once the service is healthy.
#include <array>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "news_service_win.h"
#include "shared/conversation_win.h"

namespace {

constexpr int kFeeds = 30;
constexpr int kAds = 30;

std::string FeedName(int n) {
    return (n < 10 ? "f0" : "f") + std::to_string(n);
}

// Every feed topic starts due and, until a request for it succeeds, stays
// due a second after each try (a good answer sets the feed's own schedule).
// A negative pace lets every job run on every tick, which keeps this test
// short; the spacing of the runs is tested elsewhere. The update leaves the
// ad stream alone.
std::string Database() {
    std::string topics, ads;
    for (int n = 1; n <= kFeeds; n++) {
        topics += R"({"Title": "News / )" + FeedName(n) +
                  R"(", "dwInterval": 1, "ConfigUrl": "http://127.0.0.1:8642/feeds/)" + FeedName(n) + R"(.twl"},)";
    }
    const char* names[] = {"ferry", "chandlery", "fishmarket"};
    for (int n = 1; n <= kAds; n++) {
        ads += std::string(n > 1 ? "," : "") + R"({"ridMsg": )" + std::to_string(n) +
               R"(, "Title": "http://127.0.0.1:8642/ads/)" + names[n % 3] + R"(C.bmp"})";
    }
    return R"({"header": {"Pace": -5, "AccountId": "faults"}, "topics": [)" + topics +
           R"({"dwType": 3, "Title": "Stocks / Quotes",
               "ConfigUrl": "http://127.0.0.1:8643/d/quotes.csv?s=TIDE&f=sl1d1t1c1ohgv&e=.csv",
               "messages": [{"ridMsg": 1, "Title": "TIDE;0;0"}]},
              {"dwType": 4, "Title": "AdStream", "tmLastUpdate": )" +
           std::to_string(time(nullptr)) + R"(, "messages": [)" + ads + "]}]}";  // just asked
}

// What a display program sees of the jobs' work.
struct Progress {
    int feedsWithNews = 0;
    int adsWithBitmaps = 0;
    int32_t quoteReceived = 0;
};

Progress Look(HWND engine) {
    Progress seen;
    Conversation topics(engine, 0), messages(engine, 1);
    if (!topics.open() || !messages.open()) return seen;
    // Calls visit for each message of the topic, oldest first.
    auto forEachMessage = [&](uint32_t ridTopic, const std::function<void(const MsgRecord&)>& visit) {
        MsgArea& area = messages.messages();
        area.wrap = 0;
        area.msg.ridTopic = ridTopic;
        area.msg.ridMsg = 0xFFFFFFFF;
        for (LRESULT found = messages.Request(FETCH_FIRST); found; found = messages.Request(FETCH_NEXT)) visit(area.msg);
    };
    TopicArea& area = topics.topics();
    area.wrap = 0;
    uint32_t quotes = 0xFFFFFFFF;
    for (LRESULT found = topics.Request(FETCH_FIRST); found; found = topics.Request(FETCH_NEXT)) {
        seen.feedsWithNews += std::string(area.topic.Title).rfind("News / f", 0) == 0 && area.msgCount > 0;
        quotes = area.topic.dwType == 3 ? area.topic.ridTopic : quotes;
    }
    forEachMessage(quotes, [&](const MsgRecord& quote) { seen.quoteReceived = quote.tmReceived; });
    // Steps over the topics pass the ad stream by; the shared record names it.
    forEachMessage(GlobalBlockView().config().AdTopicId,
                   [&](const MsgRecord& ad) { seen.adsWithBitmaps += std::string(ad.Title).rfind("A0", 0) == 0; });
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

}  // namespace

TEST_F(ServiceTest, EveryJobRecoversFromEveryFault) {
    for (int n = 1; n <= kFeeds; n++) {
        service_.AddFeed(FeedName(n), R"({"title": "News / )" + FeedName(n) +
                                          R"(", "keep": 3, "headlines": ["Tide turns", "Wind backs"]})");
    }
    InstallFolder folder("service-faults", InstallFolder::kWithoutDatabase);
    folder.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");
    ASSERT_EQ(0u, folder.MakeDatabase(Database()));
    AgentProcess agent(folder);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_TRUE(engine);
    // Let the first runs go through while the service is healthy.
    ASSERT_TRUE(WaitFor([&] { return Look(engine).adsWithBitmaps > 0 && Look(engine).quoteReceived > 0; }, 30000));

    // The transfers of each job (update, ads, quotes) that met the fault: those
    // the service answered with it, or, for refused connections, which it
    // never sees, the failures each job traced.
    auto met = [&](const std::string& kind) {
        const char* failures[] = {"EngineUpdate::CUpdate::OnDisconnect(): Connect Failure",
                                  "AdStream::CUpdate::OnDiconnect(): Connect Failure",
                                  "YahooQuote::CUpdate::OnDisconnect(): Connect Failure"};
        const char* prefixes[] = {"/feeds/", "/ads/", "/d/quotes.csv"};
        std::array<size_t, 3> count{};
        for (int job = 0; job < 3; job++) {
            for (const ServiceRequest& request : service_.Requests(prefixes[job])) count[job] += request.fault == kind;
            if (kind == "refuse") count[job] = trace_.Count(failures[job], agent.id());
        }
        return count;
    };
    for (const char* fault :
         {"cut-header", "cut-body", "short", "length", "500", "refuse", "long-header", "noise", "stall"}) {
        SCOPED_TRACE(fault);
        const std::array<size_t, 3> before = met(fault);
        service_.SetFault(fault);
        ASSERT_TRUE(WaitFor([&] { return met(fault)[0] > before[0] && met(fault)[1] > before[1] &&
                                         met(fault)[2] > before[2]; }, 30000));
        DWORD displayMs = ExpectDisplayServed(engine);

        Progress progress = Look(engine);
        const std::array<size_t, 3> after = met(fault);
        DWORD healthyAt = GetTickCount();
        int32_t healthySince = static_cast<int32_t>(time(nullptr));
        service_.SetFault("");
        // A stalled transfer ends only when the agent's watch gives up on it.
        ASSERT_TRUE(WaitFor(
            [&] {
                Progress now = Look(engine);
                return now.feedsWithNews > progress.feedsWithNews && now.adsWithBitmaps > progress.adsWithBitmaps &&
                       now.quoteReceived >= healthySince;
            },
            strcmp(fault, "stall") ? 30000 : 150000))
            << "feeds " << Look(engine).feedsWithNews << ", ads " << Look(engine).adsWithBitmaps;
        ASSERT_EQ(STILL_ACTIVE, agent.Wait(0));
        printf("fault %-11s  %2zu faulty transfers, 200 display requests meanwhile in %lu ms, all three jobs "
               "working again after %.0f s\n",
               fault, after[0] + after[1] + after[2] - before[0] - before[1] - before[2], displayMs,
               (GetTickCount() - healthyAt) / 1000.0);
    }
    EXPECT_TRUE(trace_.Contains("CHttp::OnRead(): Receive header buffer overflow", agent.id()));
    EXPECT_EQ(0u, agent.Close());
    EXPECT_NE(std::string::npos, folder.DumpDatabase().find("\"Title\": \"News / f01\""));
}
