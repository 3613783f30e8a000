// A fresh news database, as after a restart, and topics and messages added
// as the update adds them. Free of the test framework: the fuzz targets use it.
#pragma once

#include <cstring>
#include <string>

#include "news/purge.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

inline void ResetDatabase(CConfigData& record) {
    memset(&record, 0, sizeof record);
    record.AdTopicId = kNoId;
    record.Pace = record.DisplayPreference = 1;
    gConfig = &record;
    gTopicArray.Clear();
    gTopicArray.Reset();
    Purge::lastPurgedTopic = kNoId;
}

// Adds a topic, into the given slot when one is named.
inline CTopic& AddTopic(uint32_t type, const std::string& title = "Topic / Title", int slot = -1) {
    if (slot >= 0) gTopicArray.SetCursor(slot);
    CTopic* topic = new CTopic();
    topic->dwType = type;
    strcpy(topic->Title, title.c_str());
    gTopicArray.Add(topic);
    return *topic;
}

// Appends a message at the end of the topic's list, as the update does.
inline CMsg& AddMsg(CTopic& topic, uint32_t ridMsg, const std::string& title = "headline", int32_t received = 0) {
    MsgRecord record = {};
    record.ridTopic = topic.ridTopic;
    record.ridMsg = ridMsg;
    record.tmReceived = received;
    strcpy(record.Title, title.c_str());
    strcpy(record.File, "file.html");
    strcpy(record.Url, ("http://news.test/" + std::to_string(ridMsg)).c_str());
    CMsg* msg = CMsg::Create(record);
    topic.msgList.InsertHead(topic.msgList.last(), msg);
    return *msg;
}
