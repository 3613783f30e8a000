// Fuzzes the stock-quote reader with the input as the quote file YStock.html:
// first line by line through a reader of its own, then as the quote update
// reads it into the quote topic, and FormatFraction with the input as a
// price. The update may only replace the messages it has, in their places
// and with their numbers.
#include <cstring>
#include <string>

#include "jobs/quote_reader.h"
#include "memory_os.h"
#include "news/topic_array.h"

namespace {

const char* const kSymbols[] = {"ABC;0;0", "DEF;0;0", "XYZ;1;1"};

CTopic& AddQuoteTopic() {
    CTopic* topic = new CTopic();
    topic->dwType = TOPIC_QUOTES;
    strcpy(topic->Title, "Stocks");
    gTopicArray.Add(topic);
    uint32_t number = 1;
    for (const char* symbol : kSymbols) {
        MsgRecord record;
        memset(&record, 0, sizeof record);
        record.ridTopic = topic->ridTopic;
        record.ridMsg = number++;
        strcpy(record.Title, symbol);
        topic->msgList.InsertHead(topic->msgList.last(), CMsg::Create(record));
    }
    return *topic;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UseMemoryOs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> price = fuzz::Text(data, size);
    char fraction[100];
    FUZZ_CHECK(strlen(FormatFraction(price.get(), fraction)) < sizeof fraction);

    fuzz::ResetNews();
    fuzz::Serve(data, size);
    {
        // Blocks of exactly the promised sizes, so that a longer write is caught.
        std::unique_ptr<char[]> title(new char[sizeof(MsgRecord::Title)]);
        std::unique_ptr<char[]> url(new char[kMsgUrlMax + 1]);
        QuoteReader reader;
        while (reader.GetYahooQuote(fuzz::kPath, title.get(), url.get())) {
            FUZZ_CHECK(strlen(title.get()) < sizeof(MsgRecord::Title) && strlen(url.get()) <= kMsgUrlMax);
        }
        FUZZ_CHECK(!reader.open() && fuzz::OpenFiles() == 0);
    }

    CTopic& quotes = AddQuoteTopic();
    ParseYahooQuote(fuzz::kPath);
    FUZZ_CHECK(!gQuoteReader.open() && fuzz::OpenFiles() == 0);
    FUZZ_CHECK(quotes.msgList.count() == 3);
    uint32_t number = 1;
    for (MsgList::I node = quotes.msgList.begin(); node != quotes.msgList.end(); node = MsgList::next(node)) {
        const char* symbol = kSymbols[number - 1];
        FUZZ_CHECK(strncmp(node->value->lpszTitle, symbol, strchr(symbol, ';') - symbol + 1) == 0);
        FUZZ_CHECK(node->value->ridMsg == number++ && node->value->ridTopic == quotes.ridTopic);
    }
    fuzz::ResetNews();
    return 0;
}
