// The ad-stream topic at start-up, the rebuild of the stock-quote topic and
// the diagnostic listing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "news/database.h"
#include "news_fixture.h"
#include "os_override.h"
#include "shared/deployment.h"

TEST_F(NewsTest, AdStreamTopicIsCreatedWhenMissing) {
    AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    ASSERT_EQ(1, EnsureAdStreamTopic());
    ASSERT_EQ(2u, gTopicArray.Size);
    CTopic* ads = gTopicArray.At(1);
    EXPECT_EQ(TOPIC_ADSTREAM, ads->dwType);
    EXPECT_STREQ("AdStream", ads->Title);
    EXPECT_EQ(std::string("http://") + kNewsHost + "/Feed/AdStream3/AdStream.twl", ads->ConfigUrl);
    EXPECT_EQ(360u, ads->dwInterval);
    EXPECT_EQ(1u, cfg_.AdTopicId);
}

TEST_F(NewsTest, ExistingAdStreamTopicIsKeptButItsIntervalReset) {
    AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "Our Ads", 7);
    strcpy(ads.ConfigUrl, "http://elsewhere/ads.twl");
    ads.dwInterval = 5;
    ASSERT_EQ(1, EnsureAdStreamTopic());
    EXPECT_EQ(2u, gTopicArray.Size);
    EXPECT_STREQ("Our Ads", ads.Title);
    EXPECT_STREQ("http://elsewhere/ads.twl", ads.ConfigUrl);
    EXPECT_EQ(360u, ads.dwInterval);
    EXPECT_EQ(7u, cfg_.AdTopicId);
}

TEST_F(NewsTest, FullArrayCannotMakeSureOfTheAdStream) {
    for (int i = 0; i < 100; i++) AddTopic(i == 50 ? TOPIC_ADSTREAM : TOPIC_SUBSCRIPTION);
    EXPECT_EQ(0, EnsureAdStreamTopic());  // start-up then takes the repair path
}

class QuoteTopicTest : public NewsTest {
protected:
    void Symbols(std::initializer_list<const char*> list) {
        memset(symbols_, 0, sizeof symbols_);
        count_ = 0;
        for (const char* symbol : list) strcpy(symbols_[count_++], symbol);
    }
    std::string Titles(const CTopic& topic) {
        std::string titles;
        for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node))
            titles += (titles.empty() ? "" : " ") + std::string(node->value->lpszTitle);
        return titles;
    }
    char symbols_[kMaxSymbols][kSymbolSize];
    uint32_t count_ = 0;
};

TEST_F(QuoteTopicTest, KeepsListedSymbolsDropsOthersAndAppendsNewOnes) {
    CTopic& quotes = AddTopic(TOPIC_QUOTES, "Stocks", 3);
    AddMsg(quotes, 4, "BBB;12 1/2;+1/4;4:01PM");
    AddMsg(quotes, 9, "DDD;3;0;4:00PM");
    Symbols({"AAA", "BBB"});
    RebuildQuoteTopic(quotes, symbols_, count_);
    EXPECT_EQ("4 10", Numbers(quotes));  // BBB keeps its number, AAA follows the previous last one
    EXPECT_EQ("BBB;12 1/2;+1/4;4:01PM AAA;0;0", Titles(quotes));
    EXPECT_EQ(10u, quotes.ridLastMsg);
    const CMsg& added = *quotes.msgList.last()->value;
    EXPECT_EQ(3u, added.ridTopic);
    EXPECT_STREQ("Hint", added.lpszFile);
    EXPECT_EQ(std::string("http://") + kQuoteHost + "/quotes?SYMBOLS=AAA&detailed=t", added.lpszUrl);
    EXPECT_EQ(0, added.tmReceived);
    EXPECT_EQ(std::string("http://") + kQuoteHost + "/d/quotes.csv?s=BBB+AAA&f=sl1d1t1c1ohgv&e=.csv",
              quotes.ConfigUrl);
    EXPECT_EQ('\0', symbols_[1][0]);  // BBB was found, so its entry is blanked
}

TEST_F(QuoteTopicTest, UnchangedListKeepsEveryMessageAndNumber) {
    CTopic& quotes = AddTopic(TOPIC_QUOTES, "Stocks");
    AddMsg(quotes, 1, "AAA;1;0");
    AddMsg(quotes, 2, "BBB;2;0");
    Symbols({"BBB", "AAA"});
    RebuildQuoteTopic(quotes, symbols_, count_);
    EXPECT_EQ("1 2", Numbers(quotes));
    EXPECT_EQ("AAA;1;0 BBB;2;0", Titles(quotes));
}

TEST_F(QuoteTopicTest, EmptyListLeavesOnlyTheFormatInTheAddress) {
    CTopic& quotes = AddTopic(TOPIC_QUOTES, "Stocks");
    AddMsg(quotes, 1, "AAA;1;0");
    Symbols({});
    RebuildQuoteTopic(quotes, symbols_, count_);
    EXPECT_EQ(0u, quotes.msgList.count());
    EXPECT_STREQ("&f=sl1d1t1c1ohgv&e=.csv", quotes.ConfigUrl);
}

TEST_F(QuoteTopicTest, LongAndUnterminatedSymbolListsStayWithinTheirFields) {
    CTopic& quotes = AddTopic(TOPIC_QUOTES, "Stocks");
    memset(symbols_, 'S', sizeof symbols_);  // 200 entries of 10 letters, none terminated
    RebuildQuoteTopic(quotes, symbols_, 5000);
    EXPECT_EQ(200u, quotes.msgList.count());
    EXPECT_STREQ("SSSSSSSSS;0;0", quotes.msgList.begin()->value->lpszTitle);
    EXPECT_EQ(1023u, strlen(quotes.ConfigUrl));  // the address is cut to its field
}

TEST_F(NewsTest, DumpListsTopicsThenMessages) {
    TraceRecorder trace;
    CTopic& news = AddTopic(TOPIC_SUBSCRIPTION, "News / World");
    news.ridLastMsg = 8;
    AddMsg(news, 8, "Rain");
    CTopic& off = AddTopic(TOPIC_SUBSCRIPTION, "Sport / Chess");
    off.bActive = 0;
    Dump();
    std::vector<std::string> expected = {
        "",
        "TopicArray: Size=2 MaxAvail=98",
        "ridTopic=0, lpszTitle=News / World, bActive=True, ridLastMst=8",
        "ridTopic=1, lpszTitle=Sport / Chess, bActive=False, ridLastMst=0",
        "",
        "MsgList:",
        "ridTopic=0, ridMsg=8, lpszTitle=Rain",
        "",
    };
    EXPECT_EQ(expected, trace.lines());
}
