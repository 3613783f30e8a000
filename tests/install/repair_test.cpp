// The repair of a refused data file: what is kept, what the user is told, and
// how often the agent is restarted. repair_agent_test runs one end to end.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <tuple>

#include "../news/news_fixture.h"
#include "install/repair.h"
#include "news/data_file.h"

namespace {

constexpr size_t kHeader = 4768, kTopic = 3612, kMsg = 1452;
constexpr size_t kTopic1Count = kHeader + 4 + kTopic;    // the first topic's message count
constexpr size_t kTopic2 = kTopic1Count + 4 + 2 * kMsg;  // the second topic record
constexpr size_t kTopic2Count = kTopic2 + kTopic;        // its message count
constexpr size_t kTopic2Msg2 = kTopic2Count + 4 + kMsg;  // its second message

// The titles of a data file's topics and messages, read with the agent's reader.
struct Listing : DataFileReader {
    std::string text, account;
    uint32_t startCount = 0;
    void OnHeader(const DataFileHeader& header) override {
        account = header.AccountId;
        startCount = header.StartCount;
    }
    void OnTopic(const TopicRecord& record) override {
        text += std::string(text.empty() ? "" : " ") + record.Title + ":";
    }
    void OnMsg(const MsgRecord& record) override { text += std::string(" ") + record.Title; }
};

class RepairTest : public NewsDirTest {
protected:
    RepairTest() : NewsDirTest("repair") {}

    // Three topics of two messages, one of none; a known account and start count.
    std::string SaveGoodFile() {
        strcpy(cfg_.AccountId, "ACCT-77");
        cfg_.StartCount = 41;
        CTopic& world = AddTopic(TOPIC_SUBSCRIPTION, "World");
        AddMsg(world, 1, "w1");
        AddMsg(world, 2, "w2");
        CTopic& sport = AddTopic(TOPIC_SUBSCRIPTION, "Sport");
        AddMsg(sport, 5, "s5");
        AddMsg(sport, 6, "s6");
        AddTopic(TOPIC_SUBSCRIPTION, "Chess");
        EXPECT_EQ(1, SaveDataFile(dir_.File("Msg.dat").c_str(), gTopicArray, cfg_));
        return dir_.Read("Msg.dat");
    }

    Listing List(const std::string& name) {
        Listing listing;
        if (!ReadDataFile(dir_.File(name).c_str(), listing)) listing.text = "refused";
        return listing;
    }

    // Repairs a Msg.dat of these bytes; the damaged file is set aside as it was, and here removed.
    RepairOutcome Repair(const std::string& bytes) {
        dir_.Write("Msg.dat", bytes);
        RepairOutcome outcome = RepairDataFile(dir_.path(), kNow);
        EXPECT_EQ(bytes, dir_.Read(outcome.asideName)) << "the damaged file is kept as it was";
        EXPECT_TRUE(gOs.DeleteFile(dir_.File(outcome.asideName).c_str()));
        return outcome;
    }
};

TEST_F(RepairTest, KeepsWhatWasReadBeforeTheDamage) {
    std::string good = SaveGoodFile();
    // The damage, the file, the topics and messages kept, and their titles.
    const std::tuple<const char*, std::string, uint32_t, uint32_t, const char*> cases[] = {
        {"cut in the header's last word", good.substr(0, kHeader - 1), 0, 0, ""},
        {"cut after the header", good.substr(0, kHeader + 4), 0, 0, ""},
        {"cut inside the first topic", good.substr(0, kTopic1Count - 10), 0, 0, ""},
        {"cut inside the second topic", good.substr(0, kTopic2 + 100), 1, 2, "World: w1 w2"},
        {"cut in the second topic's second message", good.substr(0, kTopic2Msg2 + 1), 2, 3, "World: w1 w2 Sport: s5"},
        {"cut before the last topic's count", good.substr(0, good.size() - 4), 3, 4,
         "World: w1 w2 Sport: s5 s6 Chess:"},
        {"the last topic's count changed", std::string(good).replace(good.size() - 2, 1, "\x01"), 3, 4,
         "World: w1 w2 Sport: s5 s6 Chess:"},
    };
    for (const auto& [name, bytes, topics, messages, kept] : cases) {
        SCOPED_TRACE(name);
        RepairOutcome outcome = Repair(bytes);
        bool headerKept = bytes.size() >= kHeader;
        EXPECT_EQ(headerKept ? RepairOutcome::kSalvaged : RepairOutcome::kEmptied, outcome.kind);
        // kNow in local time, whatever the zone.
        EXPECT_TRUE(std::regex_match(outcome.asideName, std::regex(R"(Msg-2027-01-1[45]-\d{6}\.dat)")))
            << outcome.asideName;
        Listing listing = List("Msg.dat");
        EXPECT_EQ(topics, outcome.topics);
        EXPECT_EQ(messages, outcome.messages);
        EXPECT_EQ(kept, listing.text);
        EXPECT_EQ(headerKept ? "ACCT-77" : "", listing.account);
        EXPECT_EQ(headerKept ? 41u : 0u, listing.startCount);
    }
}

// Files that read whole but that start-up refuses for their size.
TEST_F(RepairTest, AFileTooBigForStartUpKeepsWhatStartUpTakes) {
    // 100 topics "Tn" of one message each; the ad stream where given.
    auto save = [&](int adStreamAt) {
        gTopicArray.Clear();
        gTopicArray.Reset();
        for (int n = 0; n < 100; n++) {
            CTopic& topic = AddTopic(n == adStreamAt ? TOPIC_ADSTREAM : TOPIC_SUBSCRIPTION, "T" + std::to_string(n));
            AddMsg(topic, 1, "m" + std::to_string(n));
        }
        EXPECT_EQ(1, SaveDataFile(dir_.File("Msg.dat").c_str(), gTopicArray, cfg_));
        return dir_.Read("Msg.dat");
    };
    // A 101st topic "T100" without messages.
    auto withOneMore = [](std::string bytes) {
        std::string extra = bytes.substr(kHeader + 4 + kTopic + 4 + kMsg, kTopic) + std::string(4, '\0');
        extra.replace(extra.find("T1"), 4, "T100");
        bytes.replace(kHeader, 4, std::string("\x65\0\0\0", 4));  // 101 topics
        return bytes + extra;
    };
    // The file, the topics kept, those left out and their messages, and the last topic kept.
    const std::tuple<const char*, std::string, uint32_t, uint32_t, uint32_t, const char*> cases[] = {
        {"100 topics without the ad stream", save(-1), 99, 1, 1, "T98:"},
        {"101 topics with the ad stream first", withOneMore(save(0)), 100, 1, 0, "T99:"},
        {"101 topics with the ad stream among them", withOneMore(save(50)), 100, 1, 0, "T99:"},
    };
    for (const auto& [name, bytes, keptTopics, droppedTopics, droppedMessages, lastKept] : cases) {
        SCOPED_TRACE(name);
        RepairOutcome outcome = Repair(bytes);  // the whole file is kept
        EXPECT_EQ(RepairOutcome::kTrimmed, outcome.kind);
        EXPECT_EQ(keptTopics, outcome.topics);
        EXPECT_EQ(droppedTopics, outcome.droppedTopics);
        EXPECT_EQ(droppedMessages, outcome.droppedMessages);
        std::string kept = List("Msg.dat").text;
        EXPECT_EQ(0u, kept.find("T0: m0 T1: m1")) << kept;
        EXPECT_NE(std::string::npos, kept.find(std::string(" ") + lastKept)) << kept;
        EXPECT_EQ(RepairOutcome::kIntact, RepairDataFile(dir_.path(), kNow).kind) << "start-up takes the new file";
    }
    RepairOutcome one;
    one.kind = RepairOutcome::kTrimmed;
    one.topics = one.messages = one.droppedTopics = one.droppedMessages = 1;
    one.asideName = "Msg-x.dat";
    EXPECT_EQ(
        "Tidewell's news database held more topics than it can take: it kept 1 topic and 1 message and left "
        "out 1 topic with 1 message that did not fit. The whole file was kept as Data\\Msg-x.dat."
        " Start Tidewell again from the Start menu.",
        RepairMessage(one, false));
}

TEST_F(RepairTest, NoFileOrGarbageGivesAnEmptyDatabaseAndTwoRepairsInOneSecondKeepBothFiles) {
    EXPECT_EQ(RepairOutcome::kMissing, RepairDataFile(dir_.path(), kNow).kind);
    EXPECT_EQ("", List("Msg.dat").text);
    std::string garbage(9000, '\xA5');
    dir_.Write("Msg.dat", garbage);
    RepairOutcome first = RepairDataFile(dir_.path(), kNow);
    EXPECT_EQ(RepairOutcome::kEmptied, first.kind);
    EXPECT_EQ("", List("Msg.dat").text);
    EXPECT_EQ(0u, RepairMessage(first, true).find("Tidewell could not read anything from its damaged news database"));

    dir_.Write("Msg.dat", "short");
    RepairOutcome second = RepairDataFile(dir_.path(), kNow);
    std::string stem = first.asideName.substr(0, first.asideName.size() - 4);
    EXPECT_EQ(stem + "-2.dat", second.asideName);
    EXPECT_EQ(garbage, dir_.Read(first.asideName));
    EXPECT_EQ("short", dir_.Read(second.asideName));
    for (int n = 3; n < 100; n++) dir_.Write(stem + "-" + std::to_string(n) + ".dat", "");
    dir_.Write("Msg.dat", "third");
    EXPECT_EQ(stem + "-100.dat", RepairDataFile(dir_.path(), kNow).asideName) << "the last name tried is still used";
    EXPECT_EQ(RepairOutcome::kIntact, RepairDataFile(dir_.path(), kNow).kind) << "the new file loads";
}

// Writes fail from the third of each file on: the salvaged file cannot be
// written, an empty one (header and count) still can; then nothing can.
int gWritesLeft = 0;
TEST_F(RepairTest, WhenTheSalvageCannotBeWrittenAnEmptyFileIsAndFailingThatTheUserIsTold) {
    std::string good = SaveGoodFile();
    std::string damaged = good.substr(0, good.size() - 1);
    static auto create = gOs.CreateWrite;
    static auto write = gOs.Write;
    create = gOs.CreateWrite;
    write = gOs.Write;
    gOs.CreateWrite = [](const char* path) {
        gWritesLeft = 2;
        return create(path);
    };
    gOs.Write = [](OsFile* file, const void* data, uint32_t size, uint32_t* written) {
        return gWritesLeft-- > 0 ? write(file, data, size, written) : 0;
    };
    RepairOutcome outcome = Repair(damaged);
    EXPECT_EQ(RepairOutcome::kEmptied, outcome.kind);
    EXPECT_EQ("", List("Msg.dat").text);

    gOs.CreateWrite = [](const char*) -> OsFile* { return nullptr; };
    outcome = Repair(damaged);  // set aside all the same
    EXPECT_EQ(RepairOutcome::kFailed, outcome.kind);
    EXPECT_FALSE(dir_.Exists("Msg.dat"));
    EXPECT_NE(std::string::npos, RepairMessage(outcome, false).find("could not repair"));
}

TEST_F(RepairTest, TheAgentIsRestartedOnceInAWhile) {
    EXPECT_TRUE(RestartAllowed(dir_.path(), kNow));
    NoteRestart(dir_.path(), kNow);
    EXPECT_FALSE(RestartAllowed(dir_.path(), kNow));
    EXPECT_FALSE(RestartAllowed(dir_.path(), kNow + kRestartGuardSeconds - 1));
    EXPECT_TRUE(RestartAllowed(dir_.path(), kNow + kRestartGuardSeconds));
    EXPECT_TRUE(RestartAllowed(dir_.path(), kNow - 1)) << "a note from the future is stale";
    dir_.Write("Restarted.txt", "garbage");
    EXPECT_TRUE(RestartAllowed(dir_.path(), kNow));
    RepairOutcome intact;
    intact.kind = RepairOutcome::kIntact;
    EXPECT_EQ("", RepairMessage(intact, true)) << "no message waits for the user";
}

}  // namespace
