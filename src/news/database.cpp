#include "news/database.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/strutil.h"
#include "base/trace.h"
#include "net/url.h"
#include "news/data_file.h"
#include "news/topic_array.h"
#include "shared/config_data.h"
#include "shared/deployment.h"
#include "shared/quote_address.h"

namespace {

constexpr uint32_t kAdStreamInterval = 360;
constexpr char kAdStreamTitle[] = "AdStream";
constexpr char kAdStreamPath[] = "/Feed/AdStream3/AdStream.twl";

// A quote message's symbol: its title up to the first ";".
std::string QuoteSymbol(const CMsg& msg) {
    std::string title = msg.lpszTitle;
    return title.substr(0, title.find(';'));
}

// An entry of the symbol list; the dialog may leave it unterminated.
std::string SymbolAt(char (*symbols)[kSymbolSize], uint32_t index) {
    char symbol[kSymbolSize];
    StrCopyField(symbol, sizeof symbol, symbols[index], kSymbolSize);
    return symbol;
}

CTopic* CreateAdStreamTopic(TopicArray& topics) {
    std::unique_ptr<CTopic> topic(new (std::nothrow) CTopic());
    if (!topic) return nullptr;
    topic->dwType = TOPIC_ADSTREAM;
    StrCopy(topic->Title, sizeof topic->Title, kAdStreamTitle);
    std::string url = std::string("http://") + kNewsHost + kAdStreamPath;
    StrCopy(topic->ConfigUrl, sizeof topic->ConfigUrl, url.c_str());
    topics.Add(topic.get());
    return topic.release();
}

// Drops the messages whose symbol is not listed; blanks the listed symbols
// that already have a message.
void KeepListedQuotes(CTopic& topic, char (*symbols)[kSymbolSize], uint32_t count) {
    for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end();) {
        std::string symbol = QuoteSymbol(*node->value);
        bool listed = false;
        for (uint32_t i = 0; i < count && !listed; i++) {
            listed = SymbolAt(symbols, i) == symbol;
            if (listed) symbols[i][0] = '\0';
        }
        node = listed ? MsgList::next(node) : topic.RemoveMessage(node);
    }
}

void AppendNewQuotes(CTopic& topic, char (*symbols)[kSymbolSize], uint32_t count, uint32_t& lastMsg) {
    for (uint32_t i = 0; i < count; i++) {
        if (!symbols[i][0]) continue;
        std::string symbol = SymbolAt(symbols, i);
        MsgRecord record;
        memset(&record, 0, sizeof record);
        record.ridTopic = topic.ridTopic;
        record.ridMsg = ++lastMsg;
        std::string title = std::string(symbol) + ";0;0";
        std::string url = std::string("http://") + kQuoteHost + "/quotes?SYMBOLS=" + symbol + "&detailed=t";
        StrCopy(record.Title, sizeof record.Title, title.c_str());
        StrCopy(record.File, sizeof record.File, "Hint");
        StrCopy(record.Url, kMsgUrlMax + 1, url.c_str());
        CMsg* msg = CMsg::Create(record);
        if (!msg) continue;  // a message that cannot be made is left out
        try {
            topic.msgList.InsertHead(topic.msgList.last(), msg);
        } catch (...) {
            CMsg::Destroy(msg);
            throw;
        }
    }
}

// The quotes address: as many whole symbols as the URL reader takes into its
// path buffer, always ending with the format; the symbols left out are
// traced, once for each rebuild.
void RebuildQuotesAddress(CTopic& topic) {
    std::vector<std::string> symbols;
    for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node))
        symbols.push_back(QuoteSymbol(*node->value));
    size_t fit = QuoteSymbolsThatFit(symbols);
    std::string leftOut;
    for (size_t i = fit; i < symbols.size(); i++) leftOut += (i > fit ? "+" : "") + symbols[i];
    if (fit < symbols.size())
        Trace("RebuildQuoteTopic(): %u symbols left out of the quotes address: %s", unsigned(symbols.size() - fit),
              leftOut.c_str());
    symbols.resize(fit);
    StrCopy(topic.ConfigUrl, sizeof topic.ConfigUrl, QuotesAddress(symbols).c_str());
}

}  // namespace

int Database::Open(const char* path, TopicArray& topics, CConfigData& cfg) {
    return LoadDataFile(path, topics, cfg) && EnsureAdStreamTopic(topics, cfg);
}

void Database::Term() {
    gTopicArray.Save();
    gTopicArray.Clear();
}

int EnsureAdStreamTopic(TopicArray& topics, CConfigData& cfg) {
    CTopic* topic = topics.FirstOfType(TOPIC_ADSTREAM);
    if (!topic && topics.Size < TopicArray::kCapacity) topic = CreateAdStreamTopic(topics);
    if (!topic) return 0;
    cfg.AdTopicId = topic->ridTopic;
    topic->dwInterval = kAdStreamInterval;
    return 1;
}

void RebuildQuoteTopic(CTopic& topic, char (*symbols)[kSymbolSize], uint32_t count) {
    if (count > kMaxSymbols) count = kMaxSymbols;
    uint32_t lastMsg = topic.msgList.count() ? topic.msgList.last()->value->ridMsg : 0;
    KeepListedQuotes(topic, symbols, count);
    AppendNewQuotes(topic, symbols, count, lastMsg);
    topic.ridLastMsg = lastMsg;
    RebuildQuotesAddress(topic);
}

void Dump() {
    Trace("%s", "");
    Trace("TopicArray: Size=%lu MaxAvail=%lu", static_cast<unsigned long>(gTopicArray.Size),
          static_cast<unsigned long>(gTopicArray.MaxAvail));
    gTopicArray.ForEach([](const CTopic& topic) {
        Trace("ridTopic=%lu, lpszTitle=%s, bActive=%s, ridLastMst=%lu", static_cast<unsigned long>(topic.ridTopic),
              topic.Title, topic.bActive ? "True" : "False", static_cast<unsigned long>(topic.ridLastMsg));
    });
    Trace("%s", "");
    Trace("MsgList:");
    gTopicArray.ForEach([](const CTopic& topic) {
        for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node)) {
            Trace("ridTopic=%lu, ridMsg=%lu, lpszTitle=%s", static_cast<unsigned long>(node->value->ridTopic),
                  static_cast<unsigned long>(node->value->ridMsg), node->value->lpszTitle);
        }
    });
    Trace("%s", "");
}
