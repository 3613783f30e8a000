// The message data file: what survives a restart, what is refused, and no failed save loses the previous file.
#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <vector>

#include "news/data_file.h"
#include "news_fixture.h"

namespace {

constexpr size_t kTopic0 = 4772, kMsg0 = kTopic0 + 3612 + 4;  // the first topic and its first message

class DataFileTest : public NewsDirTest {
protected:
    DataFileTest() : NewsDirTest("datafile") {}

    // Two topics: one in slot 7 holding messages 56 and 57, one without messages.
    std::string SaveSmallDatabase() {
        CTopic& news = AddTopic(TOPIC_SUBSCRIPTION, "News / World", 7);
        AddMsg(news, 56, "first");
        AddMsg(news, 57, "second");
        AddTopic(TOPIC_SUBSCRIPTION, "Sport / Chess").ridLastMsg = 33;
        EXPECT_EQ(1, gTopicArray.Save());
        return dir_.Read("Msg.dat");
    }

    // Loads into an emptied array and a cleared record, as a new process would.
    int Reload() {
        gTopicArray.Clear();
        gTopicArray.Reset();
        memset(&cfg_.StartCount, 0, sizeof cfg_ - offsetof(CConfigData, StartCount));
        return gTopicArray.Load();
    }

    // The answer of a reload and its last trace line.
    std::string Loaded() {
        TraceRecorder trace;
        std::string answer = std::to_string(Reload());
        return trace.lines().empty() ? answer : answer + " " + trace.lines().back();
    }
};

std::string Words(std::initializer_list<uint32_t> words) {
    std::string bytes;
    for (uint32_t word : words) bytes.append(reinterpret_cast<const char*>(&word), sizeof word);
    return bytes;
}

// The data file served from memory, so that every length of it is tried quickly.
std::string_view gServed;
size_t gServedPosition = 0;

// Writes that fail at the nth call (from 1), or from then on take only half.
int gFailingWrite = 0, gWriteCalls = 0;
bool gShortInsteadOfFailing = false;
int (*gRealWrite)(OsFile*, const void*, uint32_t, uint32_t*) = nullptr;

}  // namespace

TEST_F(DataFileTest, TopicsComeBackInOrderRenumberedFromSlotZeroAndPassiveWritesNothing) {
    const std::string saved = SaveSmallDatabase();
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
    EXPECT_EQ(1u, gTopicArray.At(1)->ridTopic);
    EXPECT_EQ(0u, gTopicArray.At(1)->ridLastMsg);  // whatever the stored record said

    AddMsg(*news, 58);
    cfg_.Passive = 1;
    EXPECT_EQ(1, gTopicArray.Save());
    EXPECT_EQ(saved, dir_.Read("Msg.dat"));
}

TEST_F(DataFileTest, HeaderCarriesThePersistedFieldsAndCountsTheStart) {
    cfg_.StartCount = 41;
    cfg_.Pace = 14;
    cfg_.DisplayPreference = 3;
    cfg_.DisplayValue = -5;
    memset(cfg_.AccountId, 'a', sizeof cfg_.AccountId);  // unterminated, as another process may leave it
    for (int i = 0; i < 388; i++) cfg_.DisplaySettings[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(1, gTopicArray.Save());

    std::string bytes = dir_.Read("Msg.dat");
    std::string banner = bytes.substr(0, bytes.find('\0'));
    EXPECT_NE(std::string::npos, banner.find("\r\nData File Version 14\r\n\x1A"));
    EXPECT_EQ(banner.size() - 1, banner.rfind('\x1A'));
    std::string settings(reinterpret_cast<const char*>(cfg_.DisplaySettings), 388);
    EXPECT_EQ(bytes.substr(0, 256) + Words({14, 41, 0, 14, 3, static_cast<uint32_t>(-5)}) + std::string(99, 'a') +
                  '\0' + settings + std::string(4000, '\0') + Words({0}),  // no topics
              bytes);

    ASSERT_EQ(1, Reload());
    ASSERT_EQ(1, gTopicArray.Save());  // every field came back, and the start was counted
    EXPECT_EQ(bytes.replace(260, 4, Words({42})), dir_.Read("Msg.dat"));
}

// Only the version word decides, not the banner; four billion messages cost
// nothing before they fail to arrive; the topics before the 101st stay.
TEST_F(DataFileTest, DamagedFilesAreRefusedWithTheTextOfTheFault) {
    const std::string error = "0 TopicArray::Load() Error: ";
    EXPECT_EQ("0 TopicArray::Load(): Could not open " + dir_.File("Msg.dat"), Loaded());
    const std::string valid = SaveSmallDatabase();
    std::string edited = valid;
    memcpy(&edited[0], "Data File Version 13, edited by hand", 36);
    const std::pair<std::string, std::string> cases[] = {
        {std::string(valid).replace(256, 4, Words({13})), error + "Unsupported version of data file"},
        {std::string(valid).replace(256, 4, Words({15})), error + "Unsupported version of data file"},
        {std::string(valid).replace(kMsg0 - 4, 4, Words({0xFFFFFFFF})), error + "Invalid msg record size"},
        {edited, "1"},  // last: the two topics stay loaded
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        dir_.Write("Msg.dat", c.first);
        EXPECT_EQ(c.second, Loaded());
    }

    for (int i = 0; i < 98; i++) AddTopic(TOPIC_SUBSCRIPTION, "t" + std::to_string(i));
    ASSERT_EQ(1, gTopicArray.Save());
    std::string full = dir_.Read("Msg.dat").replace(4768, 4, Words({101}));
    dir_.Write("Msg.dat", full + full.substr(kTopic0, 3612 + 4));  // a 101st topic without messages
    EXPECT_EQ(error + "Too Many Topics", Loaded());
    EXPECT_EQ(100u, gTopicArray.Size);
}

TEST_F(DataFileTest, TextsWithoutTerminatorsAreCutWithinTheirFields) {
    CTopic& topic = AddTopic(TOPIC_SUBSCRIPTION, "t");
    memset(topic.Title, 'T', sizeof topic.Title);
    memset(topic.ConfigUrl, 'C', sizeof topic.ConfigUrl);
    AddMsg(topic, 1);
    ASSERT_EQ(1, gTopicArray.Save());
    std::string bytes = dir_.Read("Msg.dat");
    memset(&bytes[kMsg0 + 28], 'M', 1452 - 28);  // the message's three texts, unterminated
    dir_.Write("Msg.dat", bytes);
    ASSERT_EQ(1, Reload());
    const CTopic& loaded = *gTopicArray.At(0);
    const CMsg& msg = *loaded.msgList.begin()->value;
    EXPECT_EQ((std::vector<size_t>{199, 1023, 199, 99, 1023}),
              (std::vector<size_t>{strlen(loaded.Title), strlen(loaded.ConfigUrl), strlen(msg.lpszTitle),
                                   strlen(msg.lpszFile), strlen(msg.lpszUrl)}));
    EXPECT_EQ(sizeof(CMsg) + 199 + 99 + 1023 + 3, msg.cbSize);  // one block, the three texts behind the fields
    ASSERT_EQ(1, gTopicArray.Save());                           // and they are written back terminated
    bytes = dir_.Read("Msg.dat");
    for (size_t end : {kTopic0 + 40 + 199, kMsg0 + 28 + 199, kMsg0 + 228 + 99, kMsg0 + 328 + 1023})
        EXPECT_EQ('\0', bytes[end]) << end;
}

TEST_F(DataFileTest, FileCutShortAnywhereFailsWithTheTextOfTheFieldBeingRead) {
    const std::string full = SaveSmallDatabase();
    ASSERT_EQ(14908u, full.size());
    gOs.OpenRead = [](const char*) { return gServedPosition = 0, reinterpret_cast<OsFile*>(&gServed); };
    gOs.Read = [](OsFile*, void* buffer, uint32_t size, uint32_t* got) {
        gServedPosition += * got =
            static_cast<uint32_t>(gServed.copy(static_cast<char*>(buffer), size, gServedPosition));
        return 1;
    };
    gOs.Close = [](OsFile*) {};
    // Where each field ends, and the text of a file cut before that.
    const std::pair<size_t, std::string> fields[] = {
        {4768, "Read wrong size for data file Header"},
        {4772, "Read wrong size for dwNumTopics"},
        {8384, "Invalid topic record size"},
        {8388, "Read wrong size for dwNumMsgs"},
        {9840, "Invalid msg record size"},
        {11292, "Invalid msg record size"},
        {14904, "Invalid topic record size"},
        {14908, "Read wrong size for dwNumMsgs"},
    };
    size_t field = 0;
    for (size_t length = 0; length < full.size(); length++) {
        if (length == fields[field].first) field++;
        gServed = std::string_view(full).substr(0, length);
        TraceRecorder trace;
        ASSERT_EQ(0, Reload()) << "cut at " << length;
        ASSERT_EQ(std::vector<std::string>{"TopicArray::Load() Error: " + fields[field].second}, trace.lines())
            << "cut at " << length;
    }
    gServed = full;
    EXPECT_EQ(1, Reload());
}

TEST_F(DataFileTest, SaveThatFailsAnywhereLeavesThePreviousFileIntact) {
    const std::string previous = SaveSmallDatabase();
    AddMsg(*gTopicArray.At(7), 58, "a message the failed saves never write");
    const OsInterface real = gOs;
    gRealWrite = real.Write;
    const std::string e = "TopicArray::Load() Error: ", msg = e + "Failed writing msg",
                      record = e + "Invalid msg record size", count = e + "Invalid dwNumSize size written";
    // The nine writes failing in turn, then falling short; the flush, the replacement and the creation.
    std::vector<std::string> texts = {e + "Failed writing Header", e + "Failed writing dwNumTopics"};
    texts.resize(9, msg);
    texts.insert(texts.end(),
                 {e + "Read wrong size for data file Header", e + "Invalid dwNumTopic size written", record, count,
                  record, record, record, record, count, e + "Could not flush the data file",
                  "TopicArray::Save(): Could not replace " + dir_.File("Msg.dat"),
                  "TopicArray::Save(): Could not create " + dir_.File("Msg.dat.new")});
    for (int fault = 0; fault < 21; fault++) {
        SCOPED_TRACE(texts[fault]);
        gOs = real;
        gOs.Write = [](OsFile* file, const void* data, uint32_t size, uint32_t* written) {
            if (++gWriteCalls < gFailingWrite || gShortInsteadOfFailing)
                return gRealWrite(file, data, gWriteCalls < gFailingWrite ? size : size / 2, written);
            *written = 0;
            return 0;
        };
        gWriteCalls = 0;
        gFailingWrite = fault < 18 ? fault % 9 + 1 : 1000;
        gShortInsteadOfFailing = fault >= 9;
        if (fault == 18) gOs.Flush = [](OsFile*) { return 0; };
        if (fault == 19) gOs.ReplaceFile = [](const char*, const char*) { return 0; };
        if (fault == 20) gOs.CreateWrite = [](const char*) { return static_cast<OsFile*>(nullptr); };
        TraceRecorder trace;
        EXPECT_EQ(0, gTopicArray.Save());
        EXPECT_EQ(std::vector<std::string>{texts[fault]}, trace.lines());
        EXPECT_EQ(previous, dir_.Read("Msg.dat"));
        EXPECT_FALSE(dir_.Exists("Msg.dat.new"));
    }
    gOs = real;
    EXPECT_EQ(1, gTopicArray.Save());
    EXPECT_NE(previous, dir_.Read("Msg.dat"));
}
