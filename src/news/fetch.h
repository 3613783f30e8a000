// The lookups behind the display programs' requests: the first, last,
// previous, next or current topic or message, relative to the one a display
// program shows, copied into its request area. Topics go in slot order;
// within a topic, messages go from the oldest to the newest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "news/records.h"

enum : uint16_t {
    FETCH_FIRST = 1,
    FETCH_LAST = 2,
    FETCH_PREVIOUS = 3,
    FETCH_NEXT = 4,
    FETCH_CURRENT = 5,
};

// The request areas in a conversation's shared memory.
struct TopicArea {
    uint32_t wrap;       // in: a step may go over the end to the other end
    uint32_t unused;
    TopicRecord topic;   // in: ridTopic names the current topic; out: the topic found
    uint32_t msgCount;   // out: its number of messages
};
static_assert(offsetof(TopicArea, topic) == 8 && offsetof(TopicArea, msgCount) == 3620, "topic area layout");
static_assert(sizeof(TopicArea) == 3624, "the topic area is 3624 bytes");

struct MsgArea {
    uint32_t wrap;
    uint32_t unused;
    MsgRecord msg;       // in: ridTopic and ridMsg name the current message; out: the message found
    TopicRecord topic;   // out: the topic that holds it
};
static_assert(offsetof(MsgArea, msg) == 8 && offsetof(MsgArea, topic) == 1460, "message area layout");
static_assert(sizeof(MsgArea) == 5072, "the message area is 5072 bytes");

// Each answers 1 with the area filled, or 0 with the area untouched.
struct CFetchTopic {
    static int Get(uint16_t code, TopicArea* area);
};

struct CFetchMsg {
    static int Get(uint16_t code, MsgArea* area);
};

namespace Server {
// The object server has nothing to prepare; start-up stops only on 0.
int Init();
}  // namespace Server
