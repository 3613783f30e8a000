// The list, the messages and the topic array.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "news/list.h"
#include "news/msg.h"
#include "news_fixture.h"

TEST(CList, InsertsAfterANodeErasesAndRefusesWhenEmpty) {
    CList<int*> list;
    int a = 1, b = 2, c = 3;
    EXPECT_EQ(list.end(), list.begin());
    list.InsertHead(list.last(), &a);
    list.InsertHead(list.last(), &c);
    list.InsertHead(list.begin(), &b);  // right after the first
    ASSERT_EQ(3u, list.count());
    std::string order;
    for (auto node = list.begin(); node != list.end(); node = list.next(node)) order += std::to_string(*node->value);
    EXPECT_EQ("123", order);
    EXPECT_EQ(&c, list.last()->value);
    EXPECT_EQ(&a, list.prev(list.begin()->next)->value);

    auto following = list.Erase(list.begin());
    EXPECT_EQ(&b, following->value);
    list.Erase(list.begin());
    EXPECT_EQ(list.end(), list.Erase(list.begin()));
    EXPECT_EQ(0u, list.count());
    try {
        list.Erase(list.begin());
        FAIL() << "erasing from an empty list must raise";
    } catch (const char* text) {
        EXPECT_STREQ("CList::Erase(I): List already empty", text);
    }
}

TEST(CMsg, KeepsItsStringsInOneBlockAndWritesThemBack) {
    MsgRecord record;
    memset(&record, 0, sizeof record);
    record.ridTopic = 4;
    record.ridMsg = 57;
    record.tmReceived = -3;
    record.dwViews = 9;
    record.dwReserved3 = 7;
    strcpy(record.Title, "Title");
    strcpy(record.File, "f.html");
    strcpy(record.Url, "http://x/f.html");
    CMsg* msg = CMsg::Create(record);
    ASSERT_NE(nullptr, msg);
    EXPECT_EQ(sizeof(CMsg) + 5 + 6 + 15 + 3, msg->cbSize);
    EXPECT_STREQ("Title", msg->lpszTitle);
    EXPECT_STREQ("http://x/f.html", msg->lpszUrl);

    MsgRecord out;
    memset(&out, 'z', sizeof out);
    msg->ToRecord(out);
    EXPECT_EQ(0, memcmp(&out, &record, 28));  // the seven numbers
    EXPECT_STREQ("Title", out.Title);
    EXPECT_EQ('z', out.Title[6]);  // nothing after the terminator is touched
    EXPECT_STREQ("f.html", out.File);
    CMsg::Destroy(msg);
}

TEST(CMsg, RecordWithoutTerminatorsIsCutWithinItsFields) {
    MsgRecord record;
    memset(&record, 'x', sizeof record);
    CMsg* msg = CMsg::Create(record);
    ASSERT_NE(nullptr, msg);
    EXPECT_EQ(199u, strlen(msg->lpszTitle));
    EXPECT_EQ(99u, strlen(msg->lpszFile));
    EXPECT_EQ(1023u, strlen(msg->lpszUrl));
    MsgRecord out;
    msg->ToRecord(out);
    EXPECT_EQ('\0', out.Title[199]);
    EXPECT_EQ('\0', out.File[99]);
    EXPECT_EQ('\0', out.Url[1023]);
    CMsg::Destroy(msg);
}

TEST_F(NewsTest, NewTopicHasItsDefaults) {
    CTopic topic;
    EXPECT_EQ(kNoId, topic.ridTopic);
    EXPECT_EQ(0u, topic.ridLastMsg);
    EXPECT_EQ(3600u, topic.dwMsgLifetime);
    EXPECT_EQ(1800u, topic.dwInterval);
    EXPECT_EQ(-1, topic.tmLastUpdate);
    EXPECT_EQ(1u, topic.bActive);
    EXPECT_STREQ("", topic.Title);
}

TEST_F(NewsTest, HundredTopicsFitAndTheNextIsRefusedWithNothingChanged) {
    for (int i = 0; i < 100; i++) EXPECT_EQ(static_cast<uint32_t>(i), AddTopic(TOPIC_SUBSCRIPTION).ridTopic);
    EXPECT_EQ(100u, gTopicArray.Size);
    EXPECT_EQ(0u, gTopicArray.MaxAvail);
    CTopic extra;
    try {
        gTopicArray.Add(&extra);
        FAIL() << "a 101st topic must be refused";
    } catch (const char* text) {
        EXPECT_STREQ("Array Full!", text);
    }
    EXPECT_EQ(100u, gTopicArray.Size);
    EXPECT_EQ(kNoId, extra.ridTopic);
}

TEST_F(NewsTest, FreeSlotSearchStartsAtTheCursorAndWraps) {
    for (int i = 0; i < 5; i++) AddTopic(TOPIC_SUBSCRIPTION);
    EXPECT_EQ(5u, AddTopic(TOPIC_SUBSCRIPTION).ridTopic);  // the cursor stayed on 4 and moves on
    EXPECT_EQ(97u, AddTopic(TOPIC_SUBSCRIPTION, "t", 97).ridTopic);
    EXPECT_EQ(98u, AddTopic(TOPIC_SUBSCRIPTION).ridTopic);
    EXPECT_EQ(99u, AddTopic(TOPIC_SUBSCRIPTION).ridTopic);
    EXPECT_EQ(6u, AddTopic(TOPIC_SUBSCRIPTION).ridTopic);  // past the last slot, round to the first free one
    EXPECT_EQ(10u, gTopicArray.Size);
    EXPECT_EQ(90u, gTopicArray.MaxAvail);
}

TEST_F(NewsTest, StepsThroughOccupiedSlotsAndWrapsAtTheEnd) {
    AddTopic(TOPIC_SUBSCRIPTION, "a", 2);
    AddTopic(TOPIC_SUBSCRIPTION, "b", 5);
    AddTopic(TOPIC_SUBSCRIPTION, "c", 9);
    const int end = TopicArray::kEnd;
    EXPECT_EQ(2, gTopicArray.Begin());
    EXPECT_EQ(9, gTopicArray.Last());
    EXPECT_EQ(5, gTopicArray.Next(2));
    EXPECT_EQ(end, gTopicArray.Next(9));
    EXPECT_EQ(2, gTopicArray.Next(end));  // forward from the end wraps
    EXPECT_EQ(end, gTopicArray.Prev(2));  // back from the first gives the end
    EXPECT_EQ(9, gTopicArray.Prev(end));
    EXPECT_EQ(5, gTopicArray.Find(5));
    EXPECT_EQ(end, gTopicArray.Find(3));
    EXPECT_EQ(nullptr, gTopicArray.At(3));
    EXPECT_EQ(nullptr, gTopicArray.At(end));
}
