// The purge: messages are only ever appended, so something takes them away
// again. One topic per clock tick, in turn: subscriptions by count and age,
// the ad stream by count with its downloaded bitmaps. And on request the
// messages outside a subscription's current range.
#pragma once

#include <cstdint>

#include "news/topic.h"

namespace Purge {

// The id of the topic purged last; all bits set before the first purge.
extern uint32_t lastPurgedTopic;

// How many messages the purge lets the topic keep: 50 ads; for a
// subscription MsgPurge, but never more than 10 (a negative MsgPurge sets no
// limit of its own).
uint32_t MostKept(const CTopic& topic);

void OnClockTick();
void PurgeList(CTopic& topic);
void PurgeAdStream(CTopic& topic);
void PurgeOutOfRange(CTopic& topic, uint32_t first, uint32_t last);

}  // namespace Purge

// True when the text is a name the agent gives the bitmaps it downloads: "A"
// (either case), at least seven digits, ".bmp" (any case). Titles of ads come
// from the network, so only such a name may lead to a file being deleted;
// anything else (a path, "Msg.dat") could reach a file the agent must keep.
bool IsAdBitmapFileName(const char* name);
