// The lookups behind the display programs' requests.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "news/fetch.h"
#include "news_fixture.h"

namespace {

class FetchTest : public NewsTest {
protected:
    // The topic id answered, or -1.
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

    std::unique_ptr<TopicArea> topicArea_{new TopicArea()};  // zeroed
    std::unique_ptr<MsgArea> msgArea_{new MsgArea()};
};

constexpr uint16_t kFirst = FETCH_FIRST, kLast = FETCH_LAST, kPrev = FETCH_PREVIOUS, kNext = FETCH_NEXT,
                   kCurrent = FETCH_CURRENT;

}  // namespace

TEST_F(FetchTest, TopicStepsPassOverTheAdStream) {
    AddTopic(TOPIC_SUBSCRIPTION, "a", 2);
    AddTopic(TOPIC_ADSTREAM, "AdStream", 5);
    AddTopic(TOPIC_SUBSCRIPTION, "c", 9);
    cfg_.AdTopicId = 5;
    const std::tuple<uint16_t, uint32_t, bool, int> cases[] = {
        {kNext, 2, false, 9},    {kPrev, 9, false, 2},  {kNext, 9, false, -1},     {kNext, 9, true, 2},
        {kPrev, 2, false, -1},   {kPrev, 2, true, 9},   {kFirst, kNoId, false, 2}, {kLast, kNoId, false, 9},
        {kCurrent, 5, false, 5},  // asked for by id, the ad stream is answered
        {kNext, 40, false, 2},   {kPrev, 40, false, 9}, {kCurrent, 40, false, -1}, {kCurrent, 40, true, 2},  // no slot
        {6, 2, true, -1},        {7, 2, true, -1},      {99, 2, true, -1},
    };
    for (auto [code, current, wrap, expected] : cases)
        EXPECT_EQ(expected, TopicAfter(code, current, wrap)) << code << " from " << current << " " << wrap;
}

// Slots: 0 holds 1 and 2; 1 is switched off; 2 is empty; 3 is the ad stream; 4 holds 7.
TEST_F(FetchTest, MessageStepsFollowTheDisplayOrder) {
    CTopic& a = AddTopic(TOPIC_SUBSCRIPTION, "a");
    AddMsg(a, 1);
    AddMsg(a, 2);
    AddMsg(AddTopic(TOPIC_SUBSCRIPTION, "off"), 5);
    gTopicArray.At(1)->bActive = 0;
    AddTopic(TOPIC_SUBSCRIPTION, "empty");
    AddMsg(AddTopic(TOPIC_ADSTREAM, "AdStream"), 9, "A0000009.bmp");
    cfg_.AdTopicId = 3;
    CTopic& b = AddTopic(TOPIC_SUBSCRIPTION, "b");
    AddMsg(b, 7);
    const std::tuple<uint16_t, uint32_t, uint32_t, bool, const char*> cases[] = {
        {kFirst, kNoId, kNoId, false, "0:1"}, {kLast, kNoId, kNoId, false, "4:7"},
        {kNext, 0, 1, false, "0:2"},          {kNext, 0, 2, false, "none"},
        {kNext, 0, 2, true, "4:7"},  // over the switched-off, the empty and the ad topic
        {kNext, 4, 7, true, "0:1"},  // round to the first topic
        {kPrev, 0, 2, false, "0:1"},          {kPrev, 0, 1, false, "none"},
        {kPrev, 0, 1, true, "4:7"},  // back over the first slot to the last topic
        {kPrev, 4, 7, true, "0:2"},           {kCurrent, 0, 2, false, "0:2"},
        {kCurrent, 0, 3, true, "none"},       {6, 0, 1, true, "none"},
        {kFirst, 0, kNoId, false, "0:1"},     {kLast, 0, kNoId, false, "0:2"},  // within the topic
        {kFirst, 0, 2, true, "none"},         {kLast, 0, 1, true, "none"},  // a current message: first and last give 0
        {kPrev, 0, 99, true, "0:2"},          {kNext, 0, 99, true, "0:1"},  // a missing message: the topic's ends
        {kPrev, 0, 99, false, "none"},        {kNext, 0, 99, false, "none"},
    };
    for (auto [code, topic, msg, wrap, expected] : cases)
        EXPECT_EQ(expected, MsgAfter(code, topic, msg, wrap)) << code << " from " << topic << ":" << msg << " " << wrap;
    for (uint32_t invalid : {kNoId, 100u, 250u, 50u}) {
        SCOPED_TRACE(invalid);
        EXPECT_EQ("none", MsgAfter(kNext, invalid, 1, false));
        EXPECT_EQ("4:7", MsgAfter(kNext, invalid, 1, true));  // the newest, from the last topic
        EXPECT_EQ("0:1", MsgAfter(kPrev, invalid, 1, true));  // the oldest, from the first
        EXPECT_EQ("0:1", MsgAfter(kFirst, invalid, 1, false));
        EXPECT_EQ("none", MsgAfter(kCurrent, invalid, 1, true));
    }
    b.bActive = 0;  // alone, the walk comes back to where it started ...
    EXPECT_EQ("0:1", MsgAfter(kNext, 0, 2, true));
    EXPECT_EQ("0:2", MsgAfter(kPrev, 0, 1, true));
    a.bActive = 0;  // ... unless the start is not one to show itself
    EXPECT_EQ("none", MsgAfter(kNext, 0, 2, true));

    EXPECT_EQ(0u, a.msgList.begin()->value->dwViews);  // only ads count their views
    for (uint32_t views = 1; views <= 3; views++) {
        EXPECT_EQ("3:9", MsgAfter(kCurrent, 3, 9, false));
        EXPECT_EQ(views, msgArea_->msg.dwViews);  // the answer carries the count with this view in it
    }
    EXPECT_EQ(3u, gTopicArray.At(3)->msgList.begin()->value->dwViews);
}

TEST_F(FetchTest, AnswersCopyTheRecordsAndTouchNothingElse) {
    memset(msgArea_.get(), 'q', sizeof(MsgArea));
    EXPECT_EQ(0, CFetchMsg::Get(kFirst, msgArea_.get()));  // an empty database answers nothing
    EXPECT_EQ(0, CFetchTopic::Get(kFirst, topicArea_.get()));
    EXPECT_EQ('q', msgArea_->msg.Title[0]);

    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    strcpy(topic.ConfigUrl, "http://news.test/world.twl");
    AddMsg(topic, 1, "Hi");
    AddMsg(topic, 2);
    topicArea_->topic.ridTopic = 0;
    ASSERT_EQ(1, CFetchTopic::Get(kCurrent, topicArea_.get()));
    EXPECT_EQ(0, memcmp(&topicArea_->topic, &topic.record(), sizeof(TopicRecord)));
    EXPECT_EQ(2u, topicArea_->msgCount);
    EXPECT_EQ(0, CFetchTopic::Get(kFirst, nullptr));
    EXPECT_EQ(0, CFetchMsg::Get(kFirst, nullptr));

    EXPECT_EQ("0:1", MsgAfter(kCurrent, 0, 1, false));
    EXPECT_STREQ("Hi", msgArea_->msg.Title);
    EXPECT_EQ(0, memcmp(&msgArea_->topic, &topic.record(), sizeof(TopicRecord)));
}
