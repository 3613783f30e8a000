// The subscription update with a real agent and the local news service:
// its gates, its turn over the topics, and the road of one subscription from
// a command line to the display program and the data file.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "agent_process_win.h"
#include "news_service_win.h"
#include "script_server_win.h"
#include "trace_capture_win.h"

namespace {

std::string Feed(const std::string& title, int period = 1000) {
    return R"({"title": ")" + title + R"(", "msgbase": "http://127.0.0.1:8642/m/", "keep": 5, "period": )" +
           std::to_string(period) + R"(, "headlines": ["First story", "Second story", "Third story"]})";
}

std::string Topic(const std::string& title, const std::string& feed, const std::string& more = "") {
    return R"({"Title": ")" + title + R"(", "ConfigUrl": "http://127.0.0.1:8642/feeds/)" + feed + R"(.twl")" + more +
           "}";
}

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.available()) << "run this through with_news_service.sh";
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << "agent trace:\n" << trace_.Dump();
    }

    NewsService service_;
    TraceCapture trace_;
};

}  // namespace

TEST_F(UpdateTest, DueTopicsAreRequestedInTurnWithinTheGates) {
    for (const char* name : {"a", "b", "c", "d", "e", "g", "h"}) service_.AddFeed(name, Feed(std::string("News / ") + name));
    std::string future = std::to_string(time(nullptr) + 100000);
    InstallFolder folder("update-gates", InstallFolder::kWithoutDatabase);
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"header": {"AccountId": "acct-9"}, "topics": [)" +
                                      Topic("News / a", "a") + "," + Topic("News / b", "b", R"(, "bActive": 0)") + "," +
                                      Topic("Stocks / c", "c", R"(, "dwType": 3)") + "," + Topic("News / d", "d") + "," +
                                      Topic("News / f", "f", R"(, "ConfigUrl": "http://127.0.0.1:)" +
                                                                 std::to_string(RefusingPort()) + R"(/f.twl")") +
                                      "," + Topic("News / e", "e", R"(, "tmLastUpdate": )" + future) + "," +
                                      Topic("News / g", "g") + "," + Topic("News / h", "h") + "]}"));
    DWORD started = GetTickCount();
    AgentProcess agent(folder);
    ASSERT_TRUE(agent.WaitForEngineWindow());

    // The first tick requests at once; at Pace 1 (3 s apart) every tick runs.
    ASSERT_TRUE(WaitFor([&] { return service_.RequestsFor("/feeds/d.twl").size() == 1; }, 20000));
    EXPECT_LT(GetTickCount() - started, 20000u);
    auto a = service_.RequestsFor("/feeds/a.twl");
    ASSERT_EQ(1u, a.size());
    EXPECT_EQ("/feeds/a.twl?Update&Have=0&AID=acct-9", a[0].path);
    double gap = service_.RequestsFor("/feeds/d.twl")[0].time - a[0].time;
    EXPECT_GT(gap, 3.0);
    EXPECT_LT(gap, 8.0);

    // The refused topic costs its transfer object; the next run goes on with the next topic.
    ASSERT_TRUE(WaitFor([&] { return service_.RequestsFor("/feeds/g.twl").size() == 1; }, 20000));
    EXPECT_TRUE(trace_.Contains("EngineUpdate::CUpdate::OnDisconnect(): Connect Failure", agent.id()));

    // At Pace 3 (9 s apart) only every second tick runs.
    {
        GlobalBlockView block;
        block.config().Pace = 3;
    }
    ASSERT_TRUE(WaitFor([&] { return service_.RequestsFor("/feeds/h.twl").size() == 1; }, 30000));
    double slower = service_.RequestsFor("/feeds/h.twl")[0].time - service_.RequestsFor("/feeds/g.twl")[0].time;
    EXPECT_GT(slower, 9.0);

    PumpMessages(6000);
    EXPECT_TRUE(service_.RequestsFor("/feeds/b.twl").empty()) << "an inactive topic was requested";
    // (the stock-quote job asks its topic's address for quotes, without "?Update")
    EXPECT_TRUE(service_.RequestsFor("/feeds/c.twl?Update").empty()) << "the stock-quote topic was updated";
    EXPECT_TRUE(service_.RequestsFor("/feeds/e.twl").empty()) << "a topic whose interval has not passed was requested";
    EXPECT_EQ(1u, service_.RequestsFor("/feeds/a.twl").size()) << "its answer set an interval of five minutes";
    EXPECT_EQ(0u, agent.Close());
}

TEST_F(UpdateTest, OneSubscriptionFromTheCommandLineToTheDataFile) {
    service_.AddFeed("harbour", Feed("News / Harbour"));
    InstallFolder folder("update-road");
    CopyProgram(folder.path(), "twl.exe");
    folder.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");  // without it the purge keeps nothing
    AgentProcess agent(folder);
    ASSERT_TRUE(agent.WaitForEngineWindow());

    // A subscription handed over on the command line: two headlines of its own.
    folder.Write("harbour.twl", "[General]\r\nConfigVersion=1\r\n[Subscription1]\r\nTitle=News / Harbour\r\n"
                                "ConfigUrl=http://127.0.0.1:8642/feeds/harbour.twl\r\nMsgBaseUrl=http://h/\r\n"
                                "MsgRange=1-1\r\nMsg1=s1.html \"Handed over\"\r\n");
    ChildProcess forwarder(folder.EnginePath(), "\"" + folder.File("harbour.twl") + "\"");
    EXPECT_EQ(0u, forwarder.Wait(kStartTimeoutMs));

    // The next run asks the service for what is newer than message 1.
    ASSERT_TRUE(WaitFor([&] { return service_.RequestsFor("/feeds/harbour.twl").size() == 1; }, 20000));
    EXPECT_EQ("/feeds/harbour.twl?Update&Have=1&AID=", service_.RequestsFor("/feeds/harbour.twl")[0].path);
    std::string listing;
    ASSERT_TRUE(WaitFor(
        [&] {
            RunCapturingOutput(folder.File("twl.exe"), "messages", kStartTimeoutMs, listing);
            return listing.find("Third story") != std::string::npos;
        },
        10000))
        << listing;
    EXPECT_NE(std::string::npos, listing.find("Handed over")) << listing;
    EXPECT_NE(std::string::npos, listing.find(":2  Second story  (http://127.0.0.1:8642/m/story2.html)")) << listing;

    EXPECT_EQ(0u, agent.Close());
    std::string json = folder.DumpDatabase();
    EXPECT_NE(std::string::npos, json.find("\"Title\": \"News / Harbour\"")) << json;
    EXPECT_NE(std::string::npos, json.find("\"Title\": \"Third story\"")) << json;
    EXPECT_NE(std::string::npos, json.find("\"ridLastMsg\": 3")) << json;
}
