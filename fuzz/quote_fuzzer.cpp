// Fuzzes the stock-quote reader with the input as YStock.html, line by line
// and into the quote topic (which it may only update in place), and
// FormatFraction with the input as a price.
#include "memory_os.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    char fraction[100];
    FUZZ_CHECK(strlen(FormatFraction(fuzz::Text(data, size).get(), fraction)) < sizeof fraction);

    fuzz::Reset();
    fuzz::Serve(data, size);
    {
        std::unique_ptr<char[]> title(new char[sizeof(MsgRecord::Title)]), url(new char[kMsgUrlMax + 1]);
        QuoteReader reader;
        while (reader.GetYahooQuote(fuzz::kPath, title.get(), url.get()))
            FUZZ_CHECK(strlen(title.get()) < sizeof(MsgRecord::Title) && strlen(url.get()) <= kMsgUrlMax);
        FUZZ_CHECK(!reader.open() && fuzz::openFiles == 0);
    }

    const char* const symbols[] = {"ABC;", "DEF;", "XYZ;"};
    CTopic& quotes = fuzz::AddTopic(TOPIC_QUOTES, "Stocks", {"ABC;0;0", "DEF;0;0", "XYZ;1;1"}, 1);
    ParseYahooQuote(fuzz::kPath);
    FUZZ_CHECK(!gQuoteReader.open() && fuzz::openFiles == 0 && quotes.msgList.count() == 3);
    uint32_t number = 1;
    for (MsgList::I node = quotes.msgList.begin(); node != quotes.msgList.end(); node = MsgList::next(node), number++) {
        FUZZ_CHECK(strncmp(node->value->lpszTitle, symbols[number - 1], 4) == 0);
        FUZZ_CHECK(node->value->ridMsg == number && node->value->ridTopic == quotes.ridTopic);
    }
    fuzz::Reset();
    return 0;
}
