#include "agent/preferences.h"

#include <cstring>
#include <memory>
#include <string>

#include "base/strutil.h"
#include "news/database.h"
#include "news/topic_array.h"
#include "shared/pace.h"

namespace {

// The quote topic's symbols: each message's title up to its first ";", cut to 9 characters.
void FillSymbols(const CTopic& quotes, ConfigExchange& exchange) {
    uint32_t count = 0;
    for (MsgList::I node = quotes.msgList.begin(); node != quotes.msgList.end() && count < kExchangeSymbols;
         node = MsgList::next(node), count++) {
        std::string title = node->value->lpszTitle;
        StrCopy(exchange.symbols[count], kExchangeSymbolSize, title.substr(0, title.find(';')).c_str());
    }
    exchange.symbolCount = count;
}

void ApplyBrowser(const ConfigExchange& exchange, CConfigData& cfg) {
    char path[sizeof exchange.browserPath];
    StrCopyField(path, sizeof path, exchange.browserPath, sizeof exchange.browserPath);
    char current[sizeof cfg.BrowserPath];
    StrCopyField(current, sizeof current, cfg.BrowserPath, sizeof cfg.BrowserPath);
    if (StrCompareNoCase(path, current) == 0) return;
    StrCopy(cfg.BrowserPath, sizeof cfg.BrowserPath - 1, path);
    StrToUpper(path);
    StrCopy(cfg.BrowserDdeService, sizeof cfg.BrowserDdeService, strstr(path, "NETSCAPE") ? "NETSCAPE" : "IEXPLORE");
}

}  // namespace

void FillExchange(const CConfigData& cfg, ConfigExchange& exchange) {
    StrCopyField(exchange.proxyHost, sizeof exchange.proxyHost, cfg.HttpProxy, sizeof cfg.HttpProxy);
    StrCopyField(exchange.browserPath, sizeof exchange.browserPath, cfg.BrowserPath, sizeof cfg.BrowserPath);
    exchange.proxyPort = cfg.HttpProxyPort;
    exchange.proxyEnabled = cfg.HttpProxyEnabled;
    StrCopyField(exchange.installDir, sizeof exchange.installDir, gDirs.InstallDir, sizeof gDirs.InstallDir);
    exchange.displayPreference = cfg.DisplayPreference;
    exchange.pace = cfg.Pace;
    uint32_t n = 0;
    gTopicArray.ForEach([&](const CTopic& topic) {
        if (topic.dwType == TOPIC_QUOTES) FillSymbols(topic, exchange);
        if (n < kExchangeTopics) memcpy(&exchange.topics[n], &topic.record(), sizeof(TopicRecord));
        n++;
    });
    exchange.topicCount = n;
    memcpy(exchange.displaySettings, cfg.DisplaySettings, sizeof exchange.displaySettings);
}

void ApplyExchange(const ConfigExchange& exchange, CConfigData& cfg) {
    cfg.HttpProxyEnabled = exchange.proxyEnabled;
    StrCopyField(cfg.HttpProxy, sizeof cfg.HttpProxy, exchange.proxyHost, sizeof exchange.proxyHost);
    cfg.HttpProxyPort = exchange.proxyPort;
    ApplyBrowser(exchange, cfg);
    cfg.DisplayPreference = exchange.displayPreference;
    cfg.Pace = exchange.pace;
    ApplyPacePriority(cfg);

    // The dialog may hand back a count larger than the slots; it is bounded.
    char symbols[kExchangeSymbols][kExchangeSymbolSize];
    memcpy(symbols, exchange.symbols, sizeof symbols);
    uint32_t symbolCount = exchange.symbolCount < kExchangeSymbols ? exchange.symbolCount : kExchangeSymbols;
    uint32_t topicCount = exchange.topicCount < kExchangeTopics ? exchange.topicCount : kExchangeTopics;
    uint32_t n = 0;
    gTopicArray.ForEach([&](CTopic& topic) {
        if (topic.dwType == TOPIC_QUOTES) {
            RebuildQuoteTopic(topic, symbols, symbolCount);
        } else if (n < topicCount) {  // topics added while the dialog ran have no slot of their own
            topic.bActive = exchange.topics[n].bActive;
        }
        n++;
    });
}
