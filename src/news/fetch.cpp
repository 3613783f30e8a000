#include "news/fetch.h"

#include <cstring>

#include "base/trace.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

namespace {

constexpr int kEnd = TopicArray::kEnd;

bool IsAdStream(int position) {
    const CTopic* topic = gTopicArray.At(position);
    return topic && gConfig && topic->ridTopic == gConfig->AdTopicId;
}

// One step in the topic order; at the end, with wrap, over to the other end.
int StepForward(int position, bool wrap) {
    int next = gTopicArray.Next(position);
    return next == kEnd && wrap ? gTopicArray.Begin() : next;
}

int StepBack(int position, bool wrap) {
    int previous = gTopicArray.Prev(position);
    return previous == kEnd && wrap ? gTopicArray.Last() : previous;
}

// Steps over the ad-stream topic: display programs show ads on their own.
int StepForwardOverAds(int position, bool wrap) {
    int next = StepForward(position, wrap);
    return next != kEnd && IsAdStream(next) ? StepForward(next, wrap) : next;
}

int StepBackOverAds(int position, bool wrap) {
    int previous = StepBack(position, wrap);
    return previous != kEnd && IsAdStream(previous) ? StepBack(previous, wrap) : previous;
}

int AnswerTopic(int position, TopicArea& area) {
    const CTopic* topic = gTopicArray.At(position);
    memcpy(&area.topic, &topic->record(), sizeof(TopicRecord));
    area.msgCount = topic->msgList.count();
    return 1;
}

// --- Messages ---

// A topic a display program may show messages of.
bool IsEligible(const CTopic& topic) {
    return topic.bActive && topic.msgList.count();
}

// Counted for ads only: the usage report tells the service how often each was shown.
int AnswerMsg(const CTopic& topic, MsgList::I node, MsgArea& area) {
    CMsg& msg = *node->value;
    if (gConfig && msg.ridTopic == gConfig->AdTopicId) msg.dwViews++;
    msg.ToRecord(area.msg);
    memcpy(&area.topic, &topic.record(), sizeof(TopicRecord));
    return 1;
}

int AnswerOldest(const CTopic* topic, MsgArea& area) {
    return topic ? AnswerMsg(*topic, topic->msgList.begin(), area) : 0;
}

int AnswerNewest(const CTopic* topic, MsgArea& area) {
    return topic ? AnswerMsg(*topic, topic->msgList.last(), area) : 0;
}

const CTopic* FirstEligibleForward() {
    for (int position = gTopicArray.Begin(); position != kEnd; position = gTopicArray.Next(position)) {
        if (IsEligible(*gTopicArray.At(position))) return gTopicArray.At(position);
    }
    return nullptr;
}

const CTopic* FirstEligibleBackward() {
    for (int position = gTopicArray.Last(); position != kEnd; position = gTopicArray.Prev(position)) {
        if (IsEligible(*gTopicArray.At(position))) return gTopicArray.At(position);
    }
    return nullptr;
}

// From a topic whose messages are used up, the neighbouring topic in the
// given direction that has messages to show, going round the array once at
// most (so the walk may come back to the topic it started from).
const CTopic* NeighbourWithMessages(const CTopic& from, bool forward) {
    int position = static_cast<int>(from.ridTopic);
    for (uint32_t steps = 0; steps < gTopicArray.Size; steps++) {
        position = forward ? StepForward(position, true) : StepBack(position, true);
        const CTopic* topic = gTopicArray.At(position);
        if (IsEligible(*topic) && !IsAdStream(position)) return topic;
    }
    return nullptr;
}

// What a request names as its current topic and message.
struct Current {
    const CTopic* topic = nullptr;  // null when the id names no topic
    MsgList::I node = nullptr;      // null when the message was not found
    uint32_t ridMsg = kNoId;
};

Current FindCurrent(const MsgArea& area) {
    Current current;
    current.ridMsg = area.msg.ridMsg;
    uint32_t ridTopic = area.msg.ridTopic;
    if (ridTopic == kNoId || ridTopic >= TopicArray::kCapacity) return current;
    current.topic = gTopicArray.At(static_cast<int>(ridTopic));
    if (!current.topic || current.ridMsg == kNoId) return current;
    const MsgList& list = current.topic->msgList;
    for (MsgList::I node = list.begin(); node != list.end(); node = MsgList::next(node)) {
        if (node->value->ridMsg == current.ridMsg) {
            current.node = node;
            break;
        }
    }
    return current;
}

int FetchStep(const Current& current, bool forward, bool wrap, MsgArea& area) {
    if (!current.topic) {
        if (!wrap) return 0;
        return forward ? AnswerNewest(FirstEligibleBackward(), area) : AnswerOldest(FirstEligibleForward(), area);
    }
    const MsgList& list = current.topic->msgList;
    if (!current.node && !wrap) return 0;
    MsgList::I from = current.node ? current.node : list.end();  // the end marker: the step lands on an end
    MsgList::I node = forward ? MsgList::next(from) : MsgList::prev(from);
    if (node != list.end()) return AnswerMsg(*current.topic, node, area);
    if (!wrap) return 0;
    const CTopic* neighbour = NeighbourWithMessages(*current.topic, forward);
    return forward ? AnswerOldest(neighbour, area) : AnswerNewest(neighbour, area);
}

int FetchMsg(uint16_t code, MsgArea& area) {
    bool wrap = area.wrap != 0;
    Current current = FindCurrent(area);
    bool fromStart = current.ridMsg == kNoId && current.topic && current.topic->msgList.count();
    switch (code) {
        case FETCH_FIRST:
            if (current.topic) return fromStart ? AnswerOldest(current.topic, area) : 0;
            return AnswerOldest(FirstEligibleForward(), area);
        case FETCH_LAST:
            if (current.topic) return fromStart ? AnswerNewest(current.topic, area) : 0;
            return AnswerNewest(FirstEligibleBackward(), area);
        case FETCH_PREVIOUS: return FetchStep(current, false, wrap, area);
        case FETCH_NEXT: return FetchStep(current, true, wrap, area);
        case FETCH_CURRENT: return current.node ? AnswerMsg(*current.topic, current.node, area) : 0;
        default: return 0;
    }
}

}  // namespace

int CFetchTopic::Get(uint16_t code, TopicArea* area) {
    if (!area || gTopicArray.Size == 0) return 0;
    bool wrap = area->wrap != 0;
    int position = kEnd;
    if (code >= FETCH_PREVIOUS && code <= 7) position = gTopicArray.Find(area->topic.ridTopic);
    switch (code) {
        case FETCH_FIRST: position = gTopicArray.Begin(); break;
        case FETCH_LAST: position = gTopicArray.Last(); break;
        case FETCH_PREVIOUS: position = StepBackOverAds(position, wrap); break;
        case FETCH_NEXT: position = StepForwardOverAds(position, wrap); break;
        case FETCH_CURRENT: break;
        default: return 0;
    }
    if (position == kEnd && wrap) position = gTopicArray.Begin();
    if (position == kEnd) return 0;
    return AnswerTopic(position, *area);
}

int CFetchMsg::Get(uint16_t code, MsgArea* area) {
    if (!area || gTopicArray.Size == 0) return 0;
    try {
        return FetchMsg(code, *area);
    } catch (...) {
        Trace("CFetchMsg::Get() Exception Caught");
        return 0;
    }
}
