// Every job of real agents against the local news service.
#include <ctime>
#include <map>
#include <string>

#include "news_service_win.h"
#include "script_server_win.h"
#include "shared/conversation_win.h"
#include "shared/update_outcome.h"

namespace {

const std::string kNews = "http://127.0.0.1:8642/", kAds = kNews + "ads/";
// Not due again before the test ends (a time ahead of the clock would be due at once).
const std::string kJustAsked = std::to_string(time(nullptr));

std::string Feed(const std::string& title) {
    return R"({"title": ")" + title + R"(", "msgbase": ")" + kNews + R"(m/", "keep": 5, "period": 1000,
              "headlines": ["First story", "Second story", "Third story"]})";
}

std::string Topic(const std::string& name, const std::string& more = "") {
    return R"({"Title": "News / )" + name + R"(", "ConfigUrl": ")" + kNews + "feeds/" + name + R"(.twl")" + more + "}";
}

std::string Database(const std::string& header) {
    return R"({"header": )" + header + R"(, "topics": [
      {"dwType": 3, "Title": "Stocks / Quotes",
       "ConfigUrl": "http://127.0.0.1:8643/d/quotes.csv?s=TIDE+NOPE+REEF&f=sl1d1t1c1ohgv&e=.csv"},
      {"dwType": 4, "Title": "AdStream", "tmLastUpdate": )" +
           kJustAsked + R"(,
       "ConfigUrl": "http://127.0.0.1:8642/Feed/AdStream3/AdStream.twl",
       "messages": [{"ridMsg": 5, "Title": ")" +
           kAds + R"(ferryC.bmp"}, {"ridMsg": 6, "Title": "A0000006.bmp"},
                    {"ridMsg": 7, "Title": ")" +
           kAds + R"(chandleryC.bmp"},
                    {"ridMsg": 99, "Title": "http://127.0.0.1:8642/fault/short/ads/fishmarketC.bmp"},
                    {"ridMsg": 100, "Title": ")" +
           kAds + R"(missingC.bmp"}]}]})";
}

// How each topic's last update went, by title, as a display program reads it.
std::map<std::string, UpdateOutcome> Outcomes(HWND engine) {
    std::map<std::string, UpdateOutcome> seen;
    Conversation topics(engine, kTopicChannel);
    TopicArea& area = topics.topics();
    area.wrap = 0;
    for (LRESULT found = topics.open() ? topics.Request(FETCH_FIRST) : 0; found; found = topics.Request(FETCH_NEXT)) {
        UpdateOutcome outcome;
        if (ReadOutcome(area.topic, &outcome)) seen[area.topic.Title] = outcome;
    }
    return seen;
}

class FeedsTest : public ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        folder_.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");
    }

    double Time(const std::string& prefix) { return service_.Requests(prefix).at(0).time; }

    InstallFolder folder_{"feeds", InstallFolder::kWithoutDatabase};
};

}  // namespace

// Which topics are due: the native tables; here the turn, the pace, a refusal
// on the wire, and how each update went as the display programs read it.
TEST_F(FeedsTest, DueTopicsAreRequestedInTurnAtThePaceAndTellHowTheyWent) {
    for (const char* name : {"a", "d", "g", "h"}) service_.AddFeed(name, Feed(std::string("News / ") + name));
    const std::string refused = R"(, "ConfigUrl": "http://127.0.0.1:)" + std::to_string(RefusingPort()) + R"(/f.twl")";
    // An error status, and a whole answer that is no subscription file.
    const std::string failing = R"(, "ConfigUrl": ")" + kNews + R"(fault/500/feeds/a.twl")",
                      bitmap = R"(, "ConfigUrl": ")" + kAds + R"(ferry8.bmp")";
    ASSERT_EQ(0u, folder_.MakeDatabase(R"({"header": {"AccountId": "acct-9"}, "topics": [)" + Topic("a") + "," +
                                       Topic("d") + "," + Topic("f", refused) + "," + Topic("g") + "," + Topic("h") +
                                       "," + Topic("i", failing) + "," + Topic("j", bitmap) + "]}"));
    DWORD started = GetTickCount();
    int32_t startedAt = static_cast<int32_t>(time(nullptr));
    AgentProcess agent(folder_);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_TRUE(engine);

    // At Pace 1 (3 s apart) every tick runs.
    ASSERT_TRUE(WaitFor([&] { return service_.Count("/feeds/d.twl") == 1; }, 20000));
    EXPECT_LT(GetTickCount() - started, 20000u);
    ASSERT_EQ(1u, service_.Count("/feeds/a.twl"));
    EXPECT_EQ("/feeds/a.twl?Update&Have=0&AID=acct-9", service_.Requests("/feeds/a.twl")[0].path);
    EXPECT_GT(Time("/feeds/d.twl") - Time("/feeds/a.twl"), 3.0);
    EXPECT_LT(Time("/feeds/d.twl") - Time("/feeds/a.twl"), 8.0);

    // The refused topic f costs its turn only.
    ASSERT_TRUE(WaitFor([&] { return service_.Count("/feeds/g.twl") == 1; }, 20000));

    // At Pace 3 (9 s apart) only every second tick runs.
    GlobalBlockView().config().Pace = 3;
    ASSERT_TRUE(WaitFor([&] { return service_.Count("/feeds/h.twl") == 1; }, 30000));
    EXPECT_GT(Time("/feeds/h.twl") - Time("/feeds/g.twl"), 9.0);
    EXPECT_EQ(1u, service_.Count("/feeds/a.twl")) << "its answer set an interval of five minutes";

    GlobalBlockView().config().Pace = 1;
    ASSERT_TRUE(WaitFor([&] { return Outcomes(engine).count("News / j") == 1; }, 30000));
    std::map<std::string, UpdateOutcome> outcomes = Outcomes(engine);
    EXPECT_EQ(UpdateFailure::None, outcomes["News / a"].failure);
    EXPECT_EQ(0, outcomes["News / a"].failed);
    EXPECT_GE(outcomes["News / a"].answered, startedAt);
    EXPECT_EQ(UpdateFailure::Unreachable, outcomes["News / f"].failure);
    EXPECT_GE(outcomes["News / f"].failed, startedAt);
    EXPECT_EQ(UpdateFailure::Status, outcomes["News / i"].failure);
    EXPECT_EQ(500u, outcomes["News / i"].status);
    EXPECT_EQ(UpdateFailure::Unreadable, outcomes["News / j"].failure);
    std::string listed;
    EXPECT_EQ(0u, RunCapturingOutput(ProgramDir() + "\\twl.exe", "topics", 30000, listed));
    EXPECT_NE(std::string::npos, listed.find("News / i  (subscription, on, 0 messages)\r\n"
                                             "      the last update failed: the service answered 500\r\n"))
        << listed;
    EXPECT_EQ(0u, agent.Close());
}

// The quote job against the service: service_faults_test.
TEST_F(FeedsTest, AdsAndTheUsageReport) {
    CreateDirectoryA(folder_.File("Data").c_str(), nullptr);
    for (const char* name : {"A0000006.bmp", "ad.bmp"}) folder_.Write(std::string("Data\\") + name, "BM");
    ASSERT_EQ(0u, folder_.MakeDatabase(Database(R"({"StartCount": 41, "AccountId": "acct-7"})")));
    AgentProcess agent(folder_);
    ASSERT_TRUE(agent.WaitForEngineWindow());
    ASSERT_TRUE(trace_.WaitFor("WinMain(): Start-up complete", agent.id(), 20000));

    // At start-up the bitmaps no ad names go (which: the native rules).
    EXPECT_TRUE(folder_.Exists("Data\\A0000006.bmp"));
    EXPECT_FALSE(folder_.Exists("Data\\ad.bmp"));

    const std::string reports = "/Bin/Update.dll?TwlUpdate&AID=acct-7";
    ASSERT_TRUE(WaitFor([&] { return service_.Count(reports) == 1; }, 20000));
    std::vector<std::string> bodies;
    service_.Requests(reports, &bodies);
    EXPECT_EQ(std::vector<std::string>{kNews + "Feed/AdStream3/AdStream.twl=5:0+6:0+7:0+99:0+100:0"}, bodies);

    // Ads in turn, in this display's colour variant; a failed one is asked for again.
    const std::string variant = GlobalBlockView().config().PaletteDisplay ? "4" : "8";
    auto asked = [&](const char* name) { return service_.Count("/ads/" + (name + variant) + ".bmp?AID=acct-7"); };
    ASSERT_TRUE(WaitFor([&] { return asked("fishmarket") >= 2; }, 60000));
    EXPECT_EQ(1u, asked("ferry"));
    EXPECT_EQ(1u, asked("chandlery"));
    EXPECT_GE(asked("missing"), 1u);
    EXPECT_TRUE(trace_.Contains("AdStream::CUpdate::OnDiconnect(): Connect Failure - \\A0000099.bmp", agent.id()));
    EXPECT_EQ(0u, folder_.Read("Data\\A0000005.bmp").find("BM"));
    EXPECT_GT(folder_.Read("Data\\A0000007.bmp").size(), 1000u);
    EXPECT_EQ(1u, service_.Count(reports)) << "a second report within the hour";
    EXPECT_EQ(0u, agent.Close());
}

// A passive agent, as its data file says, sends nothing (held jobs: job_rules_test).
TEST_F(FeedsTest, APassiveAgentSendsNothing) {
    ASSERT_EQ(0u, folder_.MakeDatabase(Database(R"({"AccountId": "passive", "Passive": 1})")));
    auto sent = [&] {
        size_t count = service_.Count("/d/quotes.csv?s=TIDE+NOPE+REEF");
        for (const ServiceRequest& request : service_.Requests())
            count += request.path.find("AID=passive") != std::string::npos;
        return count;
    };
    const size_t before = sent();
    AgentProcess agent(folder_);
    ASSERT_TRUE(agent.WaitForEngineWindow());
    PumpMessages(12000);
    EXPECT_EQ(before, sent());
    EXPECT_EQ(0u, agent.Close());  // that a passive agent writes no data file: data_file_test
}
