// The ad stream, the stock quotes and the usage report without network.
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "jobs/ad_stream.h"
#include "jobs/post_stats.h"
#include "jobs/quote_reader.h"
#include "news_fixture.h"
#include "shared/deployment.h"

namespace {

std::string Fraction(const char* text) {
    char buffer[100];
    return FormatFraction(text, buffer);
}

class FeedTest : public NewsDirTest {
protected:
    FeedTest() : NewsDirTest("feeds") {}

    void QuoteFile(const std::string& body) {
        dir_.Write("YStock.html", "<!--\r\nhttp://q.test:80/d/quotes.csv\r\nHTTP/1.0 200 OK\r\n-->\r\n" + body);
    }
};

const char kLine[] = "\"ABC\",112.5,\"12/5/2026\",\"4:01PM\",-0.375,112.125,113.25,111.875,1234567\r\n";

}  // namespace

TEST(FormatFraction, PowerOfTwoFractionsAsStockPricesWereQuoted) {
    const std::pair<const char*, const char*> cases[] = {
        {"112.5", "112 1/2"},
        {"-0.375", "-0 3/8"},
        {"85.1", "85.1"},
        {"0.00390625", "0 1/256"},
        {"85.00", "85.00"},
        {"85", "85"},
        {"", ""},
        {"+0.125", "+0 1/8"},
        {"1.75", "1 3/4"},
        {"3.0039", "3.0039"},
        {"abc.5", "abc 1/2"},
        {"3.5e1", "3 10/2"},
        {"5.5e9", "5 1000000000/2"},
        {"1.5e10", "1.5e10"},
        {"2.5e999", "2.5e999"},
        {"7.0e5", "7.0e5"},
    };
    for (auto [in, out] : cases) EXPECT_EQ(out, Fraction(in)) << in;
    char buffer[100];
    EXPECT_STREQ("", FormatFraction(nullptr, buffer));  // texts longer than the buffer: fuzz_quote
}

TEST_F(FeedTest, QuotesReplaceTheirMessagesInPlaceUntilALineIsNoQuote) {
    CTopic& quotes = AddTopic(TOPIC_QUOTES, "Stocks");
    AddMsg(quotes, 1, "XYZ;0;0");
    AddMsg(quotes, 2, "ABC;0;0");
    AddMsg(quotes, 3, "ABC;9;9");  // a second message of the symbol stays as it is
    // Lines beyond the reader's window.
    std::string more, numbers = "1 2 3", titles = "XYZ;85.1;0 1/256;3:59PM|ABC;112 1/2;-0 3/8;4:01PM|ABC;9;9";
    for (int i = 4; i < 44; i++) {
        const std::string symbol = "S" + std::to_string(i), price = std::to_string(i);
        AddMsg(quotes, i, symbol + ";0;0");
        numbers += " " + price;
        titles += "|" + symbol + ";" + price + " 1/4;+0 1/2;4:01PM";
        more += "\"" + symbol + "\"," + price + ".25,\"12/5/2026\",\"4:01PM\",+0.5,1,2,3,4567890123\r\n";
    }
    const std::string sixteen(16, 'L');  // one letter more than a symbol the agent keeps: its message stays
    AddMsg(quotes, 44, sixteen + ";0;0");
    numbers += " 44";
    titles += "|" + sixteen + ";0;0";
    more += "\"" + sixteen + "\",1.25,\"12/5/2026\",\"4:01PM\",+0.5,1,2,3,4567890123\r\n";
    QuoteFile(std::string(kLine) + "\"NOPE\",1.5,\"12/5/2026\",\"4:01PM\",+0.5,1,2,3,4567890123456789\r\n" +
              "\"XYZ\",85.1,\"12/5/2026\",\"3:59PM\",0.00390625,85,86,84,1000000000000\r\n" + more);
    ParseYahooQuote(dir_.File("YStock.html").c_str());
    EXPECT_EQ(numbers, Numbers(quotes));
    EXPECT_EQ(titles, Titles(quotes));
    const CMsg& abc = *MsgList::next(quotes.msgList.begin())->value;
    EXPECT_STREQ("Hint", abc.lpszFile);
    EXPECT_EQ(std::string("http://") + kQuoteHost + "/q?s=ABC&d=t", abc.lpszUrl);
    EXPECT_EQ(kNow, abc.tmReceived);
    EXPECT_EQ(kNow, quotes.tmLastUpdate);
    EXPECT_FALSE(gQuoteReader.open());  // the file is given back for the next download

    // The first line that is no quote ends the update.
    const std::string xyz = "\"XYZ\",1.5,\"12/5/2026\",\"4:01PM\",+0.5,1,2,3,4567890123456789012\r\n";
    const std::pair<const char*, std::string> cases[] = {
        {"short line first", "\"XYZ\",1.5,\"1/1/2026\",\"4PM\",1\r\n" + xyz},
        {"no opening quote", "XYZ,1.5,\"12/5/2026\",\"4:01PM\",+0.5,1,2,3,4567890123456789012345\r\n" + xyz},
        {"symbol too long", "\"" + std::string(101, 'S') + "\",1,\"1/1\",\"4PM\",+0.5,1,2\r\n" + xyz},
        {"time too long", "\"XYZ\",1.5,\"12/5/2026\",\"" + std::string(21, 't') + "\",+0.5,1,2,3\r\n" + xyz},
        {"no line end", xyz.substr(0, xyz.size() - 2)},
    };
    for (const auto& [name, body] : cases) {
        QuoteFile(body);
        ParseYahooQuote(dir_.File("YStock.html").c_str());
        EXPECT_STREQ("XYZ;85.1;0 1/256;3:59PM", quotes.msgList.begin()->value->lpszTitle) << name;
    }
    dir_.Write("YStock.html", "<!--\r\nhttp://q.test:80/d/quotes.csv\r\nHTTP/1.0 200 OK\r\n" + xyz);
    ParseYahooQuote(dir_.File("YStock.html").c_str());
    EXPECT_STREQ("XYZ;85.1;0 1/256;3:59PM", quotes.msgList.begin()->value->lpszTitle) << "no -->";
    ParseYahooQuote(dir_.File("missing.html").c_str());
    EXPECT_FALSE(gQuoteReader.open());
}

TEST_F(FeedTest, AdsAreTakenInTurnAndTakeTheirBitmapsNames) {
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    EXPECT_EQ(nullptr, AdStream::NextAd(ads, kNoId));
    AddMsg(ads, 5, "http://ads.test/5C.bmp");
    AddMsg(ads, 6, "A0000006.bmp");
    AddMsg(ads, 7, "HTTP://ads.test/7C.bmp");
    // After 9, gone meanwhile, the turn starts again from the oldest.
    for (auto turn : {std::pair<uint32_t, uint32_t>{kNoId, 5}, {5, 6}, {6, 7}, {7, 5}, {9, 5}})
        EXPECT_EQ(turn.second, AdStream::NextAd(ads, turn.first)->ridMsg) << turn.first;
    for (const char* title : {"http://ads.test/5C.bmp", "HTTP://ads.test/7C.bmp"})
        EXPECT_TRUE(AdStream::AwaitsBitmap(title));
    for (const char* title : {"A0000006.bmp", "ftp://ads.test/x.bmp", "htt"})
        EXPECT_FALSE(AdStream::AwaitsBitmap(title));

    ads.msgList.begin()->value->dwViews = 4;
    AdStream::AdReceived((dir_.path() + "\\A0000005.bmp").c_str(), 5);
    AdStream::AdReceived((dir_.path() + "\\A0000099.bmp").c_str(), 99);
    const CMsg& arrived = *ads.msgList.begin()->value;
    EXPECT_STREQ("A0000005.bmp", arrived.lpszTitle);
    EXPECT_EQ(kNow, arrived.tmReceived);
    EXPECT_EQ(4u, arrived.dwViews);
    EXPECT_STREQ("http://news.test/5", arrived.lpszUrl);
    EXPECT_EQ("5 6 7", Numbers(ads));  // in its place, with its number
}

TEST_F(FeedTest, BitmapRequestAsksForTheColourVariantOfTheDisplay) {
    strcpy(cfg_.AccountId, "acct");
    cfg_.PaletteDisplay = 1;
    EXPECT_EQ("http://ads.test/Ad4.bmp?AID=acct", AdStream::BitmapRequest("http://ads.test/AdC.bmp", cfg_));
    cfg_.PaletteDisplay = 0;
    EXPECT_EQ("http://ads.test/Ad8.bmp?AID=acct", AdStream::BitmapRequest("http://ads.test/AdC.bmp", cfg_));
    EXPECT_EQ("http://ads.test/Ad8.BMP?AID=acct", AdStream::BitmapRequest("http://ads.test/AdC.BMP", cfg_));
    EXPECT_EQ("http://ads.test/C.BMP/x8.bmp?AID=acct", AdStream::BitmapRequest("http://ads.test/C.BMP/xC.bmp", cfg_));
    EXPECT_EQ("http://ads.test/Adc.bmp?AID=acct", AdStream::BitmapRequest("http://ads.test/Adc.bmp", cfg_));
    EXPECT_EQ("http://ads.test/AdC.Bmp?AID=acct", AdStream::BitmapRequest("http://ads.test/AdC.Bmp", cfg_));
    strcpy(cfg_.AccountId, "myC.bmp");  // the query is searched as well
    EXPECT_EQ("http://ads.test/plain.gif?AID=my8.bmp", AdStream::BitmapRequest("http://ads.test/plain.gif", cfg_));
    std::string longTitle = "http://ads.test/" + std::string(2000, 'p');
    EXPECT_EQ(1023u, AdStream::BitmapRequest(longTitle.c_str(), cfg_).size());
}

// Without a Content-Length only the bitmap's own header tells a body cut short.
TEST_F(FeedTest, OnlyABitmapOfTheSizeItsHeaderDeclaresIsWhole) {
    const std::string whole = std::string("BM\x0c\0\0\0", 6) + "pixels";  // 12 bytes, and says so
    // The file, the body's length as the answer told it, and whether it is whole.
    const std::tuple<std::string, int32_t, bool> cases[] = {
        {whole, 12, true},
        {whole.substr(0, 6), 6, false},       // cut in half
        {"XM" + whole.substr(2), 12, false},  // no bitmap
        {std::string("BM\xff\xff\xff\xff", 6), 6, false},
        {"BM", 2, false},
        {whole, -1, false},
    };
    for (const auto& [bytes, body, expected] : cases) {
        dir_.Write("A0000001.bmp", bytes);
        EXPECT_EQ(expected, AdStream::BitmapIsWhole(dir_.File("A0000001.bmp").c_str(), body)) << bytes;
    }
    EXPECT_FALSE(AdStream::BitmapIsWhole(dir_.File("missing.bmp").c_str(), 12));
}

// At start-up the bitmaps no ad names go: the first four characters decide, in any case.
TEST_F(FeedTest, BitmapsNoAdNamesGoAtStartUp) {
    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    const char* names[] = {"AX.BMP", "a.bmp", "ad.bmp", "b.bmp", "notes.txt", "A0000002.bmp", "a000zzz.bmp"};
    for (int withAd = 0; withAd < 2; withAd++) {
        SCOPED_TRACE(withAd);
        for (const char* name : names) dir_.Write(name, "BM");
        if (withAd) AddMsg(ads, 6, "A0000006.bmp");
        AdStream::PurgeOldAds();
        for (int i = 0; i < 7; i++) EXPECT_EQ(i >= 3 && (i < 5 || withAd), dir_.Exists(names[i])) << names[i];
    }
}

TEST_F(NewsTest, UsageReportRequestAndBody) {
    cfg_.StartCount = 42;
    cfg_.StartTime = kNow - 125;
    strcpy(cfg_.AccountId, "acct");
    EXPECT_EQ("/Bin/Update.dll?TwlUpdate&AID=acct&SID=42&SL=125&VER=1.1.1043.1",
              PostStats::RequestPath(cfg_, kNow, nullptr));
    cfg_.StartTime = INT32_MAX - 100;  // started before 2038, reporting after it
    EXPECT_NE(std::string::npos, PostStats::RequestPath(cfg_, AfterTheWrap(25), nullptr).find("&SL=125&"));

    CTopic& ads = AddTopic(TOPIC_ADSTREAM, "AdStream");
    strcpy(ads.ConfigUrl, "http://news.test/Feed/AdStream3/AdStream.twl");
    // The entries' form: job_rules_test and feeds_test; here the cap.
    for (uint32_t n = 100; n < 400; n++) AddMsg(ads, n);
    std::string body = PostStats::ReportBody(ads);
    EXPECT_LE(body.size(), 1023u);
    EXPECT_NE('+', body.back());  // cut after a whole entry
    EXPECT_EQ(std::string::npos, body.find("++"));
    memset(ads.ConfigUrl, 'u', sizeof ads.ConfigUrl - 1);  // an address as long as its field: no room for more
    EXPECT_EQ(std::string(1023, 'u'), PostStats::ReportBody(ads));
}
