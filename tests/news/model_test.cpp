// The list and the topic array.
#include <gtest/gtest.h>

#include "news/list.h"
#include "news_fixture.h"

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

TEST_F(NewsTest, AFullArrayRefusesTheNext) {
    for (int i = 0; i < 100; i++) AddTopic(TOPIC_SUBSCRIPTION);
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
