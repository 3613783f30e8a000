// The ad stream, the stock quotes and the usage report with a real agent and
// the local news service.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "agent_process_win.h"
#include "news_service_win.h"
#include "trace_capture_win.h"

namespace {

class FeedsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.available()) << "run this through with_news_service.sh";
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
        CopyProgram(folder_.path(), "twl.exe");
        folder_.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << "agent trace:\n" << trace_.Dump();
    }

    std::string Twl(const char* command) {
        std::string output;
        RunCapturingOutput(folder_.File("twl.exe"), command, kStartTimeoutMs, output);
        return output;
    }

    size_t Count(const std::string& prefix) { return service_.RequestsFor(prefix).size(); }

    NewsService service_;
    TraceCapture trace_;
    InstallFolder folder_{"feeds", InstallFolder::kWithoutDatabase};
};

const std::string kAds = "http://127.0.0.1:8642/ads/";

std::string Database(const char* header) {
    std::string future = std::to_string(time(nullptr) + 100000);  // the update leaves the ad stream alone
    return std::string(R"({"header": )") + header + R"(, "topics": [
      {"dwType": 3, "Title": "Stocks / Quotes",
       "ConfigUrl": "http://127.0.0.1:8643/d/quotes.csv?s=TIDE+NOPE+REEF&f=sl1d1t1c1ohgv&e=.csv",
       "messages": [{"ridMsg": 1, "Title": "TIDE;0;0"}, {"ridMsg": 2, "Title": "REEF;0;0"}, {"ridMsg": 3, "Title": "GONE;0;0"}]},
      {"dwType": 4, "Title": "AdStream", "tmLastUpdate": )" + future + R"(,
       "ConfigUrl": "http://127.0.0.1:8642/Feed/AdStream3/AdStream.twl",
       "messages": [{"ridMsg": 5, "Title": ")" + kAds + R"(ferryC.bmp"}, {"ridMsg": 6, "Title": "A0000006.bmp"},
                    {"ridMsg": 7, "Title": ")" + kAds + R"(chandleryC.bmp"},
                    {"ridMsg": 99, "Title": "http://127.0.0.1:8642/fault/short/ads/fishmarketC.bmp"},
                    {"ridMsg": 100, "Title": ")" + kAds + R"(missingC.bmp"}]}]})";
}

}  // namespace

TEST_F(FeedsTest, AdsQuotesAndTheUsageReport) {
    CreateDirectoryA(folder_.File("Data").c_str(), nullptr);
    for (const char* name : {"A0000002.bmp", "A0000006.bmp", "a.bmp", "ad.bmp", "notes.txt"})
        folder_.Write(std::string("Data\\") + name, "BM");
    ASSERT_EQ(0u, folder_.MakeDatabase(Database(R"({"StartCount": 41, "AccountId": "acct-7"})")));
    AgentProcess agent(folder_);
    ASSERT_TRUE(agent.WaitForEngineWindow());

    // At start-up the bitmaps no ad refers to are gone; the first four characters decide.
    EXPECT_TRUE(folder_.Exists("Data\\A0000002.bmp"));
    EXPECT_TRUE(folder_.Exists("Data\\A0000006.bmp"));
    EXPECT_TRUE(folder_.Exists("Data\\notes.txt"));
    EXPECT_FALSE(folder_.Exists("Data\\a.bmp"));
    EXPECT_FALSE(folder_.Exists("Data\\ad.bmp"));

    // The first tick reports the views, asks for quotes and for the first ad.
    ASSERT_TRUE(WaitFor([&] { return Count("/Bin/Update.dll") == 1; }, 20000));
    std::string report;
    for (const ServiceRequest& request : service_.RequestsFor("/Bin/Update.dll")) report = request.path;
    EXPECT_EQ(0u, report.find("/Bin/Update.dll?TwlUpdate&AID=acct-7&SID=42&SL=")) << report;
    EXPECT_NE(std::string::npos, report.find("&VER=1.1.1043.1")) << report;
    std::vector<std::string> bodies = service_.ReportBodies();
    ASSERT_EQ(1u, bodies.size());
    EXPECT_EQ("http://127.0.0.1:8642/Feed/AdStream3/AdStream.twl=5:0+6:0+7:0+99:0+100:0", bodies[0]);

    ASSERT_TRUE(WaitFor([&] { return Count("/d/quotes.csv") == 1; }, 20000));
    std::string messages;
    ASSERT_TRUE(WaitFor(
        [&] {
            messages = Twl("messages");
            return messages.find("TIDE;0;0") == std::string::npos;
        },
        10000))
        << messages;
    EXPECT_NE(std::string::npos, messages.find("(http://127.0.0.1:8643/q?s=TIDE&d=t)")) << messages;
    EXPECT_NE(std::string::npos, messages.find("0:2  REEF;")) << messages;  // the same numbers, in place
    EXPECT_NE(std::string::npos, messages.find("0:3  GONE;0;0")) << messages;  // no quote for it: unchanged
    EXPECT_EQ(std::string::npos, messages.find("NOPE")) << messages;  // a symbol without a message is not added
    EXPECT_EQ(0u, folder_.Read("Data\\YStock.html").find("<!--\r\nhttp://127.0.0.1:8643/d/quotes.csv?s=TIDE+NOPE+REEF"));

    // Ads in turn, in the colour variant of this display; a failed one is asked for again on the next pass.
    GlobalBlockView block;
    std::string variant = block.config().PaletteDisplay ? "4" : "8";
    ASSERT_TRUE(WaitFor([&] { return Count("/ads/fishmarket" + variant + ".bmp") >= 2; }, 60000));
    EXPECT_EQ(1u, Count("/ads/ferry" + variant + ".bmp?AID=acct-7"));
    EXPECT_EQ(1u, Count("/ads/chandlery" + variant + ".bmp?AID=acct-7"));
    EXPECT_GE(Count("/ads/missing" + variant + ".bmp"), 1u);
    EXPECT_TRUE(trace_.Contains("AdStream::CUpdate::OnDiconnect(): Connect Failure - \\A0000099.bmp", agent.id()));
    EXPECT_EQ(0u, folder_.Read("Data\\A0000005.bmp").find("BM"));
    EXPECT_GT(folder_.Read("Data\\A0000007.bmp").size(), 1000u);
    std::string ads = Twl("ads");
    EXPECT_NE(std::string::npos, ads.find(":5  A0000005.bmp")) << ads;
    EXPECT_NE(std::string::npos, ads.find(":7  A0000007.bmp")) << ads;
    EXPECT_NE(std::string::npos, ads.find(":99  http://127.0.0.1:8642/fault/short/ads/fishmarketC.bmp")) << ads;

    EXPECT_EQ(1u, Count("/Bin/Update.dll")) << "a second report within the hour";
    EXPECT_EQ(0u, agent.Close());
    std::string json = folder_.DumpDatabase();
    size_t ad5 = json.find("\"ridMsg\": 5, \"tmReceived\": ");
    ASSERT_NE(std::string::npos, ad5) << json;
    EXPECT_NE(0, atoi(json.c_str() + ad5 + 26)) << "the arrival time is noted";
}

TEST_F(FeedsTest, HeldOrPassiveJobsSendNothing) {
    ASSERT_EQ(0u, folder_.MakeDatabase(Database(R"({"AccountId": "held"})")));
    size_t before = service_.Requests().size();
    {
        AgentProcess agent(folder_);
        ASSERT_TRUE(agent.WaitForEngineWindow());
        GlobalBlockView block;
        block.config().JobsHeld = 1;  // before the first tick
        PumpMessages(12000);
        EXPECT_EQ(before, service_.Requests().size()) << "a held job sent a request";
        block.config().JobsHeld = 0;
        EXPECT_TRUE(WaitFor([&] { return Count("/Bin/Update.dll?TwlUpdate&AID=held") == 1; }, 12000));
        EXPECT_EQ(0u, agent.Close());
    }

    ASSERT_EQ(0u, folder_.MakeDatabase(Database(R"({"AccountId": "passive", "Passive": 1})")));
    std::string file = folder_.Read("Data\\Msg.dat");
    before = service_.Requests().size();
    AgentProcess agent(folder_);
    ASSERT_TRUE(agent.WaitForEngineWindow());
    PumpMessages(12000);
    EXPECT_EQ(before, service_.Requests().size()) << "a passive agent sent a request";
    EXPECT_EQ(0u, agent.Close());
    EXPECT_EQ(file, folder_.Read("Data\\Msg.dat")) << "a passive agent rewrote its data file";
}
