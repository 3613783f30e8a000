#include "news/topic.h"

#include <cstring>

CTopic::CTopic() {
    memset(&record(), 0, sizeof(TopicRecord));
    ridTopic = kNoId;
    dwMsgLifetime = 3600;
    dwInterval = 1800;
    tmLastUpdate = -1;
    bActive = 1;
}

CTopic::CTopic(const TopicRecord& source) {
    memcpy(&record(), &source, sizeof(TopicRecord));
}

CTopic::~CTopic() {
    FreeMessages();
}

MsgList::I CTopic::RemoveMessage(MsgList::I node) {
    CMsg::Destroy(node->value);
    return msgList.Erase(node);
}

void CTopic::FreeMessages() {
    for (MsgList::I node = msgList.begin(); node != msgList.end();) node = RemoveMessage(node);
}
