// A fresh database for each test, and the shared record put back after it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fresh_database.h"

class NewsTest : public ::testing::Test {
protected:
    NewsTest() : saved_(gConfig) { ResetDatabase(cfg_); }
    ~NewsTest() override {
        gTopicArray.Clear();
        gTopicArray.Reset();
        gConfig = saved_;
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
