// The purge's rules: counts, ages, the ad stream with its bitmaps, the turn
// over topics and the out-of-range removal.
#include <gtest/gtest.h>

#include <string>

#include "news_fixture.h"
#include "os_override.h"
#include "temp_dir.h"

namespace {

constexpr int32_t kNow = 1800000000;

class PurgeTest : public NewsTest {
protected:
    PurgeTest() : dir_("purge") {
        gOs.Now = [] { return kNow; };
        strcpy(cfg_.DataDir, dir_.path().c_str());
    }

    CTopic& TopicWith(uint32_t type, uint32_t count, uint32_t firstId = 1) {
        CTopic& topic = AddTopic(type);
        for (uint32_t i = 0; i < count; i++) AddMsg(topic, firstId + i, "headline", kNow);
        return topic;
    }

    OsOverride restore_;
    TempDir dir_;
};

}  // namespace

TEST_F(PurgeTest, CountLimitTakesTheOldestFirst) {
    struct Case {
        int32_t msgPurge;
        uint32_t messages;
        std::string kept;
    } cases[] = {
        {20, 14, "5 6 7 8 9 10 11 12 13 14"},  // never more than 10
        {5, 14, "10 11 12 13 14"},
        {-1, 14, "5 6 7 8 9 10 11 12 13 14"},  // -1 is the largest unsigned number: only 10 counts
        {0, 4, ""},
        {5, 3, "1 2 3"},
    };
    for (const Case& c : cases) {
        cfg_.MsgPurge = c.msgPurge;
        CTopic& topic = TopicWith(TOPIC_SUBSCRIPTION, c.messages);
        Purge::PurgeList(topic);
        EXPECT_EQ(c.kept, Numbers(topic)) << "MsgPurge " << c.msgPurge;
    }
}

TEST_F(PurgeTest, ExpiryRemovesMessagesOlderThanTheLifetime) {
    cfg_.MsgPurge = 10;
    cfg_.MsgExpire = 1;
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION);
    topic.dwMsgLifetime = 3600;
    AddMsg(topic, 1, "old", kNow - 3601);
    AddMsg(topic, 2, "just in time", kNow - 3600);
    AddMsg(topic, 3, "from the future", kNow + 500);
    AddMsg(topic, 4, "old again", kNow - 99999);
    Purge::PurgeList(topic);
    EXPECT_EQ("2 3", Numbers(topic));

    cfg_.MsgExpire = 0;  // without expiry age does not matter
    AddMsg(topic, 5, "ancient", 0);
    Purge::PurgeList(topic);
    EXPECT_EQ("2 3 5", Numbers(topic));
}

TEST_F(PurgeTest, AdStreamIsCutToFiftyWithItsBitmapsDeleted) {
    CTopic& ads = AddTopic(TOPIC_ADSTREAM);
    AddMsg(ads, 101, "A0000101.bmp");
    AddMsg(ads, 102, "A0000102.bmp");
    AddMsg(ads, 103, "http://ads.test/A.bmp");  // not downloaded yet: no file to delete
    for (uint32_t i = 104; i < 154; i++) AddMsg(ads, i, "A0000" + std::to_string(i) + ".bmp");
    for (const char* name : {"A0000101.bmp", "A0000102.bmp", "A0000104.bmp"}) dir_.Write(name, "BM");
    ASSERT_EQ(53u, ads.msgList.count());
    Purge::PurgeAdStream(ads);
    EXPECT_EQ(50u, ads.msgList.count());
    EXPECT_EQ(104u, ads.msgList.begin()->value->ridMsg);
    EXPECT_FALSE(dir_.Exists("A0000101.bmp"));
    EXPECT_FALSE(dir_.Exists("A0000102.bmp"));
    EXPECT_TRUE(dir_.Exists("A0000104.bmp"));  // still in the stream
}

TEST_F(PurgeTest, OnlyTheAgentsOwnBitmapNamesAreEverDeleted) {
    TempDir outside("purge-outside");
    outside.Write("victim.bmp", "keep me");
    for (const char* name : {"plain.bmp", "Msg.dat", "A123.bmp", "A0000101.bmp.txt", "a0000102.BMP", "A00001030.bmp"})
        dir_.Write(name, "BM");
    std::string absolute = outside.File("victim.bmp");
    std::string relative = "..\\" + outside.path().substr(outside.path().rfind('\\') + 1) + "\\victim.bmp";
    CTopic& ads = AddTopic(TOPIC_ADSTREAM);
    for (const std::string& title : {absolute, relative, std::string("../victim.bmp"), std::string("C:victim.bmp"),
                                     std::string(".."), std::string("."), std::string("plain.bmp"), std::string("Msg.dat"),
                                     std::string("A123.bmp"), std::string("A0000101.bmp.txt"),
                                     std::string("A0000101.bmp\\..\\..\\victim.bmp"), std::string("a0000102.BMP"),
                                     std::string("A00001030.bmp")}) {
        AddMsg(ads, 1, title);
    }
    Purge::PurgeOutOfRange(ads, 5, 10);
    EXPECT_EQ(0u, ads.msgList.count());  // the messages go all the same
    EXPECT_EQ("keep me", outside.Read("victim.bmp"));
    for (const char* kept : {"plain.bmp", "Msg.dat", "A123.bmp", "A0000101.bmp.txt"}) EXPECT_TRUE(dir_.Exists(kept)) << kept;
    EXPECT_FALSE(dir_.Exists("a0000102.BMP"));
    EXPECT_FALSE(dir_.Exists("A00001030.bmp"));  // more digits for bigger numbers
}

TEST_F(PurgeTest, OutOfRangeKeepsOnlyTheRange) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION);
    for (uint32_t id : {5u, 10u, 20u, 21u}) AddMsg(topic, id, "x", kNow);
    Purge::PurgeOutOfRange(topic, 10, 20);
    EXPECT_EQ("10 20", Numbers(topic));
}

TEST_F(PurgeTest, EachTickPurgesTheNextTopicWithMessages) {
    cfg_.MsgPurge = 1;
    CTopic& first = TopicWith(TOPIC_SUBSCRIPTION, 3);
    CTopic& empty = AddTopic(TOPIC_SUBSCRIPTION);
    CTopic& third = TopicWith(TOPIC_SUBSCRIPTION, 3);
    CTopic& quotes = TopicWith(TOPIC_QUOTES, 3);
    Purge::lastPurgedTopic = first.ridTopic;
    Purge::OnClockTick();
    EXPECT_EQ(third.ridTopic, Purge::lastPurgedTopic);  // the empty one is passed over
    EXPECT_EQ(1u, third.msgList.count());
    Purge::OnClockTick();
    EXPECT_EQ(quotes.ridTopic, Purge::lastPurgedTopic);  // its turn, though nothing is removed from it
    EXPECT_EQ(3u, quotes.msgList.count());
    Purge::OnClockTick();
    EXPECT_EQ(first.ridTopic, Purge::lastPurgedTopic);  // round to the start
    EXPECT_EQ(1u, first.msgList.count());
    EXPECT_EQ(0u, empty.msgList.count());
}

TEST_F(PurgeTest, TheLastTopicIsNotStarvedWhenItAloneHasMessages) {
    cfg_.MsgPurge = 1;
    AddTopic(TOPIC_SUBSCRIPTION);
    AddTopic(TOPIC_SUBSCRIPTION);
    CTopic& last = TopicWith(TOPIC_SUBSCRIPTION, 3);
    Purge::lastPurgedTopic = last.ridTopic;
    AddMsg(last, 9, "new", kNow);
    Purge::OnClockTick();
    EXPECT_EQ("9", Numbers(last));
}

TEST_F(PurgeTest, HeldOrPassiveTickDoesNothing) {
    cfg_.MsgPurge = 0;
    CTopic& topic = TopicWith(TOPIC_SUBSCRIPTION, 3);
    cfg_.JobsHeld = 1;
    Purge::OnClockTick();
    cfg_.JobsHeld = 0;
    cfg_.Passive = 1;
    Purge::OnClockTick();
    EXPECT_EQ(3u, topic.msgList.count());
    EXPECT_EQ(kNoId, Purge::lastPurgedTopic);
    Purge::PurgeOutOfRange(topic, 2, 2);  // a parsed subscription still cleans up
    EXPECT_EQ("2", Numbers(topic));
}
