// The purge: counts, ages, the ad stream with its bitmaps, the turn over topics, the out-of-range removal.
#include <gtest/gtest.h>

#include <tuple>

#include "news_fixture.h"

namespace {

class PurgeTest : public NewsDirTest {
protected:
    PurgeTest() : NewsDirTest("purge") {}

    CTopic& TopicWith(uint32_t type, uint32_t count) {
        CTopic& topic = AddTopic(type);
        for (uint32_t i = 1; i <= count; i++) AddMsg(topic, i, "headline", kNow);
        return topic;
    }
};

}  // namespace

TEST_F(PurgeTest, CountLimitTakesTheOldestFirstAndExpiryThoseOlderThanTheLifetime) {
    const std::tuple<int32_t, uint32_t, const char*> cases[] = {
        {20, 14, "5 6 7 8 9 10 11 12 13 14"},  // never more than 10
        {5, 14, "10 11 12 13 14"},
        {5, 3, "1 2 3"},  // a MsgPurge of -1 or 0: config_file_test
    };
    for (auto [msgPurge, messages, kept] : cases) {
        cfg_.MsgPurge = msgPurge;
        CTopic& topic = TopicWith(TOPIC_SUBSCRIPTION, messages);
        Purge::PurgeList(topic);
        EXPECT_EQ(kept, Numbers(topic)) << "MsgPurge " << msgPurge;
    }

    cfg_.MsgPurge = 10;
    cfg_.MsgExpire = 1;
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION);  // a new topic's lifetime: an hour
    AddMsg(topic, 1, "old", kNow - 3601);
    AddMsg(topic, 2, "just in time", kNow - 3600);
    AddMsg(topic, 3, "from the future", kNow + 500);
    AddMsg(topic, 4, "old again", kNow - 99999);
    Purge::PurgeList(topic);
    EXPECT_EQ("2 3", Numbers(topic));

    cfg_.MsgExpire = 0;
    AddMsg(topic, 5, "ancient", 0);
    Purge::PurgeList(topic);
    EXPECT_EQ("2 3 5", Numbers(topic));
}

TEST_F(PurgeTest, ExpiryWorksPastTheYear2038) {
    gOs.Now = [] { return AfterTheWrap(5000); };
    cfg_.MsgPurge = 10;
    cfg_.MsgExpire = 1;
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION);  // a lifetime of an hour
    AddMsg(topic, 1, "received before the wrap, 5100 s ago", INT32_MAX - 100);
    AddMsg(topic, 2, "received before the wrap, 3500 s ago", AfterTheWrap(5000 - 3500));
    AddMsg(topic, 3, "received after it", AfterTheWrap(4000));
    Purge::PurgeList(topic);
    EXPECT_EQ("2 3", Numbers(topic));
}

// Titles pointing outside the data directory: hostile_input_test.
TEST_F(PurgeTest, AdStreamIsCutToFiftyAndOnlyTheAgentsOwnBitmapsAreEverDeleted) {
    const char* names[] = {"plain.bmp",    "Msg.dat",      "A123.bmp", "A0000101.bmp.txt",  // kept
                           "a0000102.BMP", "A00001030.bmp"};  // deleted: any case, more digits for bigger numbers
    CTopic& ads = AddTopic(TOPIC_ADSTREAM);
    for (const char* name : names) {
        AddMsg(ads, 1, name);
        dir_.Write(name, "BM");
    }
    AddMsg(ads, 2, "http://ads.test/A0000103.bmp");  // not downloaded yet
    for (uint32_t i = 104; i < 154; i++) AddMsg(ads, i, "A0000" + std::to_string(i) + ".bmp");
    for (const char* name : {"A0000104.bmp", "A0000105.bmp"}) dir_.Write(name, "BM");
    Purge::PurgeAdStream(ads);
    EXPECT_EQ(50u, ads.msgList.count());
    EXPECT_EQ(104u, ads.msgList.begin()->value->ridMsg);
    for (int i = 0; i < 6; i++) EXPECT_EQ(i < 4, dir_.Exists(names[i])) << names[i];
    EXPECT_TRUE(dir_.Exists("A0000104.bmp"));  // still in the stream
    Purge::PurgeOutOfRange(ads, 105, 153);     // a range drops ads with their bitmaps too
    EXPECT_EQ(49u, ads.msgList.count());       // both ends are in it
    EXPECT_FALSE(dir_.Exists("A0000104.bmp"));
    EXPECT_TRUE(dir_.Exists("A0000105.bmp"));
}

TEST_F(PurgeTest, EachTickPurgesTheNextTopicWithMessagesUnlessHeldOrPassive) {
    cfg_.MsgPurge = 1;
    CTopic& first = TopicWith(TOPIC_SUBSCRIPTION, 3);
    AddTopic(TOPIC_SUBSCRIPTION);
    CTopic& third = TopicWith(TOPIC_SUBSCRIPTION, 3);
    CTopic& quotes = TopicWith(TOPIC_QUOTES, 3);
    Purge::lastPurgedTopic = first.ridTopic;
    cfg_.JobsHeld = 1;
    Purge::OnClockTick();
    cfg_.JobsHeld = 0;
    cfg_.Passive = 1;
    Purge::OnClockTick();
    EXPECT_EQ(first.ridTopic, Purge::lastPurgedTopic);
    EXPECT_EQ(3u, third.msgList.count());
    cfg_.Passive = 0;
    Purge::OnClockTick();
    EXPECT_EQ(third.ridTopic, Purge::lastPurgedTopic);  // the empty one is passed over
    EXPECT_EQ(1u, third.msgList.count());
    Purge::OnClockTick();
    EXPECT_EQ(quotes.ridTopic, Purge::lastPurgedTopic);  // its turn, though nothing is removed from it
    EXPECT_EQ(3u, quotes.msgList.count());
    Purge::OnClockTick();
    EXPECT_EQ(first.ridTopic, Purge::lastPurgedTopic);  // round to the start
    EXPECT_EQ(1u, first.msgList.count());
}

TEST_F(PurgeTest, TheLastTopicIsNotStarvedWhenItAloneHasMessages) {
    cfg_.MsgPurge = 1;
    AddTopic(TOPIC_SUBSCRIPTION);
    CTopic& last = TopicWith(TOPIC_SUBSCRIPTION, 3);
    Purge::lastPurgedTopic = last.ridTopic;
    Purge::OnClockTick();
    EXPECT_EQ("3", Numbers(last));
}
