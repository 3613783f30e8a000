// A fresh database for each test; with a data directory and a standing clock for those that need them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fresh_database.h"
#include "os_override.h"
#include "temp_dir.h"

constexpr int32_t kNow = 1800000000;

// The 32-bit calendar count seconds after it turned negative in 2038.
inline int32_t AfterTheWrap(uint32_t seconds) {
    return static_cast<int32_t>(static_cast<uint32_t>(INT32_MAX) + seconds);
}

class NewsTest : public ::testing::Test {
protected:
    NewsTest() : saved_(gConfig) { ResetDatabase(cfg_); }
    ~NewsTest() override {
        gTopicArray.Clear();
        gTopicArray.Reset();
        gConfig = saved_;
    }

    // The message numbers of a topic, oldest first, or their titles.
    static std::string Numbers(const CTopic& topic) { return Join(topic, false); }
    static std::string Titles(const CTopic& topic) { return Join(topic, true); }
    static std::string Join(const CTopic& topic, bool titles) {
        std::string joined;
        for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node)) {
            if (!joined.empty()) joined += titles ? "|" : " ";
            joined += titles ? std::string(node->value->lpszTitle) : std::to_string(node->value->ridMsg);
        }
        return joined;
    }

    CConfigData cfg_;

private:
    CConfigData* saved_;
};

class NewsDirTest : public NewsTest {
protected:
    explicit NewsDirTest(const char* name) : dir_(name) {
        gOs.Now = [] { return kNow; };
        strcpy(gDirs.DataDir, dir_.path().c_str());
    }

    OsOverride restore_;
    TempDir dir_;
};
