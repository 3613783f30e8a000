// The lookups behind the display programs' requests.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "news/fetch.h"
#include "news_fixture.h"

namespace {

class FetchTest : public NewsTest {
protected:
    FetchTest() {
        memset(topicArea_.get(), 0, sizeof(TopicArea));
        memset(msgArea_.get(), 0, sizeof(MsgArea));
    }

    // The topic id a topic request answers, or -1 for 0.
    int TopicAfter(uint16_t code, uint32_t current, bool wrap) {
        topicArea_->wrap = wrap;
        topicArea_->topic.ridTopic = current;
        return CFetchTopic::Get(code, topicArea_.get()) ? static_cast<int>(topicArea_->topic.ridTopic) : -1;
    }

    // "topic:message" of the answer to a message request, or "none".
    std::string MsgAfter(uint16_t code, uint32_t topic, uint32_t msg, bool wrap) {
        msgArea_->wrap = wrap;
        msgArea_->msg.ridTopic = topic;
        msgArea_->msg.ridMsg = msg;
        if (!CFetchMsg::Get(code, msgArea_.get())) return "none";
        EXPECT_EQ(msgArea_->msg.ridTopic, msgArea_->topic.ridTopic) << "the answer carries its topic";
        return std::to_string(msgArea_->msg.ridTopic) + ":" + std::to_string(msgArea_->msg.ridMsg);
    }

    std::unique_ptr<TopicArea> topicArea_{new TopicArea};
    std::unique_ptr<MsgArea> msgArea_{new MsgArea};
};

}  // namespace

TEST_F(FetchTest, TopicStepsPassOverTheAdStream) {
    AddTopic(TOPIC_SUBSCRIPTION, "a", 2);
    AddTopic(TOPIC_ADSTREAM, "AdStream", 5);
    AddTopic(TOPIC_SUBSCRIPTION, "c", 9);
    cfg_.AdTopicId = 5;
    EXPECT_EQ(9, TopicAfter(FETCH_NEXT, 2, false));
    EXPECT_EQ(2, TopicAfter(FETCH_PREVIOUS, 9, false));
    EXPECT_EQ(-1, TopicAfter(FETCH_NEXT, 9, false));
    EXPECT_EQ(2, TopicAfter(FETCH_NEXT, 9, true));
    EXPECT_EQ(-1, TopicAfter(FETCH_PREVIOUS, 2, false));
    EXPECT_EQ(9, TopicAfter(FETCH_PREVIOUS, 2, true));
    EXPECT_EQ(2, TopicAfter(FETCH_FIRST, kNoId, false));
    EXPECT_EQ(9, TopicAfter(FETCH_LAST, kNoId, false));
    EXPECT_EQ(5, TopicAfter(FETCH_CURRENT, 5, false));  // asked for by id, the ad stream is answered
    EXPECT_EQ(-1, TopicAfter(6, 2, true));
    EXPECT_EQ(-1, TopicAfter(7, 2, true));
    EXPECT_EQ(-1, TopicAfter(99, 2, true));
}

TEST_F(FetchTest, TopicIdThatNoSlotHolds) {
    AddTopic(TOPIC_SUBSCRIPTION, "a", 2);
    AddTopic(TOPIC_SUBSCRIPTION, "b", 5);
    EXPECT_EQ(2, TopicAfter(FETCH_NEXT, 40, false));
    EXPECT_EQ(5, TopicAfter(FETCH_PREVIOUS, 40, false));
    EXPECT_EQ(-1, TopicAfter(FETCH_CURRENT, 40, false));
    EXPECT_EQ(2, TopicAfter(FETCH_CURRENT, 40, true));
}

TEST_F(FetchTest, TopicAnswerCarriesTheRecordAndTheMessageCount) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    strcpy(topic.ConfigUrl, "http://news.test/world.twl");
    AddMsg(topic, 1);
    AddMsg(topic, 2);
    topicArea_->topic.ridTopic = 0;
    ASSERT_EQ(1, CFetchTopic::Get(FETCH_CURRENT, topicArea_.get()));
    EXPECT_EQ(0, memcmp(&topicArea_->topic, &topic.record(), sizeof(TopicRecord)));
    EXPECT_EQ(2u, topicArea_->msgCount);
    EXPECT_EQ(0, CFetchTopic::Get(FETCH_FIRST, nullptr));
}

TEST_F(FetchTest, EmptyDatabaseAnswersNothingAndLeavesTheAreaAlone) {
    memset(msgArea_.get(), 0x5A, sizeof(MsgArea));
    EXPECT_EQ(0, CFetchMsg::Get(FETCH_FIRST, msgArea_.get()));
    EXPECT_EQ(0, CFetchTopic::Get(FETCH_FIRST, topicArea_.get()));
    EXPECT_EQ(0x5A, msgArea_->msg.Title[0]);
}

TEST_F(FetchTest, MessagesStepOldestToNewestAndOnToTheNextTopic) {
    CTopic& a = AddTopic(TOPIC_SUBSCRIPTION, "a");
    CTopic& b = AddTopic(TOPIC_SUBSCRIPTION, "b");
    AddMsg(a, 1);
    AddMsg(a, 2);
    AddMsg(b, 7);
    EXPECT_EQ("0:1", MsgAfter(FETCH_FIRST, kNoId, kNoId, false));
    EXPECT_EQ("1:7", MsgAfter(FETCH_LAST, kNoId, kNoId, false));
    EXPECT_EQ("0:2", MsgAfter(FETCH_NEXT, 0, 1, false));
    EXPECT_EQ("none", MsgAfter(FETCH_NEXT, 0, 2, false));
    EXPECT_EQ("1:7", MsgAfter(FETCH_NEXT, 0, 2, true));
    EXPECT_EQ("0:1", MsgAfter(FETCH_NEXT, 1, 7, true));  // round to the first topic
    EXPECT_EQ("0:1", MsgAfter(FETCH_PREVIOUS, 0, 2, false));
    EXPECT_EQ("none", MsgAfter(FETCH_PREVIOUS, 0, 1, false));
    EXPECT_EQ("1:7", MsgAfter(FETCH_PREVIOUS, 0, 1, true));  // back over the first slot to the last topic
    EXPECT_EQ("0:2", MsgAfter(FETCH_PREVIOUS, 1, 7, true));
    EXPECT_EQ("0:2", MsgAfter(FETCH_CURRENT, 0, 2, false));
    EXPECT_EQ("none", MsgAfter(FETCH_CURRENT, 0, 3, true));
    EXPECT_EQ("none", MsgAfter(6, 0, 1, true));
}

TEST_F(FetchTest, FirstAndLastWithinATopic) {
    CTopic& a = AddTopic(TOPIC_SUBSCRIPTION, "a");
    AddMsg(a, 1);
    AddMsg(a, 2);
    EXPECT_EQ("0:1", MsgAfter(FETCH_FIRST, 0, kNoId, false));
    EXPECT_EQ("0:2", MsgAfter(FETCH_LAST, 0, kNoId, false));
    EXPECT_EQ("none", MsgAfter(FETCH_FIRST, 0, 2, true));  // a current message makes first and last answer 0
    EXPECT_EQ("none", MsgAfter(FETCH_LAST, 0, 1, true));
}

TEST_F(FetchTest, WrapWalkPassesOverDisabledEmptyAndAdTopicsBackToTheStart) {
    CTopic& start = AddTopic(TOPIC_SUBSCRIPTION, "start");
    CTopic& off = AddTopic(TOPIC_SUBSCRIPTION, "off");
    AddTopic(TOPIC_SUBSCRIPTION, "empty");
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    cfg_.AdTopicId = ads.ridTopic;
    AddMsg(start, 1);
    AddMsg(start, 2);
    AddMsg(off, 5);
    off.bActive = 0;
    AddMsg(ads, 9, "http://ads.test/1C.bmp");
    EXPECT_EQ("0:1", MsgAfter(FETCH_NEXT, 0, 2, true));
    EXPECT_EQ("0:2", MsgAfter(FETCH_PREVIOUS, 0, 1, true));
    start.bActive = 0;  // a start that is not eligible itself gives nothing
    EXPECT_EQ("none", MsgAfter(FETCH_NEXT, 0, 2, true));
}

TEST_F(FetchTest, MissingCurrentMessageWithWrapGivesTheTopicsEnds) {
    CTopic& a = AddTopic(TOPIC_SUBSCRIPTION, "a");
    AddMsg(a, 3);
    AddMsg(a, 4);
    EXPECT_EQ("0:4", MsgAfter(FETCH_PREVIOUS, 0, 99, true));
    EXPECT_EQ("0:3", MsgAfter(FETCH_NEXT, 0, 99, true));
    EXPECT_EQ("none", MsgAfter(FETCH_PREVIOUS, 0, 99, false));
    EXPECT_EQ("none", MsgAfter(FETCH_NEXT, 0, 99, false));
}

TEST_F(FetchTest, CurrentTopicThatIsNotValid) {
    CTopic& a = AddTopic(TOPIC_SUBSCRIPTION, "a");
    CTopic& b = AddTopic(TOPIC_SUBSCRIPTION, "b");
    AddMsg(a, 1);
    AddMsg(a, 2);
    AddMsg(b, 7);
    AddMsg(b, 8);
    for (uint32_t invalid : {kNoId, 100u, 250u, 50u}) {
        EXPECT_EQ("none", MsgAfter(FETCH_NEXT, invalid, 1, false)) << invalid;
        EXPECT_EQ("1:8", MsgAfter(FETCH_NEXT, invalid, 1, true)) << invalid;  // the newest, from the last topic
        EXPECT_EQ("0:1", MsgAfter(FETCH_PREVIOUS, invalid, 1, true)) << invalid;  // the oldest, from the first
        EXPECT_EQ("0:1", MsgAfter(FETCH_FIRST, invalid, 1, false)) << invalid;
        EXPECT_EQ("none", MsgAfter(FETCH_CURRENT, invalid, 1, true)) << invalid;
    }
}

TEST_F(FetchTest, OnlyAdsCountTheirViews) {
    CTopic& news = AddTopic(TOPIC_SUBSCRIPTION, "news");
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    cfg_.AdTopicId = ads.ridTopic;
    CMsg& story = AddMsg(news, 1);
    CMsg& ad = AddMsg(ads, 4, "A0000004.bmp");
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ("1:4", MsgAfter(FETCH_CURRENT, ads.ridTopic, 4, false));
        EXPECT_EQ("0:1", MsgAfter(FETCH_CURRENT, news.ridTopic, 1, false));
    }
    EXPECT_EQ(3u, ad.dwViews);
    EXPECT_EQ(0u, story.dwViews);
    MsgAfter(FETCH_CURRENT, ads.ridTopic, 4, false);
    EXPECT_EQ(4u, msgArea_->msg.dwViews);  // the answer carries the count with this view in it
}

TEST_F(FetchTest, AnswerWritesTheRecordWithoutClearingTheArea) {
    CTopic& news = AddTopic(TOPIC_SUBSCRIPTION, "news");
    AddMsg(news, 1, "Hi");
    memset(&msgArea_->msg, 'q', sizeof(MsgRecord));
    msgArea_->msg.ridTopic = 0;
    msgArea_->msg.ridMsg = 1;
    ASSERT_EQ(1, CFetchMsg::Get(FETCH_CURRENT, msgArea_.get()));
    EXPECT_STREQ("Hi", msgArea_->msg.Title);
    EXPECT_EQ('q', msgArea_->msg.Title[3]);  // old characters stay behind the terminator
    EXPECT_STREQ("news", msgArea_->topic.Title);
}
