// The previous data file survives an agent killed while it saves and a data
// directory that cannot be written. Garbage in its place is the repair's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "agent_process_win.h"
#include "news/data_file.h"
#include "shared/conversation_win.h"
#include "trace_capture_win.h"

namespace {

// What a data file holds, read with the agent's own reader.
struct Contents : DataFileReader {
    bool valid = false;
    uint32_t startCount = 0, topics = 0, messages = 0;
    void OnHeader(const DataFileHeader& header) override { startCount = header.StartCount; }
    void OnTopic(const TopicRecord&) override { topics++; }
    void OnMsg(const MsgRecord&) override { messages++; }
};

Contents Read(const std::string& path) {
    Contents contents;
    contents.valid = ReadDataFile(path.c_str(), contents) != 0;
    return contents;
}

class DataFaultsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere"; }
    std::mt19937 random_{20261205};
};

}  // namespace

TEST_F(DataFaultsTest, KilledWhileSavingLeavesAWholeDataFile) {
    // As full a database as starts: 98 subscriptions of ten messages and the ad stream.
    std::string messages = R"({"ridMsg": 1, "Title": "Headline", "Url": "http://127.0.0.1/story.html"})";
    for (int m = 2; m <= 10; m++) messages += R"(,{"ridMsg": )" + std::to_string(m) + R"(, "Title": "Headline"})";
    std::string json = R"({"topics": [)";
    for (int t = 0; t < 98; t++) {
        json += (t ? ",{" : "{") + std::string(R"("tmLastUpdate": 4000000000, "Title": "News / )") + std::to_string(t) +
                R"(", "messages": [)" + messages + "]}";
    }
    InstallFolder folder("data-kill", InstallFolder::kWithoutDatabase);
    folder.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");
    ASSERT_EQ(0u, folder.MakeDatabase(json + "]}"));

    // How long a close with its save takes: the kills are spread over it.
    DWORD closeMs;
    {
        AgentProcess agent(folder);
        ASSERT_TRUE(agent.WaitForEngineWindow());
        DWORD start = GetTickCount();
        ASSERT_EQ(0u, agent.Close());
        closeMs = GetTickCount() - start + 1;
    }
    constexpr int kRuns = 200;
    int saved = 0;
    Contents previous = Read(folder.DataFile());
    for (int run = 0; run < kRuns; run++, previous = Read(folder.DataFile())) {
        SCOPED_TRACE(run);
        std::string before = folder.Read("Data\\Msg.dat");
        DeleteFileA(folder.File("Data\\Msg.dat.new").c_str());
        {
            AgentProcess agent(folder);
            HWND engine = agent.WaitForEngineWindow();
            ASSERT_TRUE(engine) << "exit code " << agent.Wait(0);
            PostMessageA(engine, WM_CLOSE, 0, 0);
            Sleep(random_() % (closeMs * 3 / 2));
        }  // killed here, unless it finished
        Contents after = Read(folder.DataFile());
        ASSERT_TRUE(after.valid) << "the data file is damaged";
        EXPECT_EQ(99u, after.topics);
        EXPECT_EQ(980u, after.messages);
        if (after.startCount == previous.startCount) {
            EXPECT_EQ(before, folder.Read("Data\\Msg.dat")) << "an unsaved run changed the file";
        } else {
            EXPECT_EQ(previous.startCount + 1, after.startCount);
            saved++;
        }
    }
    EXPECT_GT(saved, 0) << "no run got as far as its save";
    EXPECT_LT(saved, kRuns) << "no run was killed before its save ended";
}

// with_read_only_data.sh mounts the data directory read-only where the machine lets it.
TEST_F(DataFaultsTest, ReadOnlyDataDirectoryLosesNothing) {
    const char* install = getenv("TIDEWELL_TEST_READONLY_INSTALL");  // as Wine's Z: drive shows it
    if (!install || !*install) GTEST_SKIP() << "no read-only mount on this machine (see with_read_only_data.sh)";
    TraceCapture trace;
    auto bytes = [&] {
        std::ifstream file(std::string(install) + "\\Data\\Msg.dat", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    };
    std::string before = bytes();

    AgentProcess agent(std::string(install) + "\\Engine.exe");
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_TRUE(engine);
    EXPECT_TRUE(trace.WaitFor("TopicArray::Save(): Could not create", agent.id(), kTickTimeoutMs * 2)) << trace.Dump();
    {
        Conversation topics(engine, kTopicChannel);
        ASSERT_TRUE(topics.open());
        EXPECT_EQ(1, topics.Request(FETCH_FIRST)) << "the display programs are still served";
    }
    EXPECT_EQ(0u, agent.Close());
    EXPECT_TRUE(before == bytes()) << "the data file changed";
}
