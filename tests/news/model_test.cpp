// The list and the topic array.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "news/list.h"
#include "news_fixture.h"

TEST(CList, InsertsAfterANodeErasesAndRefusesWhenEmpty) {
    CList<int*> list;
    int a = 1, b = 2, c = 3;
    list.InsertHead(list.last(), &a);
    list.InsertHead(list.last(), &c);
    list.InsertHead(list.begin(), &b);  // right after the first
    std::string order;
    for (auto node = list.begin(); node != list.end(); node = list.next(node)) order += std::to_string(*node->value);
    EXPECT_EQ("123", order);
    EXPECT_EQ(&a, list.prev(list.last()->prev)->value);
    EXPECT_EQ(&b, list.Erase(list.begin())->value);  // the node that followed
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

TEST_F(NewsTest, FreeSlotSearchStartsAtTheCursorAndAFullArrayRefusesTheNext) {
    for (uint32_t slot = 0; slot < 6; slot++) EXPECT_EQ(slot, AddTopic(TOPIC_SUBSCRIPTION).ridTopic);
    EXPECT_EQ(97u, AddTopic(TOPIC_SUBSCRIPTION, "t", 97).ridTopic);
    EXPECT_EQ(98u, AddTopic(TOPIC_SUBSCRIPTION).ridTopic);
    EXPECT_EQ(99u, AddTopic(TOPIC_SUBSCRIPTION).ridTopic);
    for (uint32_t slot = 6; slot < 97; slot++) EXPECT_EQ(slot, AddTopic(TOPIC_SUBSCRIPTION).ridTopic);  // wrapped
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
