// The message data file: what survives a restart, what is refused, and that
// no failure of a save loses the previous file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "news/data_file.h"
#include "news_fixture.h"
#include "os_override.h"
#include "shared/pace.h"
#include "temp_dir.h"

namespace {

class DataFileTest : public NewsTest {
protected:
    DataFileTest() : dir_("datafile") {
        strcpy(cfg_.DataDir, dir_.path().c_str());
        gOs.SetPriority = [](ProcessPriority, ThreadPriority) {};
    }

    // Two topics: one in slot 7 holding messages 56 and 57, one without messages.
    void MakeSmallDatabase() {
        CTopic& news = AddTopic(TOPIC_SUBSCRIPTION, "News / World", 7);
        AddMsg(news, 56, "first");
        AddMsg(news, 57, "second");
        CTopic& empty = AddTopic(TOPIC_SUBSCRIPTION, "Sport / Chess");
        empty.ridLastMsg = 33;
    }

    std::string SavedBytes() { return dir_.Read("Msg.dat"); }

    // Loads into an emptied array and a cleared record, as a new process would.
    int Reload() {
        gTopicArray.Clear();
        gTopicArray.Reset();
        memset(&cfg_.StartCount, 0, sizeof cfg_ - offsetof(CConfigData, StartCount));
        return gTopicArray.Load();
    }

    OsOverride restore_;
    TempDir dir_;
};

uint32_t WordAt(const std::string& bytes, size_t offset) {
    uint32_t word;
    memcpy(&word, bytes.data() + offset, sizeof word);
    return word;
}

void PutWord(std::string& bytes, size_t offset, uint32_t word) {
    memcpy(&bytes[offset], &word, sizeof word);
}

}  // namespace

TEST_F(DataFileTest, TopicsComeBackInOrderRenumberedFromSlotZero) {
    MakeSmallDatabase();
    ASSERT_EQ(1, gTopicArray.Save());
    ASSERT_EQ(1, Reload());
    ASSERT_EQ(2u, gTopicArray.Size);
    CTopic* news = gTopicArray.At(0);
    ASSERT_NE(nullptr, news);
    EXPECT_STREQ("News / World", news->Title);
    EXPECT_EQ(0u, news->ridTopic);
    EXPECT_EQ("56 57", Numbers(*news));
    EXPECT_EQ(0u, news->msgList.begin()->value->ridTopic);
    EXPECT_EQ(57u, news->ridLastMsg);
    EXPECT_STREQ("second", news->msgList.last()->value->lpszTitle);
    CTopic* empty = gTopicArray.At(1);
    EXPECT_EQ(1u, empty->ridTopic);
    EXPECT_EQ(0u, empty->ridLastMsg);  // whatever the stored record said
}

TEST_F(DataFileTest, HeaderCarriesThePersistedFieldsAndCountsTheStart) {
    static PacePriority applied;
    gOs.SetPriority = [](ProcessPriority process, ThreadPriority thread) { applied = {process, thread}; };
    cfg_.StartCount = 41;
    cfg_.Pace = 14;
    cfg_.DisplayPreference = 3;
    cfg_.DisplayValue = -5;
    memset(cfg_.AccountId, 'a', sizeof cfg_.AccountId);  // unterminated, as another process may leave it
    for (int i = 0; i < 388; i++) cfg_.DisplaySettings[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(1, gTopicArray.Save());

    std::string bytes = SavedBytes();
    ASSERT_EQ(4768u + 4u, bytes.size());  // no topics: header and a count of 0
    std::string banner = bytes.substr(0, bytes.find('\0'));
    EXPECT_NE(std::string::npos, banner.find("\r\nData File Version 14\r\n\x1A"));
    EXPECT_EQ(banner.size() - 1, banner.rfind('\x1A'));
    EXPECT_EQ(14u, WordAt(bytes, 256));
    EXPECT_EQ(41u, WordAt(bytes, 260));
    EXPECT_EQ(14u, WordAt(bytes, 268));
    EXPECT_EQ(3u, WordAt(bytes, 272));
    EXPECT_EQ(static_cast<uint32_t>(-5), WordAt(bytes, 276));
    EXPECT_EQ(std::string(99, 'a') + '\0', bytes.substr(280, 100));
    EXPECT_EQ(static_cast<char>(200), bytes[380 + 200]);
    EXPECT_EQ(std::string(4000, '\0'), bytes.substr(768, 4000));

    ASSERT_EQ(1, Reload());
    EXPECT_EQ(42u, cfg_.StartCount);
    EXPECT_EQ(14, cfg_.Pace);
    EXPECT_EQ(ProcessPriority::Idle, applied.process);  // the priority follows the loaded pace
    EXPECT_EQ(ThreadPriority::BelowNormal, applied.thread);
    EXPECT_EQ(3, cfg_.DisplayPreference);
    EXPECT_EQ(-5, cfg_.DisplayValue);
    EXPECT_EQ(std::string(99, 'a'), cfg_.AccountId);
    EXPECT_EQ(200, cfg_.DisplaySettings[200]);
    ASSERT_EQ(1, gTopicArray.Save());
    EXPECT_EQ(42u, WordAt(SavedBytes(), 260));
}

TEST_F(DataFileTest, PassiveSavesNothingAndReportsSuccess) {
    MakeSmallDatabase();
    cfg_.Passive = 1;
    EXPECT_EQ(1, gTopicArray.Save());
    EXPECT_FALSE(dir_.Exists("Msg.dat"));
    cfg_.Passive = 0;
    ASSERT_EQ(1, gTopicArray.Save());
    std::string before = SavedBytes();
    AddMsg(*gTopicArray.At(7), 58, "third");
    cfg_.Passive = 1;
    EXPECT_EQ(1, gTopicArray.Save());
    EXPECT_EQ(before, SavedBytes());
    ASSERT_EQ(1, Reload());
    EXPECT_EQ(0u, cfg_.Passive);  // the stored flag comes back with the file
}

TEST_F(DataFileTest, VersionDecidesBannerDoesNot) {
    ASSERT_EQ(1, gTopicArray.Save());
    std::string good = SavedBytes();
    for (uint32_t version : {13u, 15u, 0u, 0xFFFFFFFFu}) {
        std::string bytes = good;
        PutWord(bytes, 256, version);
        dir_.Write("Msg.dat", bytes);
        TraceRecorder trace;
        EXPECT_EQ(0, Reload()) << version;
        EXPECT_TRUE(trace.Contains("TopicArray::Load() Error: Unsupported version of data file")) << version;
    }
    std::string edited = good;
    memcpy(&edited[0], "Data File Version 13, edited by hand", 36);
    dir_.Write("Msg.dat", edited);
    EXPECT_EQ(1, Reload());
    EXPECT_EQ(4772u, edited.size());  // a header and a count of 0 topics is a complete file
    EXPECT_EQ(0u, gTopicArray.Size);
}

TEST_F(DataFileTest, MissingFileFailsLikeADamagedOne) {
    TraceRecorder trace;
    EXPECT_EQ(0, gTopicArray.Load());
    EXPECT_TRUE(trace.Contains("Could not open"));
}

TEST_F(DataFileTest, OneHundredAndOneTopicsStopAfterTheHundredth) {
    for (int i = 0; i < 100; i++) AddTopic(TOPIC_SUBSCRIPTION, "t" + std::to_string(i));
    ASSERT_EQ(1, gTopicArray.Save());
    std::string bytes = SavedBytes();
    PutWord(bytes, 4768, 101);
    bytes += bytes.substr(4772, 3612 + 4);  // a 101st topic record and its empty message count
    dir_.Write("Msg.dat", bytes);
    TraceRecorder trace;
    EXPECT_EQ(0, Reload());
    EXPECT_TRUE(trace.Contains("TopicArray::Load() Error: Too Many Topics"));
    EXPECT_EQ(100u, gTopicArray.Size);  // what was read stays
}

TEST_F(DataFileTest, TextsWithoutTerminatorsAreCutWithinTheirFields) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "t");
    memset(topic.Title, 'T', sizeof topic.Title);
    memset(topic.ConfigUrl, 'C', sizeof topic.ConfigUrl);
    AddMsg(topic, 1);
    ASSERT_EQ(1, gTopicArray.Save());
    std::string bytes = SavedBytes();
    memset(&bytes[4772 + 3612 + 4 + 28], 'M', 1452 - 28);  // the message's three texts, unterminated
    dir_.Write("Msg.dat", bytes);
    ASSERT_EQ(1, Reload());
    CTopic* loaded = gTopicArray.At(0);
    EXPECT_EQ(199u, strlen(loaded->Title));
    EXPECT_EQ(1023u, strlen(loaded->ConfigUrl));
    EXPECT_EQ(199u, strlen(loaded->msgList.begin()->value->lpszTitle));
    EXPECT_EQ(1023u, strlen(loaded->msgList.begin()->value->lpszUrl));
    ASSERT_EQ(1, gTopicArray.Save());  // and they are written back terminated
    bytes = SavedBytes();
    EXPECT_EQ('\0', bytes[4772 + 40 + 199]);
    EXPECT_EQ('\0', bytes[4772 + 3612 + 4 + 28 + 199]);
}

namespace {

// A data file served from memory, so that every length of it can be tried
// quickly; reading past its end is impossible by construction.
struct MemoryFile {
    const std::string* bytes;
    size_t length;
    size_t position;
};

const std::string* gServedBytes = nullptr;
size_t gServedLength = 0;

void ServeFromMemory(const std::string& bytes, size_t length) {
    gServedBytes = &bytes;
    gServedLength = length;
    gOs.OpenRead = [](const char*) { return reinterpret_cast<OsFile*>(new MemoryFile{gServedBytes, gServedLength, 0}); };
    gOs.Read = [](OsFile* file, void* buffer, uint32_t size, uint32_t* got) {
        auto* memory = reinterpret_cast<MemoryFile*>(file);
        size_t count = std::min<size_t>(size, memory->length - memory->position);
        memcpy(buffer, memory->bytes->data() + memory->position, count);
        memory->position += count;
        *got = static_cast<uint32_t>(count);
        return 1;
    };
    gOs.Close = [](OsFile* file) { delete reinterpret_cast<MemoryFile*>(file); };
}

// The text a load of a file cut at length raises: the size text of the
// field being read there, for the small database of two topics.
const char* ExpectedCutText(size_t length) {
    struct Field {
        size_t end;
        const char* text;
    } fields[] = {
        {4768, "Read wrong size for data file Header"},
        {4772, "Read wrong size for dwNumTopics"},
        {8384, "Invalid topic record size"},
        {8388, "Read wrong size for dwNumMsgs"},
        {9840, "Invalid msg record size"},
        {11292, "Invalid msg record size"},
        {14904, "Invalid topic record size"},
        {14908, "Read wrong size for dwNumMsgs"},
    };
    for (const Field& field : fields) {
        if (length < field.end) return field.text;
    }
    return nullptr;
}

}  // namespace

TEST_F(DataFileTest, FileCutShortAnywhereFailsWithTheTextOfTheFieldBeingRead) {
    MakeSmallDatabase();
    ASSERT_EQ(1, gTopicArray.Save());
    const std::string bytes = SavedBytes();
    ASSERT_EQ(14908u, bytes.size());
    ServeFromMemory(bytes, 0);
    for (size_t length = 0; length < bytes.size(); length++) {
        gServedLength = length;
        TraceRecorder trace;
        gTopicArray.Clear();
        gTopicArray.Reset();
        ASSERT_EQ(0, gTopicArray.Load()) << "cut at " << length;
        ASSERT_EQ(1u, trace.lines().size()) << "cut at " << length;
        ASSERT_EQ(std::string("TopicArray::Load() Error: ") + ExpectedCutText(length), trace.lines()[0])
            << "cut at " << length;
    }
    gServedLength = bytes.size();
    gTopicArray.Clear();
    gTopicArray.Reset();
    EXPECT_EQ(1, gTopicArray.Load());
}

TEST_F(DataFileTest, RandomBytesAreRefusedWithoutHarm) {
    std::mt19937 random(20261205);
    std::string valid;
    {
        MakeSmallDatabase();
        ASSERT_EQ(1, gTopicArray.Save());
        valid = SavedBytes();
    }
    for (int round = 0; round < 300; round++) {
        std::string bytes = valid;
        // Mostly damage the counts and records behind the header, now and then the header too.
        size_t flips = 1 + random() % 16;
        for (size_t i = 0; i < flips; i++) bytes[(round % 5 ? 4768 : 0) + random() % (bytes.size() - 4768)] = char(random());
        if (round % 7 == 0) bytes.resize(random() % bytes.size());
        ServeFromMemory(bytes, bytes.size());
        TraceRecorder trace;
        gTopicArray.Clear();
        gTopicArray.Reset();
        gTopicArray.Load();  // either answer is fine; a crash, an overrun or a leak is not
        EXPECT_LE(gTopicArray.Size, 100u);
    }
    std::string huge = valid.substr(0, 4772);
    PutWord(huge, 4768, 1);
    huge += valid.substr(4772, 3612);
    huge += std::string("\xff\xff\xff\xff", 4);  // four billion messages announced, none there
    ServeFromMemory(huge, huge.size());
    TraceRecorder trace;
    gTopicArray.Clear();
    gTopicArray.Reset();
    EXPECT_EQ(0, gTopicArray.Load());
    EXPECT_TRUE(trace.Contains("Invalid msg record size"));
}

namespace {

// Writes that fail at the nth call (counting from 1), or from then on take
// only half of what they are given.
int gFailingWrite = 0;
int gWriteCalls = 0;
bool gShortInsteadOfFailing = false;
int (*gRealWrite)(OsFile*, const void*, uint32_t, uint32_t*) = nullptr;

int FailingWrite(OsFile* file, const void* data, uint32_t size, uint32_t* written) {
    if (++gWriteCalls < gFailingWrite) return gRealWrite(file, data, size, written);
    if (gShortInsteadOfFailing) return gRealWrite(file, data, size / 2, written);
    *written = 0;
    return 0;
}

}  // namespace

TEST_F(DataFileTest, SaveThatFailsPartWayLeavesThePreviousFileIntact) {
    MakeSmallDatabase();
    ASSERT_EQ(1, gTopicArray.Save());
    const std::string previous = SavedBytes();
    AddMsg(*gTopicArray.At(7), 58, "a message the failed saves never write");
    gRealWrite = gOs.Write;
    gOs.Write = FailingWrite;
    // The small database takes 1 + 1 + (1 + 1 + 3) + (1 + 1) writes.
    for (bool shortWrite : {false, true}) {
        for (int failing = 1; failing <= 9; failing++) {
            gFailingWrite = failing;
            gWriteCalls = 0;
            gShortInsteadOfFailing = shortWrite;
            TraceRecorder trace;
            EXPECT_EQ(0, gTopicArray.Save()) << "write " << failing;
            EXPECT_EQ(previous, SavedBytes()) << "write " << failing;
            EXPECT_FALSE(dir_.Exists("Msg.dat.new")) << "write " << failing;
            ASSERT_EQ(1u, trace.lines().size());
            EXPECT_EQ(0u, trace.lines()[0].find("TopicArray::Load() Error: ")) << trace.lines()[0];
        }
    }
    gFailingWrite = 1000;
    EXPECT_EQ(1, gTopicArray.Save());
    EXPECT_NE(previous, SavedBytes());
}

TEST_F(DataFileTest, SaveThatCannotReplaceOrCreateKeepsThePreviousFile) {
    MakeSmallDatabase();
    ASSERT_EQ(1, gTopicArray.Save());
    const std::string previous = SavedBytes();
    AddMsg(*gTopicArray.At(7), 58);
    gOs.ReplaceFile = [](const char*, const char*) { return 0; };
    {
        TraceRecorder trace;
        EXPECT_EQ(0, gTopicArray.Save());
        EXPECT_TRUE(trace.Contains("Could not replace"));
    }
    EXPECT_EQ(previous, SavedBytes());
    EXPECT_FALSE(dir_.Exists("Msg.dat.new"));
    gOs.CreateWrite = [](const char*) { return static_cast<OsFile*>(nullptr); };
    TraceRecorder trace;
    EXPECT_EQ(0, gTopicArray.Save());
    EXPECT_TRUE(trace.Contains("Could not create"));
    EXPECT_EQ(previous, SavedBytes());
}
