// The topic record and the message record: one fixed-width layout each, used
// in memory, in the message data file and in the shared memory the display
// programs read. Binding byte for byte; every offset is checked below.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the records are little-endian and read in place");

// Record ids: all bits set means none.
constexpr uint32_t kNoId = 0xFFFFFFFF;

// Topic types (dwType).
constexpr uint32_t TOPIC_SUBSCRIPTION = 1;
constexpr uint32_t TOPIC_QUOTES = 3;
constexpr uint32_t TOPIC_ADSTREAM = 4;

// How the tools name a topic type to people.
inline const char* TopicTypeName(uint32_t type) {
    switch (type) {
        case TOPIC_SUBSCRIPTION: return "subscription";
        case TOPIC_QUOTES: return "stock quotes";
        case TOPIC_ADSTREAM: return "ad stream";
        default: return "unknown type";
    }
}

struct TopicRecord {
    uint32_t ridTopic;    // the slot that holds the topic
    uint32_t ridLastMsg;  // highest message number held or asked for
    uint32_t dwType;
    uint32_t dwMsgLifetime;  // seconds a message may stay when expiry is on
    uint32_t dwInterval;     // seconds between configuration requests
    int32_t tmLastUpdate;    // seconds since 1970
    uint32_t dwReserved1;
    uint32_t dwReserved2;
    uint32_t bActive;   // the user has the topic switched on
    uint32_t Category;  // 0..13
    char Title[200];
    char Hint[100];
    char HomepageUrl[1024];
    char ConfigUrl[1024];   // where the topic's configuration is requested
    char MsgBaseUrl[1024];  // prefix of message links
    uint8_t Reserved[200];
};

#define TOPIC_OFFSET(field, offset) \
    static_assert(offsetof(TopicRecord, field) == (offset), "TopicRecord::" #field " must sit at " #offset)
TOPIC_OFFSET(ridTopic, 0);
TOPIC_OFFSET(ridLastMsg, 4);
TOPIC_OFFSET(dwType, 8);
TOPIC_OFFSET(dwMsgLifetime, 12);
TOPIC_OFFSET(dwInterval, 16);
TOPIC_OFFSET(tmLastUpdate, 20);
TOPIC_OFFSET(dwReserved1, 24);
TOPIC_OFFSET(dwReserved2, 28);
TOPIC_OFFSET(bActive, 32);
TOPIC_OFFSET(Category, 36);
TOPIC_OFFSET(Title, 40);
TOPIC_OFFSET(Hint, 240);
TOPIC_OFFSET(HomepageUrl, 340);
TOPIC_OFFSET(ConfigUrl, 1364);
TOPIC_OFFSET(MsgBaseUrl, 2388);
TOPIC_OFFSET(Reserved, 3412);
#undef TOPIC_OFFSET
static_assert(sizeof(TopicRecord) == 3612, "the topic record is 3612 bytes");

struct MsgRecord {
    uint32_t ridTopic;   // the owning topic
    uint32_t ridMsg;     // message number within the topic
    int32_t tmReceived;  // seconds since 1970; 0 for stock quotes
    uint32_t dwViews;    // counted for ads only
    uint32_t dwReserved1;
    uint32_t dwReserved2;
    uint32_t dwReserved3;
    char Title[200];
    char File[100];
    char Url[1124];  // at most 1023 characters are used
};

#define MSG_OFFSET(field, offset) \
    static_assert(offsetof(MsgRecord, field) == (offset), "MsgRecord::" #field " must sit at " #offset)
MSG_OFFSET(ridTopic, 0);
MSG_OFFSET(ridMsg, 4);
MSG_OFFSET(tmReceived, 8);
MSG_OFFSET(dwViews, 12);
MSG_OFFSET(dwReserved1, 16);
MSG_OFFSET(dwReserved2, 20);
MSG_OFFSET(dwReserved3, 24);
MSG_OFFSET(Title, 28);
MSG_OFFSET(File, 228);
MSG_OFFSET(Url, 328);
#undef MSG_OFFSET
static_assert(sizeof(MsgRecord) == 1452, "the message record is 1452 bytes");

// The longest link a message keeps.
constexpr size_t kMsgUrlMax = 1023;
