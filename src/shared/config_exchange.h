// ConfigExchange: the record the agent hands to the preferences library's
// ConfigDialog, filled from the shared record and the database, and read
// back when the user confirms. A format shared with the library: binding
// byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shared/records.h"

constexpr uint32_t kExchangeTopics = 200;
constexpr uint32_t kExchangeSymbols = 200;
constexpr uint32_t kExchangeSymbolSize = 10;

struct ConfigExchange {
    uint32_t accepted;                    // non-zero: the user confirmed
    TopicRecord topics[kExchangeTopics];  // read back: bActive
    uint32_t topicCount;
    char proxyHost[1024];
    int32_t proxyPort;
    int32_t proxyEnabled;
    char browserPath[260];
    char installDir[260];
    int32_t displayPreference;
    int32_t pace;
    char symbols[kExchangeSymbols][kExchangeSymbolSize];  // the stock-quote topic's symbols
    uint32_t symbolCount;
    uint8_t displaySettings[388];
    uint8_t reserved[16];
};

#define EXCHANGE_OFFSET(field, offset) \
    static_assert(offsetof(ConfigExchange, field) == (offset), "ConfigExchange::" #field " must sit at " #offset)
EXCHANGE_OFFSET(accepted, 0);
EXCHANGE_OFFSET(topics, 4);
EXCHANGE_OFFSET(topicCount, 722404);
EXCHANGE_OFFSET(proxyHost, 722408);
EXCHANGE_OFFSET(proxyPort, 723432);
EXCHANGE_OFFSET(proxyEnabled, 723436);
EXCHANGE_OFFSET(browserPath, 723440);
EXCHANGE_OFFSET(installDir, 723700);
EXCHANGE_OFFSET(displayPreference, 723960);
EXCHANGE_OFFSET(pace, 723964);
EXCHANGE_OFFSET(symbols, 723968);
EXCHANGE_OFFSET(symbolCount, 725968);
EXCHANGE_OFFSET(displaySettings, 725972);
EXCHANGE_OFFSET(reserved, 726360);
#undef EXCHANGE_OFFSET
static_assert(sizeof(ConfigExchange) == 726376, "the exchange record is 726,376 bytes");
