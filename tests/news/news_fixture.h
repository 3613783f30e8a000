// A fresh database for each test: an empty topic array, a record of its own
// as the shared record, and the purge's turn at its start.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "news/purge.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

class NewsTest : public ::testing::Test {
protected:
    NewsTest() : saved_(gConfig) {
        memset(&cfg_, 0, sizeof cfg_);
        cfg_.AdTopicId = kNoId;
        cfg_.Pace = 1;
        cfg_.DisplayPreference = 1;
        gConfig = &cfg_;
        gTopicArray.Clear();
        gTopicArray.Reset();
        Purge::lastPurgedTopic = kNoId;
    }
    ~NewsTest() override {
        gTopicArray.Clear();
        gTopicArray.Reset();
        gConfig = saved_;
    }

    // Adds a topic, into the given slot when one is named.
    CTopic& AddTopic(uint32_t type, const std::string& title = "Topic / Title", int slot = -1) {
        if (slot >= 0) gTopicArray.SetCursor(slot);
        CTopic* topic = new CTopic();
        topic->dwType = type;
        strcpy(topic->Title, title.c_str());
        gTopicArray.Add(topic);
        return *topic;
    }

    // Appends a message, as the update does.
    CMsg& AddMsg(CTopic& topic, uint32_t ridMsg, const std::string& title = "headline", int32_t received = 0) {
        MsgRecord record;
        memset(&record, 0, sizeof record);
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

    // The message numbers of a topic, oldest first.
    static std::string Numbers(const CTopic& topic) {
        std::string numbers;
        for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node))
            numbers += (numbers.empty() ? "" : " ") + std::to_string(node->value->ridMsg);
        return numbers;
    }

    CConfigData cfg_;

private:
    CConfigData* saved_;
};
