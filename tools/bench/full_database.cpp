// The full database, built topic by topic through the agent's own records
// and its quote-topic rebuild (see full_database.h).
#include "full_database.h"

#include <cstdio>
#include <cstring>

#include "base/os.h"
#include "base/strutil.h"
#include "news/data_file.h"
#include "news/database.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

namespace {

CTopic* AddTopic(TopicArray& topics, uint32_t type, const char* title) {
    CTopic* topic = new CTopic();
    topic->dwType = type;
    StrCopy(topic->Title, sizeof topic->Title, title);
    topics.Add(topic);
    return topic;
}

void AppendMessage(CTopic& topic, const MsgRecord& record) {
    CMsg* msg = CMsg::Create(record);
    if (!msg) throw "out of memory";
    topic.msgList.InsertHead(topic.msgList.last(), msg);
    topic.ridLastMsg = record.ridMsg;
}

void AddSubscription(TopicArray& topics, uint32_t number) {
    char text[200];
    snprintf(text, sizeof text, "Bench / Coast %02u", number);
    CTopic* topic = AddTopic(topics, TOPIC_SUBSCRIPTION, text);
    snprintf(topic->Hint, sizeof topic->Hint, "Harbour and coast news, feed %u", number);
    snprintf(topic->HomepageUrl, sizeof topic->HomepageUrl, "http://127.0.0.1:8642/coast%02u/", number);
    snprintf(topic->ConfigUrl, sizeof topic->ConfigUrl, "http://127.0.0.1:8642/feeds/coast%02u.twl", number);
    snprintf(topic->MsgBaseUrl, sizeof topic->MsgBaseUrl, "http://127.0.0.1:8642/coast%02u/", number);
    topic->dwInterval = 300;
    int32_t now = gOs.Now();
    for (uint32_t m = 1; m <= kMessagesPerSubscription; m++) {
        MsgRecord record;
        memset(&record, 0, sizeof record);
        record.ridTopic = topic->ridTopic;
        record.ridMsg = m;
        record.tmReceived = now;
        snprintf(record.Title, sizeof record.Title, "Ferry timetable %u changes on the northern route from Monday (%u)",
                 m, number);
        snprintf(record.File, sizeof record.File, "a%02u%02u.html", number, m);
        snprintf(record.Url, kMsgUrlMax + 1, "http://127.0.0.1:8642/coast%02u/a%02u%02u.html", number, number, m);
        AppendMessage(*topic, record);
    }
}

// The quote topic as the preferences make it, through the agent's rebuild.
void AddQuotes(TopicArray& topics) {
    CTopic* topic = AddTopic(topics, TOPIC_QUOTES, "Stocks / Quotes");
    static char symbols[kQuoteSymbols][kSymbolSize];
    for (uint32_t i = 0; i < kQuoteSymbols; i++) snprintf(symbols[i], kSymbolSize, "TW%03u", i + 1);
    RebuildQuoteTopic(*topic, symbols, kQuoteSymbols);
}

// Ads whose bitmaps have not arrived: their titles are still the addresses.
void AddAdStream(TopicArray& topics) {
    CTopic* topic = AddTopic(topics, TOPIC_ADSTREAM, "AdStream");
    StrCopy(topic->ConfigUrl, sizeof topic->ConfigUrl, "http://127.0.0.1:8642/Feed/AdStream3/AdStream.twl");
    for (uint32_t a = 1; a <= kAds; a++) {
        MsgRecord record;
        memset(&record, 0, sizeof record);
        record.ridTopic = topic->ridTopic;
        record.ridMsg = a;
        snprintf(record.Title, sizeof record.Title, "http://127.0.0.1:8642/ads/chandlery%02uC.bmp", a);
        snprintf(record.File, sizeof record.File, "chandlery%02u.bmp", a);
        AppendMessage(*topic, record);
    }
}

}  // namespace

void MakeFullDatabase(TopicArray& topics, uint32_t topicCount) {
    for (uint32_t number = 1; number + 2 <= topicCount; number++) AddSubscription(topics, number);
    AddQuotes(topics);
    AddAdStream(topics);
}

uint32_t FullDatabaseMessages(uint32_t topicCount) {
    return (topicCount - 2) * kMessagesPerSubscription + kQuoteSymbols + kAds;
}

size_t FullDatabaseRecordBytes(uint32_t topicCount) {
    return topicCount * sizeof(TopicRecord) + FullDatabaseMessages(topicCount) * sizeof(MsgRecord);
}

size_t FullDatabaseFileBytes(uint32_t topicCount) {
    // A count of topics, and one of messages per topic.
    return sizeof(DataFileHeader) + 4 + topicCount * 4 + FullDatabaseRecordBytes(topicCount);
}

void MakeBenchConfig(CConfigData& cfg) {
    memset(&cfg, 0, sizeof cfg);
    cfg.AdTopicId = kNoTopic;
    cfg.Pace = 1;
    cfg.DisplayPreference = 1;
    StrCopy(cfg.AccountId, sizeof cfg.AccountId, "bench-account");
}
