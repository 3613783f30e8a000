// The news service misbehaves on purpose (see newsd's faults) while a real
// agent runs all three download jobs: display programs stay served, each job
// works again once the service is healthy, and nothing a broken transfer
// brought is used: every stored bitmap and headline is what was sent, whole.
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "news_service_win.h"
#include "shared/conversation_win.h"

namespace {

constexpr int kFeeds = 30;
constexpr int kAds = 30;

std::string FeedName(int n) {
    return (n < 10 ? "f0" : "f") + std::to_string(n);
}

// What a display program sees of the jobs' work.
struct Progress {
    int feedsWithNews = 0;
    int32_t quoteReceived = 0;
    std::vector<std::string> headlines;  // of every feed topic
    std::vector<uint32_t> adsStored;     // the ads whose title names their bitmap
};

Progress Look(HWND engine) {
    Progress seen;
    Conversation topics(engine, kTopicChannel), messages(engine, kMessageChannel);
    if (!topics.open() || !messages.open()) return seen;
    auto forEachMessage = [&](uint32_t ridTopic, const std::function<void(const MsgRecord&)>& visit) {
        MsgArea& area = messages.messages();
        area.wrap = 0;
        area.msg.ridTopic = ridTopic;
        area.msg.ridMsg = 0xFFFFFFFF;
        for (LRESULT found = messages.Request(FETCH_FIRST); found; found = messages.Request(FETCH_NEXT))
            visit(area.msg);
    };
    TopicArea& area = topics.topics();
    area.wrap = 0;
    uint32_t quotes = 0xFFFFFFFF;
    std::vector<uint32_t> feeds;
    for (LRESULT found = topics.Request(FETCH_FIRST); found; found = topics.Request(FETCH_NEXT)) {
        bool feed = std::string(area.topic.Title).rfind("News / f", 0) == 0;
        seen.feedsWithNews += feed && area.msgCount > 0;
        if (feed) feeds.push_back(area.topic.ridTopic);
        quotes = area.topic.dwType == 3 ? area.topic.ridTopic : quotes;
    }
    for (uint32_t feed : feeds)
        forEachMessage(feed, [&](const MsgRecord& msg) { seen.headlines.push_back(msg.Title); });
    forEachMessage(quotes, [&](const MsgRecord& quote) { seen.quoteReceived = quote.tmReceived; });
    // Steps over the topics pass the ad stream by.
    forEachMessage(GlobalBlockView().config().AdTopicId, [&](const MsgRecord& ad) {
        if (std::string(ad.Title).rfind("A0", 0) == 0) seen.adsStored.push_back(ad.ridMsg);
    });
    return seen;
}

// 200 steps through the headlines are answered quickly whatever a job waits for.
void ExpectDisplayServed(HWND engine) {
    Conversation messages(engine, kMessageChannel);
    EXPECT_TRUE(messages.open());
    messages.messages().wrap = 1;
    messages.messages().msg.ridMsg = 0xFFFFFFFF;
    EXPECT_EQ(1, messages.Request(FETCH_FIRST));
    DWORD start = GetTickCount();
    int answered = 0;
    for (int i = 0; i < 200; i++) answered += messages.Request(FETCH_NEXT) == 1;
    EXPECT_EQ(200, answered);
    EXPECT_LT(GetTickCount() - start, 3000u) << "200 requests while a job waits";
}

}  // namespace

TEST_F(ServiceTest, EveryJobRecoversFromEveryFault) {
    for (int n = 1; n <= kFeeds; n++) {
        service_.AddFeed(FeedName(n), R"({"title": "News / )" + FeedName(n) +
                                          R"(", "keep": 3, "headlines": ["Tide turns", "Wind backs"]})");
    }
    InstallFolder folder("service-faults", InstallFolder::kWithoutDatabase);
    ASSERT_TRUE(PrepareJobsFolder(folder, FeedName, kFeeds, kAds, "faults"));
    AgentProcess agent(folder);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_TRUE(engine);
    ASSERT_TRUE(WaitFor([&] { return !Look(engine).adsStored.empty() && Look(engine).quoteReceived > 0; }, 30000));

    // Per job (update, ads, quotes), the transfers answered with the fault, or the failures traced for refusals.
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
    for (const char* fault : {"cut-header", "cut-body", "cut-bare", "short", "length", "500", "refuse", "long-header",
                              "noise", "endless", "stall", "stall-body"}) {
        SCOPED_TRACE(fault);
        const std::array<size_t, 3> before = met(fault);
        service_.SetFault(fault);
        ASSERT_TRUE(
            WaitFor([&] { return met(fault)[0] > before[0] && met(fault)[1] > before[1] && met(fault)[2] > before[2]; },
                    30000));
        ExpectDisplayServed(engine);

        Progress progress = Look(engine);
        int32_t healthySince = static_cast<int32_t>(time(nullptr));
        service_.SetFault("");
        // A stalled transfer ends only when the agent's watch gives up on it.
        ASSERT_TRUE(WaitFor(
            [&] {
                Progress now = Look(engine);
                return now.feedsWithNews > progress.feedsWithNews && now.adsStored.size() > progress.adsStored.size() &&
                       now.quoteReceived >= healthySince;
            },
            strncmp(fault, "stall", 5) ? 30000 : 150000))
            << "feeds " << Look(engine).feedsWithNews << ", ads " << Look(engine).adsStored.size();
        ASSERT_EQ(STILL_ACTIVE, agent.Wait(0));
    }
    EXPECT_TRUE(trace_.Contains("CHttp::OnRead(): Receive header buffer overflow", agent.id()));
    EXPECT_TRUE(trace_.Contains("CHttp::OnRead(): Error - body longer than", agent.id()));

    Progress stored = Look(engine);
    for (uint32_t ad : stored.adsStored) {
        char file[32];
        snprintf(file, sizeof file, "Data\\A%07lu.bmp", static_cast<unsigned long>(ad));
        std::string name = kAdNames[ad % 3], bitmap = folder.Read(file);
        EXPECT_TRUE(bitmap == NewsService::Fetch("/ads/" + name + "8.bmp") ||
                    bitmap == NewsService::Fetch("/ads/" + name + "4.bmp"))
            << file << " holds " << bitmap.size() << " bytes that the service did not send as one bitmap";
    }
    for (const std::string& headline : stored.headlines) {
        EXPECT_TRUE(headline == "Tide turns" || headline == "Wind backs") << "a headline cut short: " << headline;
    }
    EXPECT_FALSE(stored.adsStored.empty());
    EXPECT_FALSE(stored.headlines.empty());
    EXPECT_EQ(0u, agent.Close());
    EXPECT_NE(std::string::npos, folder.DumpDatabase().find("\"Title\": \"News / f01\""));
}
