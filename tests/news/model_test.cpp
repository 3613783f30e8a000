// The list and the topic array.
#include <gtest/gtest.h>

#include "news/list.h"
#include "news_fixture.h"

// Inserting after any node and erasing are what every update, purge and
// quote replacement does to the lists; an empty list is their guard.
TEST(CList, ErasingFromAnEmptyListRaises) {
    CList<int*> list;
    int a = 1;
    list.InsertHead(list.last(), &a);
    EXPECT_EQ(list.end(), list.Erase(list.begin()));
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
