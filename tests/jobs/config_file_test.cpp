// Subscription files through the platform's profile reader, and the update's choice of the next topic.
#include "jobs/config_file.h"

#include <gtest/gtest.h>

#include <ctime>
#include <tuple>

#include "base/elapsed.h"
#include "jobs/engine_update.h"
#include "news_fixture.h"

namespace {

const std::string kWorld = "Title=News / World\r\nMsgBaseUrl=http://news.test/world/\r\n";

class ConfigFileTest : public NewsDirTest {
protected:
    ConfigFileTest() : NewsDirTest("config-file") { cfg_.MsgPurge = 10; }

    int Parse(const std::string& subscription, const std::string& general = "[General]\r\nConfigVersion=1\r\n") {
        dir_.Write("Config.twl", "; http://news.test:80/a.twl\r\n; HTTP/1.0 200 OK\r\n\r\n" + general +
                                     "[Subscription1]\r\n" + subscription);
        return EngineUpdate::ParseConfigFile(dir_.File("Config.twl").c_str());
    }
};

}  // namespace

TEST_F(ConfigFileTest, NewTopicWithItsMessagesThenKeepsWhatTheFileDoesNotSay) {
    ASSERT_EQ(1, Parse(kWorld + "Hint=The world\r\nConfigUrl=http://news.test/world.twl\r\nCategory=3\r\n"
                                "Schedule=Interval 10\r\nMsgRange=1-3\r\nMsg1=a1.html \"First &amp; foremost\"\r\n"
                                "Msg2=a2.html \"  Second  \"\r\nMsg3=a3.html \"Third\"\r\n",
                       ""));  // no [General] at all is fine
    ASSERT_EQ(1u, gTopicArray.Size);
    CTopic* topic = gTopicArray.At(0);
    // Last update -1: due at the next run.
    auto fields = [topic] {
        return std::string(topic->Title) + "|" + std::to_string(topic->dwType) + "|" + topic->Hint + "|" +
               topic->ConfigUrl + "|" + std::to_string(topic->Category) + "|" + std::to_string(topic->dwInterval) +
               "|" + std::to_string(topic->tmLastUpdate) + "|" + std::to_string(topic->bActive) + "|" +
               std::to_string(topic->ridLastMsg);
    };
    EXPECT_EQ(
        "News / World|" + std::to_string(TOPIC_SUBSCRIPTION) + "|The world|http://news.test/world.twl|3|600|-1|1|3",
        fields());
    EXPECT_EQ("1 2 3", Numbers(*topic));
    EXPECT_EQ("First & foremost|Second|Third", Titles(*topic));
    const CMsg& first = *topic->msgList.begin()->value;
    EXPECT_EQ("a1.html http://news.test/world/a1.html " + std::to_string(kNow) + " 0",
              std::string(first.lpszFile) + " " + first.lpszUrl + " " + std::to_string(first.tmReceived) + " " +
                  std::to_string(first.ridTopic));

    // Again: a category of 0 keeps it, no valid schedule resets the interval, addresses and hint are always taken.
    topic->bActive = 0;
    topic->tmLastUpdate = 12345;
    EXPECT_EQ(0, Parse(kWorld + "Category=0\r\nMsgRange=1-3\r\n"));  // nothing new
    EXPECT_EQ(1u, gTopicArray.Size);
    EXPECT_EQ("News / World|" + std::to_string(TOPIC_SUBSCRIPTION) + "|||3|1800|12345|0|3", fields());
    EXPECT_EQ("1 2 3", Numbers(*topic));
}

TEST_F(ConfigFileTest, FilesWithoutTitleVersionOrRangeAreRefused) {
    const std::string version = "[General]\r\nConfigVersion=1\r\n";
    const std::tuple<std::string, std::string, const char*> cases[] = {
        {version, "MsgRange=1-2\r\n", "CTopic::LoadFrom ConfigFile() Error: Title"},
        {version, "Title=News\r\nMsgRange=1-2\r\n", "CTopic::LoadFrom ConfigFile() Error: Title Format"},
        {version, "Title=   \r\nMsgRange=1-2\r\n", ""},
        {"[General]\r\nConfigVersion=\r\n", kWorld + "MsgRange=1-2\r\n", ""},  // present but empty
        {version, kWorld, "CTopic::LoadFrom ConfigFile() Error: ArticleRange"},
    };
    for (const auto& [general, subscription, text] : cases) {
        SCOPED_TRACE(subscription);
        TraceRecorder trace;
        EXPECT_EQ(0, Parse(subscription, general));
        EXPECT_TRUE(!*text || trace.Contains(text));
    }
    EXPECT_EQ(0, EngineUpdate::ParseConfigFile(dir_.File("missing.twl").c_str()));
    EXPECT_EQ(0u, gTopicArray.Size);
}

TEST_F(ConfigFileTest, CategoryAndSchedule) {
    std::pair<const char*, uint32_t> categories[] = {{"13", 13}, {"14", 0}, {"-1", 0}, {" 7x", 7}, {"x", 0}};
    for (const auto& c : categories) EXPECT_EQ(c.second, SubscriptionFile::Category(c.first)) << c.first;
    std::pair<const char*, uint32_t> schedules[] = {{"Interval 5", 300},      {"Interval 999", 59940},
                                                    {"Interval 4", 1800},     {"Interval 1000", 1800},
                                                    {"interval 10", 600},     {"Every 10", 1800},
                                                    {"Interval", 1800},       {"Interval x", 1800},
                                                    {"INTERVAL 60min", 3600}, {"", 1800}};
    for (const auto& s : schedules) EXPECT_EQ(s.second, SubscriptionFile::Interval(s.first)) << s.first;
}

TEST_F(ConfigFileTest, AnswerTitleDecidesWhichTopicChanges) {
    CTopic& asked = AddTopic(TOPIC_SUBSCRIPTION, "News / Asked");
    CTopic& other = AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    EXPECT_EQ(1, Parse(kWorld + "MsgRange=1-1\r\nMsg1=a \"For the other\"\r\n"));
    EXPECT_EQ(1, Parse("Title=adstream\r\nMsgRange=1-1\r\nMsg1=x.bmp \"http://ads/1C.bmp\"\r\n"));
    EXPECT_EQ(0u, asked.msgList.count());
    EXPECT_EQ(1u, other.msgList.count());
    EXPECT_EQ(0u, ads.msgList.count());  // the lookup by title is case-sensitive: a new subscription
    ASSERT_EQ(4u, gTopicArray.Size);
    EXPECT_STREQ("adstream", gTopicArray.At(3)->Title);
    EXPECT_EQ(TOPIC_SUBSCRIPTION, gTopicArray.At(3)->dwType);
}

// Each answer takes only the numbers in its range above the highest held, at a cost linear in its lines.
TEST_F(ConfigFileTest, RangesAndMessageLinesAgainstTheHighestNumberHeld) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    for (uint32_t n : {5u, 10u}) AddMsg(topic, n);
    topic.ridLastMsg = 130;
    std::string lines;
    for (int n = 120; n <= 135; n++) lines += "Msg" + std::to_string(n) + "=m" + std::to_string(n) + " \"H\"\r\n";
    const std::tuple<std::string, int, const char*, uint32_t> rows[] = {
        {"MsgRange=120-135\r\n" + lines, 1, "5 10 131 132 133 134 135", 135},
        {"MsgRange=120 135\r\n" + lines, 0, "5 10 131 132 133 134 135", 135},  // the range written with a blank
        {"MsgRange=125\r\n" + lines, 0, "5 10 131 132 133 134 135", 135},      // no last number: nothing
        // Numbers without a line are not asked for again.
        {"MsgRange=136-140\r\nMsg138=m \"Only one\"\r\n", 1, "5 10 131 132 133 134 135 138", 140},
        {"MsgRange=141-146\r\nMsg141=a131.html Rates fall\r\nMsg142= \"no file\"\r\nMsg143=f.html \"\"\r\nMsg144=\r\n"
         "Msg145='ok.html \"Rates fall\"'\r\nMsg146=q.html \"Quoted \"inside\"\"\r\n",
         1, "5 10 131 132 133 134 135 138 145 146", 146},
        {"MsgRange=10-147\r\nPurgeOutOfRange=true\r\nMsg147=x \"New\"\r\n", 1, "10 131 132 133 134 135 138 145 146 147",
         147},
        {"MsgRange=140-148\r\nPurgeOutOfRange=False\r\nMsg148=x \"Newer\"\r\n", 1,
         "10 131 132 133 134 135 138 145 146 147 148", 148},
        // "%d" writes 4000000000 as -294967296; a repeated, zero-led, signed, blank or 33-bit number is no key.
        {"MsgRange=149-4000000000\r\nMsg150=a \"One\"\r\nmsg3999999999=b \"Upper\"\r\nMsg-294967296=c \"Four\"\r\n"
         "Msg0151=d \"Not the key for 151\"\r\nMsg152=e \"Three\"\r\nMsg152=f \"A second line for 152\"\r\n"
         "Msg+153=g \"Plus\"\r\nMsg 153=g \"Blank\"\r\nMsg4294967449=g \"Wraps to 153\"\r\nMSG154=h \"Any case\"\r\n",
         1, "10 131 132 133 134 135 138 145 146 147 148 150 152 154 4000000000", 4000000000u},
    };
    TraceRecorder trace;
    const std::clock_t start = std::clock();  // processor time: a busy machine does not count
    for (const auto& [body, result, numbers, last] : rows) {
        SCOPED_TRACE(body.substr(0, 30));
        EXPECT_EQ(result, Parse(kWorld + body));
        EXPECT_EQ(numbers, Numbers(topic));
        EXPECT_EQ(last, topic.ridLastMsg);
    }
    EXPECT_LT(std::clock() - start, 2 * CLOCKS_PER_SEC);
    EXPECT_TRUE(trace.Contains("EngineUpdate::ParseConfigFile(): Error bad msg format: a131.html Rates fall"));
    // One closing quote goes.
    EXPECT_EQ("headline|H|H|H|H|H|Only one|Rates fall|Quoted \"inside\"|New|Newer|One|Three|Any case|Four",
              Titles(topic));
}

// The last free slot is start-up's; a known title still updates its topic.
TEST_F(ConfigFileTest, TheLastFreeSlotIsNeverTakenByASubscription) {
    for (int i = 0; i < 98; i++) AddTopic(TOPIC_SUBSCRIPTION, "News / " + std::to_string(i));
    EXPECT_EQ(1, Parse("Title=News / New\r\nMsgRange=1-1\r\nMsg1=a \"A\"\r\n"));
    const char* raised = "nothing";
    try {
        Parse("Title=News / Newer\r\nMsgRange=1-1\r\n");
    } catch (const char* text) {
        raised = text;
    }
    EXPECT_STREQ("Array Full!", raised);
    EXPECT_EQ(99u, gTopicArray.Size);
    EXPECT_EQ(1, Parse("Title=News / 3\r\nMsgRange=1-2\r\nMsg2=a \"A\"\r\n"));
    EXPECT_EQ("2", Numbers(*gTopicArray.At(3)));
}

// Only the newest lines the purge lets the topic keep are added; the range still moves to its end.
TEST_F(ConfigFileTest, AFileAddsOnlyTheNewestMessagesItsTopicMayKeep) {
    std::string lines;
    for (int n = 1; n <= 60000; n++) lines += "Msg" + std::to_string(n) + "=m.html \"H\"\r\n";
    lines += "Msg59999=second.html \"A second line for 59999\"\r\n";
    const std::tuple<int32_t, const char*, std::string> rows[] = {
        {3, "59998 59999 60000", "H|H|H"},
        {-1, "59991 59992 59993 59994 59995 59996 59997 59998 59999 60000", "H|H|H|H|H|H|H|H|H|H"},
        {0, "", ""},
    };
    for (const auto& [purge, numbers, titles] : rows) {
        SCOPED_TRACE(purge);
        cfg_.MsgPurge = purge;
        std::string title = "News / " + std::to_string(purge);
        const std::clock_t start = std::clock();
        EXPECT_EQ(1, Parse("Title=" + title + "\r\nMsgRange=1-60000\r\n" + lines));
        EXPECT_LT(std::clock() - start, 3 * CLOCKS_PER_SEC);
        CTopic& topic = *gTopicArray.At(gTopicArray.Last());
        EXPECT_STREQ(title.c_str(), topic.Title);
        EXPECT_EQ(numbers, Numbers(topic));
        EXPECT_EQ(titles, Titles(topic));
        EXPECT_EQ(60000u, topic.ridLastMsg);
    }
    // The ad stream keeps fifty.
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    EXPECT_EQ(1, Parse("Title=AdStream\r\nMsgRange=1-60000\r\n" + lines));
    EXPECT_EQ(50u, ads.msgList.count());
    EXPECT_EQ(59951u, ads.msgList.begin()->value->ridMsg);
}

// Due once the interval has passed; a last update in the future is due at once; past 2038 too.
TEST_F(NewsTest, DueAfterTheIntervalWhateverTheCalendarDid) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "a");
    topic.dwInterval = 1800;
    const std::tuple<int32_t, int32_t, bool> cases[] = {
        {kNow - 1800, kNow, false},
        {kNow - 1800, kNow + 1, true},  // exactly the interval is not enough
        {kNow, kNow - 365 * 86400, true},
        {INT32_MAX - 100, AfterTheWrap(1700), false},
        {INT32_MAX - 100, AfterTheWrap(1701), true},
        {AfterTheWrap(5), AfterTheWrap(1805), false},
        {AfterTheWrap(5), AfterTheWrap(1806), true},
        {-1, AfterTheWrap(1), true},  // a new topic
    };
    for (auto [last, now, due] : cases) {
        topic.tmLastUpdate = last;
        EXPECT_EQ(due, EngineUpdate::IsDue(topic, now)) << last << " at " << now;
    }
}

// The update passes over the quote topic and those switched off.
TEST_F(NewsTest, UpdateChoosesDueTopicsInTurn) {
    CTopic& a = AddTopic(TOPIC_SUBSCRIPTION, "a");
    AddTopic(TOPIC_QUOTES, "quotes");
    AddTopic(TOPIC_SUBSCRIPTION, "off").bActive = 0;
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    CTopic& recent = AddTopic(TOPIC_SUBSCRIPTION, "recent");
    recent.dwInterval = 1800;
    recent.tmLastUpdate = kNow - 1800;
    auto due = [](const CTopic& topic) { return EngineUpdate::IsDue(topic, kNow); };
    EXPECT_EQ(&a, gTopicArray.NextInTurn(kNoId, due));
    EXPECT_EQ(&ads, gTopicArray.NextInTurn(a.ridTopic, due));
    EXPECT_EQ(&a, gTopicArray.NextInTurn(ads.ridTopic, due));  // round to the start
    a.tmLastUpdate = ads.tmLastUpdate = kNow;
    EXPECT_EQ(nullptr, gTopicArray.NextInTurn(ads.ridTopic, due));
}

TEST_F(NewsTest, RunsAreSpacedOnTheMonotonicClock) {
    OsOverride restore;
    static uint64_t monotonic = 5000;
    gOs.Monotonic = [] { return monotonic; };
    gOs.Now = [] { return kNow - 365 * 86400; };
    RunTimer runs;
    EXPECT_TRUE(runs.Due(15));  // the first run at once
    monotonic += 14999;
    EXPECT_FALSE(runs.Due(15));
    gOs.Now = [] { return AfterTheWrap(10); };
    monotonic += 1;
    EXPECT_TRUE(runs.Due(15));
    EXPECT_TRUE(runs.Due(-3));  // a spacing from a negative Pace holds nothing back
    cfg_.Pace = INT32_MAX;      // and a huge one does not overflow
    monotonic += 3000000;
    EXPECT_FALSE(runs.Due(EngineUpdate::RunSpacing(cfg_)));
}

TEST_F(NewsTest, UpdateRequestAddress) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "a");
    strcpy(topic.ConfigUrl, "http://news.test/a.twl");
    topic.ridLastMsg = 4000000000u;  // written signed, as the service expects
    strcpy(cfg_.AccountId, "acct");
    EXPECT_EQ("http://news.test/a.twl?Update&Have=-294967296&AID=acct", EngineUpdate::RequestUrl(topic, cfg_));
    topic.ridLastMsg = 57;
    memset(cfg_.AccountId, 'x', sizeof cfg_.AccountId);  // unterminated in the shared record
    EXPECT_EQ("http://news.test/a.twl?Update&Have=57&AID=" + std::string(100, 'x'),
              EngineUpdate::RequestUrl(topic, cfg_));
    memset(topic.ConfigUrl, 'u', 1023);
    EXPECT_EQ(1023u, EngineUpdate::RequestUrl(topic, cfg_).size());
}
