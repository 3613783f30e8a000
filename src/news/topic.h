// CTopic: a topic in memory, its record followed by its message list. Only
// the record is ever copied out; the topic owns its messages.
#pragma once

#include "news/list.h"
#include "news/msg.h"
#include "shared/records.h"

using MsgList = CList<CMsg*>;

class CTopic : public TopicRecord {
public:
    // A new topic: every field cleared, then the new-topic values.
    CTopic();
    // A topic with the record copied in and no messages.
    explicit CTopic(const TopicRecord& record);
    // Frees the messages it still holds.
    ~CTopic();
    CTopic(const CTopic&) = delete;
    CTopic& operator=(const CTopic&) = delete;

    TopicRecord& record() { return *this; }
    const TopicRecord& record() const { return *this; }

    // Frees the message at the node and erases the node; returns the next node.
    MsgList::I RemoveMessage(MsgList::I node);
    // Frees every message and empties the list.
    void FreeMessages();

    MsgList msgList;
};
