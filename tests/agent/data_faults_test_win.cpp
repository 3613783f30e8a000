// The data file under attack, with real agents: garbage put in its place
// between runs, the agent killed hard while it saves, a data directory that
// cannot be written. The previous data file must survive every one of them.
#include <gtest/gtest.h>

#include <cstdio>
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

// What a data file holds, read with the agent's own reader; valid is false
// for a file the agent would refuse.
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

TEST_F(DataFaultsTest, GarbageInPlaceOfTheDataFileIsLeftForTheRepair) {
    InstallFolder folder("data-garbage", InstallFolder::kWithoutDatabase);
    ASSERT_EQ(0u, folder.MakeDatabase(R"({"topics": [{"Title": "News / a", "messages": [{"ridMsg": 1, "Title": "One"},
        {"ridMsg": 2, "Title": "Two"}]}, {"Title": "News / b", "messages": [{"ridMsg": 7, "Title": "Seven"}]}]})"));
    folder.AddStandIn("install.exe");
    std::string good = folder.Read("Data\\Msg.dat");
    constexpr int kRuns = 24;
    int refused = 0;
    for (int run = 0; run < kRuns; run++) {
        SCOPED_TRACE(run);
        // Random bytes, or a good file cut short or with some bytes changed.
        std::string bytes = run % 3 == 1 ? good.substr(0, random_() % good.size()) : good;
        if (run % 3 == 0) bytes.resize(random_() % 20000);
        for (size_t i = 0; run % 3 == 0 && i < bytes.size(); i++) bytes[i] = static_cast<char>(random_());
        for (int i = 0; run % 3 == 2 && i < 4; i++) {
            bytes[256 + random_() % (good.size() - 256)] = static_cast<char>(random_());
        }
        folder.Write("Data\\Msg.dat", bytes);
        AgentProcess agent(folder);
        // Either it ends, or it gets as far as serving display programs.
        DWORD code = STILL_ACTIVE;
        auto served = [&] { return agent.WaitForEngineWindow(0) && Conversation(agent.window(), 0).open(); };
        WaitFor([&] { return (code = agent.Wait(0)) != STILL_ACTIVE || served(); }, kStartTimeoutMs);
        if (code == STILL_ACTIVE) {
            // The changed bytes still made a file the agent accepts: it writes one it can read again.
            EXPECT_EQ(0u, agent.Close());
            EXPECT_TRUE(Read(folder.DataFile()).valid);
            continue;
        }
        refused++;
        EXPECT_EQ(3u, code);
        EXPECT_EQ(bytes, folder.Read("Data\\Msg.dat")) << "the damaged file is left as it was for the repair";
    }
    EXPECT_GE(refused, kRuns / 2);
    EXPECT_TRUE(WaitFor([&] { return folder.StandInLog().find("install.exe") != std::string::npos; }, 10000));

    folder.Write("Data\\Msg.dat", good);  // repaired: the next run is a normal one
    AgentProcess agent(folder);
    ASSERT_TRUE(agent.WaitForEngineWindow());
    EXPECT_EQ(0u, agent.Close());
    printf("garbage data file: %d runs, %d refused and left untouched, %d accepted and rewritten\n", kRuns, refused,
           kRuns - refused);
}

TEST_F(DataFaultsTest, KilledWhileSavingLeavesAWholeDataFile) {
    // As full a database as starts: 98 subscriptions of ten messages each and
    // the ad stream (an agent refuses to start with all 100 slots taken).
    std::string messages, json = R"({"topics": [)";
    for (int m = 1; m <= 10; m++) {
        messages += (m > 1 ? R"(,{"ridMsg": )" : R"({"ridMsg": )") + std::to_string(m) +
                    R"(, "Title": "Headline", "File": "story.html", "Url": "http://127.0.0.1/story.html"})";
    }
    for (int t = 0; t < 98; t++) {
        json += (t ? R"(,{"Title": "News / )" : R"({"Title": "News / )") + std::to_string(t) +
                R"(", "tmLastUpdate": 4000000000, "messages": [)" + messages + "]}";
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
    int interrupted = 0, saved = 0;
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
        interrupted += folder.Exists("Data\\Msg.dat.new");
    }
    printf("killed while closing: %d runs, %d saved whole, %d cut off in the middle of writing, %d before it\n", kRuns,
           saved, interrupted, kRuns - saved - interrupted);
    EXPECT_GT(saved, 0) << "no run got as far as its save";
    EXPECT_LT(saved, kRuns) << "no run was killed before its save ended";
}

// The wrapper script makes an install folder whose data directory is mounted
// read-only (when the machine lets it); nothing can be written there.
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
