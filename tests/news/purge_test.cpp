// The purge: counts, ages, the ad stream with its bitmaps, the turn over topics, the out-of-range removal.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

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

TEST_F(PurgeTest, CountLimitTakesTheOldestFirst) {
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
}

// A new topic's lifetime is an hour, also once the calendar passed 2038; a MsgExpire of 0 keeps everything.
TEST_F(PurgeTest, ExpiryRemovesThoseOlderThanTheLifetime) {
    static int32_t now;
    gOs.Now = [] { return now; };
    cfg_.MsgPurge = 10;
    const std::tuple<int32_t, int32_t, std::vector<int32_t>, const char*> cases[] = {
        {1, kNow, {kNow - 3601, kNow - 3600, kNow + 500, kNow - 99999}, "2 3"},
        {1, AfterTheWrap(5000), {INT32_MAX - 100, AfterTheWrap(5000 - 3500), AfterTheWrap(4000)}, "2 3"},
        {0, kNow, {kNow - 99999, 0}, "1 2"},
    };
    for (const auto& [expire, at, received, kept] : cases) {
        now = at;
        cfg_.MsgExpire = expire;
        CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION);
        for (uint32_t i = 0; i < received.size(); i++) AddMsg(topic, i + 1, "headline", received[i]);
        Purge::PurgeList(topic);
        EXPECT_EQ(kept, Numbers(topic)) << "at " << at;
    }
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
