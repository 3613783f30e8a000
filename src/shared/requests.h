// The display programs' requests as both sides see them: the channels, the
// request codes and the areas of a conversation's shared memory that carry
// each request and its answer. Binding byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "shared/records.h"

// The channel in the low word of a request's lParam.
constexpr uint16_t kTopicChannel = 0;
constexpr uint16_t kMessageChannel = 1;

// The request code in a request's wParam; 0 closes the conversation.
enum : uint16_t {
    FETCH_CLOSE = 0,
    FETCH_FIRST = 1,
    FETCH_LAST = 2,
    FETCH_PREVIOUS = 3,
    FETCH_NEXT = 4,
    FETCH_CURRENT = 5,
};

// The request areas in a conversation's shared memory.
struct TopicArea {
    uint32_t wrap;  // in: a step may go over the end to the other end
    uint32_t unused;
    TopicRecord topic;  // in: ridTopic names the current topic; out: the topic found
    uint32_t msgCount;  // out: its number of messages
};
static_assert(offsetof(TopicArea, topic) == 8 && offsetof(TopicArea, msgCount) == 3620, "topic area layout");
static_assert(sizeof(TopicArea) == 3624, "the topic area is 3624 bytes");

struct MsgArea {
    uint32_t wrap;
    uint32_t unused;
    MsgRecord msg;      // in: ridTopic and ridMsg name the current message; out: the message found
    TopicRecord topic;  // out: the topic that holds it
};
static_assert(offsetof(MsgArea, msg) == 8 && offsetof(MsgArea, topic) == 1460, "message area layout");
static_assert(sizeof(MsgArea) == 5072, "the message area is 5072 bytes");
