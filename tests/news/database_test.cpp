// The ad-stream topic at start-up and the rebuild of the stock-quote topic.
#include <gtest/gtest.h>

#include "net/url.h"
#include "news/database.h"
#include "news_fixture.h"
#include "shared/deployment.h"

TEST_F(NewsTest, AdStreamTopicIsMadeWhenMissingAndKeptWithItsIntervalReset) {
    AddTopic(TOPIC_SUBSCRIPTION, "News / World", 3);
    ASSERT_EQ(1, EnsureAdStreamTopic(gTopicArray, cfg_));
    ASSERT_EQ(2u, gTopicArray.Size);
    CTopic& ads = *gTopicArray.At(4);
    EXPECT_EQ(TOPIC_ADSTREAM, ads.dwType);
    EXPECT_STREQ("AdStream", ads.Title);
    EXPECT_EQ(std::string("http://") + kNewsHost + "/Feed/AdStream3/AdStream.twl", ads.ConfigUrl);
    EXPECT_EQ(4u, cfg_.AdTopicId);

    strcpy(ads.Title, "Our Ads");
    strcpy(ads.ConfigUrl, "http://elsewhere/ads.twl");
    ads.dwInterval = 5;
    cfg_.AdTopicId = kNoId;
    ASSERT_EQ(1, EnsureAdStreamTopic(gTopicArray, cfg_));
    EXPECT_EQ(2u, gTopicArray.Size);
    EXPECT_STREQ("Our Ads", ads.Title);
    EXPECT_STREQ("http://elsewhere/ads.twl", ads.ConfigUrl);
    EXPECT_EQ(360u, ads.dwInterval);
    EXPECT_EQ(4u, cfg_.AdTopicId);

    for (int i = 2; i < 100; i++) AddTopic(TOPIC_SUBSCRIPTION);
    cfg_.AdTopicId = kNoId;
    // A full array that holds it starts (one without it: datafile_tool_test).
    EXPECT_EQ(1, EnsureAdStreamTopic(gTopicArray, cfg_));
    EXPECT_EQ(4u, cfg_.AdTopicId);
}

class QuoteTopicTest : public NewsTest {
protected:
    // The rebuilt topic's message numbers, then its titles.
    std::string Rebuild(CTopic& quotes, std::initializer_list<const char*> list) {
        memset(symbols_, 0, sizeof symbols_);
        uint32_t count = 0;
        for (const char* symbol : list) strcpy(symbols_[count++], symbol);
        RebuildQuoteTopic(quotes, symbols_, count);
        return Numbers(quotes) + " | " + Titles(quotes);
    }
    char symbols_[kMaxSymbols][kSymbolSize];
};

TEST_F(QuoteTopicTest, KeepsListedSymbolsDropsOthersAppendsNewOnesAndCutsOverlongLists) {
    CTopic& quotes = AddTopic(TOPIC_QUOTES, "Stocks", 3);
    AddMsg(quotes, 4, "BBB;12 1/2;+1/4;4:01PM");
    AddMsg(quotes, 9, "DDD;3;0;4:00PM");
    // BBB keeps its number, AAA follows the previous last one.
    EXPECT_EQ("4 10 | BBB;12 1/2;+1/4;4:01PM|AAA;0;0", Rebuild(quotes, {"AAA", "BBB"}));
    EXPECT_EQ(10u, quotes.ridLastMsg);
    const CMsg& added = *quotes.msgList.last()->value;
    EXPECT_EQ(3u, added.ridTopic);
    EXPECT_STREQ("Hint", added.lpszFile);
    EXPECT_EQ(std::string("http://") + kQuoteHost + "/quotes?SYMBOLS=AAA&detailed=t", added.lpszUrl);
    EXPECT_EQ(0, added.tmReceived);
    EXPECT_EQ(std::string("http://") + kQuoteHost + "/d/quotes.csv?s=BBB+AAA&f=sl1d1t1c1ohgv&e=.csv", quotes.ConfigUrl);
    EXPECT_EQ('\0', symbols_[1][0]);  // BBB was found, so its entry is blanked

    // The same symbols in another order change nothing.
    EXPECT_EQ("4 10 | BBB;12 1/2;+1/4;4:01PM|AAA;0;0", Rebuild(quotes, {"AAA", "BBB"}));
    EXPECT_EQ(" | ", Rebuild(quotes, {}));
    EXPECT_STREQ("&f=sl1d1t1c1ohgv&e=.csv", quotes.ConfigUrl);  // only the format is left in the address

    memset(symbols_, 'S', sizeof symbols_);  // 200 entries of 10 letters, none terminated
    RebuildQuoteTopic(quotes, symbols_, 5000);
    EXPECT_EQ(200u, quotes.msgList.count());
    EXPECT_STREQ("SSSSSSSSS;0;0", quotes.msgList.begin()->value->lpszTitle);
}

// The address names only the whole symbols the URL reader takes, and the rest is traced once.
TEST_F(QuoteTopicTest, AddressHoldsTheWholeSymbolsTheUrlReaderTakesAndTracesTheRest) {
    const std::pair<int, uint32_t> lengthsAndFits[] = {{9, 22}, {4, 44}, {1, 110}};
    for (auto [length, fits] : lengthsAndFits) {
        CTopic& quotes = AddTopic(TOPIC_QUOTES, "Stocks");
        std::string expected;
        for (uint32_t i = 0; i < kMaxSymbols; i++) {
            snprintf(symbols_[i], kSymbolSize, "%0*u", length, length == 1 ? i % 10 : i);
            if (i < fits) expected += (i ? "+" : "") + std::string(symbols_[i]);
        }
        TraceRecorder trace;
        RebuildQuoteTopic(quotes, symbols_, kMaxSymbols);
        EXPECT_EQ(kMaxSymbols, quotes.msgList.count());
        CUrl url(quotes.ConfigUrl);
        ASSERT_TRUE(url.path) << length << ": " << quotes.ConfigUrl;
        EXPECT_EQ("/d/quotes.csv?s=" + expected + "&f=sl1d1t1c1ohgv&e=.csv", url.path);
        ASSERT_EQ(1u, trace.lines().size());
        char symbol[kSymbolSize];
        snprintf(symbol, sizeof symbol, "%0*u", length, length == 1 ? fits % 10 : fits);
        const std::string head = "RebuildQuoteTopic(): " + std::to_string(kMaxSymbols - fits) +
                                 " symbols left out of the quotes address: " + symbol + "+";
        EXPECT_EQ(head, trace.lines()[0].substr(0, head.size()));
        gTopicArray.Clear();
    }
}
