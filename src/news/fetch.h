// The lookups behind the display programs' requests: the first, last,
// previous, next or current topic or message, relative to the one a display
// program shows, copied into its request area. Topics go in slot order;
// within a topic, messages go from the oldest to the newest.
#pragma once

#include <cstdint>

#include "shared/requests.h"

// Each answers 1 with the area filled, or 0 with the area untouched.
struct CFetchTopic {
    static int Get(uint16_t code, TopicArea* area);
};

struct CFetchMsg {
    static int Get(uint16_t code, MsgArea* area);
};
