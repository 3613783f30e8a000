// Subscription files: every rule of the format, through the platform's own
// profile reader (the portable one natively, GetPrivateProfileStringA under
// Wine); and the update's choice of the next topic.
#include "jobs/config_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>

#include "jobs/engine_update.h"
#include "news_fixture.h"
#include "os_override.h"
#include "temp_dir.h"

namespace {

constexpr int32_t kNow = 1800000000;

class ConfigFileTest : public NewsTest {
protected:
    ConfigFileTest() : dir_("config-file") { gOs.Now = [] { return kNow; }; }

    // Parses a subscription file with the given subscription section.
    int Parse(const std::string& subscription, const std::string& general = "[General]\r\nConfigVersion=1\r\n") {
        dir_.Write("Config.twl", "; http://news.test:80/a.twl\r\n; HTTP/1.0 200 OK\r\n\r\n" + general +
                                     "[Subscription1]\r\n" + subscription);
        return EngineUpdate::ParseConfigFile(dir_.File("Config.twl").c_str());
    }

    CTopic* Find(const char* title) {
        CTopic* found = nullptr;
        gTopicArray.ForEach([&](CTopic& topic) {
            if (strcmp(topic.Title, title) == 0) found = &topic;
        });
        return found;
    }

    OsOverride restore_;
    TempDir dir_;
};

const std::string kWorld = "Title=News / World\r\nMsgBaseUrl=http://news.test/world/\r\n";

}  // namespace

TEST_F(ConfigFileTest, NewTopicWithItsMessages) {
    ASSERT_EQ(1, Parse(kWorld + "Hint=The world\r\nConfigUrl=http://news.test/world.twl\r\nCategory=3\r\n"
                                "Schedule=Interval 10\r\nMsgRange=1-3\r\nMsg1=a1.html \"First &amp; foremost\"\r\n"
                                "Msg2=a2.html \"  Second  \"\r\nMsg3=a3.html \"Third\"\r\n"));
    CTopic* topic = Find("News / World");
    ASSERT_NE(nullptr, topic);
    EXPECT_EQ(TOPIC_SUBSCRIPTION, topic->dwType);
    EXPECT_STREQ("The world", topic->Hint);
    EXPECT_STREQ("http://news.test/world.twl", topic->ConfigUrl);
    EXPECT_EQ(3u, topic->Category);
    EXPECT_EQ(600u, topic->dwInterval);
    EXPECT_EQ(-1, topic->tmLastUpdate);  // due at the next run
    EXPECT_EQ(3u, topic->ridLastMsg);
    EXPECT_EQ("1 2 3", Numbers(*topic));
    const CMsg& first = *topic->msgList.begin()->value;
    EXPECT_STREQ("First & foremost", first.lpszTitle);
    EXPECT_STREQ("a1.html", first.lpszFile);
    EXPECT_STREQ("http://news.test/world/a1.html", first.lpszUrl);
    EXPECT_EQ(kNow, first.tmReceived);
    EXPECT_EQ(topic->ridTopic, first.ridTopic);
    EXPECT_STREQ("Second", topic->msgList.begin()->next->value->lpszTitle);
}

TEST_F(ConfigFileTest, TitleRules) {
    TraceRecorder trace;
    EXPECT_EQ(0, Parse("MsgRange=1-2\r\n"));
    EXPECT_TRUE(trace.Contains("CTopic::LoadFrom ConfigFile() Error: Title"));
    EXPECT_EQ(0, Parse("Title=News\r\nMsgRange=1-2\r\n"));
    EXPECT_TRUE(trace.Contains("CTopic::LoadFrom ConfigFile() Error: Title Format"));
    EXPECT_EQ(0, Parse("Title=   \r\nMsgRange=1-2\r\n"));
    EXPECT_EQ(0u, gTopicArray.Size);

    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    EXPECT_EQ(1, Parse("Title=adstream\r\nMsgRange=1-1\r\nMsg1=x.bmp \"http://ads/1C.bmp\"\r\n"));
    CTopic* lower = Find("adstream");  // the lookup by title is case-sensitive: a new subscription
    ASSERT_NE(nullptr, lower);
    EXPECT_EQ(TOPIC_SUBSCRIPTION, lower->dwType);
    EXPECT_EQ(0u, ads.msgList.count());
}

TEST_F(ConfigFileTest, VersionAndRangeAreRequired) {
    TraceRecorder trace;
    EXPECT_EQ(0, Parse(kWorld + "MsgRange=1-2\r\n", "[General]\r\nConfigVersion=\r\n"));  // present but empty
    EXPECT_EQ(0u, gTopicArray.Size);
    EXPECT_EQ(0, Parse(kWorld));
    EXPECT_TRUE(trace.Contains("CTopic::LoadFrom ConfigFile() Error: ArticleRange"));
    EXPECT_EQ(1, Parse(kWorld + "MsgRange=1-1\r\nMsg1=a \"A\"\r\n", ""));  // no [General] at all is fine
    EXPECT_EQ(0, EngineUpdate::ParseConfigFile(dir_.File("missing.twl").c_str()));
}

TEST_F(ConfigFileTest, CategoryAndSchedule) {
    struct Case {
        const char* value;
        uint32_t category;
    } categories[] = {{"13", 13}, {"14", 0}, {"-1", 0}, {" 7x", 7}, {"x", 0}};
    for (const Case& c : categories) EXPECT_EQ(c.category, SubscriptionFile::Category(c.value)) << c.value;
    struct Schedule {
        const char* value;
        uint32_t seconds;
    } schedules[] = {{"Interval 5", 300},   {"Interval 999", 59940}, {"Interval 4", 1800}, {"Interval 1000", 1800},
                     {"interval 10", 600},  {"Every 10", 1800},      {"Interval", 1800},   {"Interval x", 1800},
                     {"INTERVAL 60min", 3600}, {"", 1800}};
    for (const Schedule& s : schedules) EXPECT_EQ(s.seconds, SubscriptionFile::Interval(s.value)) << s.value;
}

TEST_F(ConfigFileTest, ExistingTopicKeepsWhatTheFileDoesNotSay) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    topic.Category = 5;
    topic.dwInterval = 600;
    topic.bActive = 0;
    topic.tmLastUpdate = 12345;
    topic.ridLastMsg = 130;
    strcpy(topic.Hint, "old hint");
    AddMsg(topic, 130, "kept");
    EXPECT_EQ(0, Parse(kWorld + "Category=0\r\nMsgRange=120-130\r\n"));  // nothing new
    EXPECT_EQ(1u, gTopicArray.Size);
    EXPECT_EQ(5u, topic.Category);        // a category of 0 leaves it
    EXPECT_EQ(1800u, topic.dwInterval);   // no valid schedule resets it
    EXPECT_STREQ("", topic.Hint);         // addresses and hint are always taken
    EXPECT_EQ(0u, topic.bActive);
    EXPECT_EQ(12345, topic.tmLastUpdate);
    EXPECT_EQ("130", Numbers(topic));
}

TEST_F(ConfigFileTest, RangeAgainstTheHighestNumberHeld) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    topic.ridLastMsg = 130;
    std::string lines;
    for (int n = 120; n <= 135; n++) lines += "Msg" + std::to_string(n) + "=m" + std::to_string(n) + " \"H\"\r\n";
    EXPECT_EQ(1, Parse(kWorld + "MsgRange=120-135\r\n" + lines));
    EXPECT_EQ("131 132 133 134 135", Numbers(topic));
    EXPECT_EQ(135u, topic.ridLastMsg);
    EXPECT_EQ(0, Parse(kWorld + "MsgRange=120 135\r\n" + lines));  // the same range written with a blank
    EXPECT_EQ(0, Parse(kWorld + "MsgRange=125\r\n" + lines));  // no last number: nothing
    EXPECT_EQ(5u, topic.msgList.count());

    EXPECT_EQ(1, Parse(kWorld + "MsgRange=136-140\r\nMsg138=m \"Only one\"\r\n"));
    EXPECT_EQ(140u, topic.ridLastMsg);  // numbers without a line are not asked for again
    EXPECT_EQ("131 132 133 134 135 138", Numbers(topic));
}

TEST_F(ConfigFileTest, MessageLinesThatBreakTheFormatAreSkipped) {
    TraceRecorder trace;
    ASSERT_EQ(1, Parse(kWorld + "MsgRange=1-6\r\nMsg1=a131.html Rates fall\r\nMsg2= \"no file\"\r\n"
                                "Msg3=f.html \"\"\r\nMsg4=\r\nMsg5=ok.html \"Rates fall\"\r\nMsg6=q.html \"Quoted \"inside\"\"\r\n"));
    CTopic* topic = Find("News / World");
    EXPECT_EQ("5 6", Numbers(*topic));
    EXPECT_TRUE(trace.Contains("EngineUpdate::ParseConfigFile(): Error bad msg format: a131.html Rates fall"));
    EXPECT_STREQ("Quoted \"inside\"", topic->msgList.last()->value->lpszTitle);  // one closing quote goes
    EXPECT_EQ(6u, topic->ridLastMsg);
}

TEST_F(ConfigFileTest, AnswerTitleDecidesWhichTopicChanges) {
    CTopic& asked = AddTopic(TOPIC_SUBSCRIPTION, "News / Asked");
    CTopic& other = AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    EXPECT_EQ(1, Parse(kWorld + "MsgRange=1-1\r\nMsg1=a \"For the other\"\r\n"));
    EXPECT_EQ(0u, asked.msgList.count());
    EXPECT_EQ(1u, other.msgList.count());
}

TEST_F(ConfigFileTest, OutOfRangeMessagesArePurgedOnRequest) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    for (uint32_t n : {5u, 10u, 20u}) AddMsg(topic, n);
    topic.ridLastMsg = 20;
    EXPECT_EQ(1, Parse(kWorld + "MsgRange=10-21\r\nPurgeOutOfRange=true\r\nMsg21=x \"New\"\r\n"));
    EXPECT_EQ("10 20 21", Numbers(topic));
    EXPECT_EQ(1, Parse(kWorld + "MsgRange=10-22\r\nPurgeOutOfRange=False\r\nMsg22=x \"Newer\"\r\n"));
    EXPECT_EQ("10 20 21 22", Numbers(topic));
}

TEST_F(ConfigFileTest, HugeRangeCostsOnlyTheLinesPresent) {
    std::string lines = "Msg1=a \"One\"\r\nmsg3999999999=b \"Upper\"\r\nMsg-294967296=c \"Four billion\"\r\n"
                        "Msg02=d \"Not the key for 2\"\r\nMsg3=e \"Three\"\r\nMsg3=f \"A second line for 3\"\r\n";
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(1, Parse(kWorld + "MsgRange=1-4000000000\r\n" + lines));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    CTopic* topic = Find("News / World");
    EXPECT_EQ("1 3 4000000000", Numbers(*topic));  // "%d" writes 4000000000 as -294967296
    EXPECT_EQ(4000000000u, topic->ridLastMsg);
    EXPECT_STREQ("Three", topic->msgList.begin()->next->value->lpszTitle);
    uint32_t n = 0;
    EXPECT_TRUE(SubscriptionFile::MessageNumber("MSG7", n));
    EXPECT_EQ(7u, n);
    for (const char* key : {"Msg", "Msg07", "Msg+7", "Msg 7", "Msgs7", "Msg99999999999", "Title"})
        EXPECT_FALSE(SubscriptionFile::MessageNumber(key, n)) << key;
}

TEST_F(ConfigFileTest, FullArrayRaisesToTheCaller) {
    for (int i = 0; i < 100; i++) AddTopic(TOPIC_SUBSCRIPTION, "News / " + std::to_string(i));
    try {
        Parse("Title=News / New\r\nMsgRange=1-1\r\n");
        FAIL() << "a full array must raise";
    } catch (const char* text) {
        EXPECT_STREQ("Array Full!", text);
    }
}

TEST_F(ConfigFileTest, AnyBytesAreRefusedOrTakenWithoutHarm) {
    std::mt19937 random(77);
    std::string valid = "[General]\r\nConfigVersion=1\r\n[Subscription1]\r\n" + kWorld +
                        "MsgRange=1-3\r\nMsg1=a \"A\"\r\nMsg2=b \"B\"\r\nMsg3=c \"C\"\r\n";
    for (int round = 0; round < 200; round++) {
        std::string bytes = valid;
        for (int i = 0; i < 1 + round % 20; i++) bytes[random() % bytes.size()] = static_cast<char>(random());
        if (round % 9 == 0) bytes += std::string(5000, static_cast<char>(random()));
        dir_.Write("fuzz.twl", bytes);
        TraceRecorder quiet;
        EngineUpdate::ParseConfigFile(dir_.File("fuzz.twl").c_str());
        EXPECT_LE(gTopicArray.Size, 100u);
    }
}

TEST_F(NewsTest, UpdateChoosesDueTopicsInTurn) {
    const int32_t now = 1800000000;
    CTopic& a = AddTopic(TOPIC_SUBSCRIPTION, "a");
    CTopic& off = AddTopic(TOPIC_SUBSCRIPTION, "off");
    CTopic& quotes = AddTopic(TOPIC_QUOTES, "quotes");
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    CTopic& recent = AddTopic(TOPIC_SUBSCRIPTION, "recent");
    off.bActive = 0;
    recent.dwInterval = 1800;
    recent.tmLastUpdate = now - 1800;  // exactly the interval is not enough
    EXPECT_TRUE(EngineUpdate::IsDue(a, now));
    EXPECT_FALSE(EngineUpdate::IsDue(off, now));
    EXPECT_FALSE(EngineUpdate::IsDue(quotes, now));
    EXPECT_TRUE(EngineUpdate::IsDue(ads, now));
    EXPECT_FALSE(EngineUpdate::IsDue(recent, now));
    EXPECT_TRUE(EngineUpdate::IsDue(recent, now + 1));

    auto due = [](const CTopic& topic) { return EngineUpdate::IsDue(topic, now); };
    EXPECT_EQ(&a, gTopicArray.NextInTurn(kNoId, due));
    EXPECT_EQ(&ads, gTopicArray.NextInTurn(a.ridTopic, due));
    EXPECT_EQ(&a, gTopicArray.NextInTurn(ads.ridTopic, due));  // round to the start
    a.tmLastUpdate = now;
    ads.tmLastUpdate = now;
    EXPECT_EQ(nullptr, gTopicArray.NextInTurn(ads.ridTopic, due));
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
    cfg_.Pace = 10;
    EXPECT_EQ(30, EngineUpdate::RunSpacing(cfg_));
}
