// The object server end to end: a real agent, and this test (or other processes) playing the display programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "agent_process_win.h"
#include "shared/conversation_win.h"

namespace {

const char kDatabase[] = R"({"topics": [
  {"Title": "News / Harbour", "messages": [{"ridMsg": 1, "Title": "Ferry late"}, {"ridMsg": 2, "Title": "Tide high"}]},
  {"Title": "Sport / Sailing", "bActive": 0, "messages": [{"ridMsg": 7, "Title": "Regatta"}]},
  {"Title": "Weather / Coast", "messages": [{"ridMsg": 4, "Title": "Fog"}, {"ridMsg": 5, "Title": "Gale"}]},
  {"dwType": 4, "Title": "AdStream", "messages": [{"ridMsg": 9, "Title": "A0000009.bmp"}]}
]})";

class ObjectServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
        CopyProgram(folder_.path(), "twl.exe");
        CopyProgram(folder_.path(), "display_client.exe");
        folder_.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");  // the clock's purge keeps the news
        ASSERT_EQ(0u, folder_.MakeDatabase(kDatabase));
        agent_ = std::make_unique<AgentProcess>(folder_);
        engine_ = agent_->WaitForEngineWindow();
        ASSERT_NE(nullptr, engine_);
    }
    void TearDown() override {
        if (agent_) {
            EXPECT_EQ(0u, agent_->Close());
        }
    }

    InstallFolder folder_{"object-server", InstallFolder::kWithoutDatabase};
    std::unique_ptr<AgentProcess> agent_;
    HWND engine_ = nullptr;
};

}  // namespace

TEST_F(ObjectServerTest, NineteenConversationsPerChannel) {
    ATOM gone = GlobalAddAtomA("Tidewell test atom that goes");
    GlobalDeleteAtom(gone);
    EXPECT_EQ(0, SendRequestObject(engine_, gone, MAKELPARAM(kTopicChannel, 0)));  // and it takes no slot

    std::vector<std::unique_ptr<Conversation>> open;
    for (uint16_t expected = 1; expected <= 19; expected++) {
        open.push_back(std::make_unique<Conversation>(engine_, kTopicChannel));
        ASSERT_EQ(expected, open.back()->handle());
    }
    Conversation twentieth(engine_, kTopicChannel);
    EXPECT_FALSE(twentieth.open());
    Conversation otherChannel(engine_, kMessageChannel);  // the message channel has slots of its own
    EXPECT_EQ(1, otherChannel.handle());

    EXPECT_EQ(1, open[4]->Close());  // handle 5
    Conversation again(engine_, kTopicChannel);
    EXPECT_EQ(5, again.handle());
    EXPECT_EQ(1, again.Close());
    EXPECT_EQ(0, SendRequestObject(engine_, 0, MAKELPARAM(kTopicChannel, 5)));  // closing again: 0
    EXPECT_EQ(0, SendRequestObject(engine_, FETCH_FIRST, MAKELPARAM(kTopicChannel, 5)));
}

// Crashed display programs leave their conversations (and atoms) behind: once
// every slot is taken, those of programs that ended are freed.
TEST_F(ObjectServerTest, AFullChannelReclaimsTheConversationsOfKilledPrograms) {
    const char kReady[] = "Tidewell object server test: a display program holds its conversations";
    HANDLE ready = CreateSemaphoreA(nullptr, 0, 19, kReady);
    ASSERT_NE(nullptr, ready);
    std::vector<ChildProcess> programs;
    for (int i = 0; i < 19; i++)
        programs.emplace_back(folder_.File("display_client.exe"), std::string("--abandon \"") + kReady + "\"");
    for (int i = 0; i < 19; i++) ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 60000)) << i << " opened";
    CloseHandle(ready);
    for (uint16_t channel : {kTopicChannel, kMessageChannel})
        EXPECT_FALSE(Conversation(engine_, channel).open()) << "a slot held by a living program was taken";

    std::vector<std::unique_ptr<Conversation>> mine;
    auto openAll = [&](int count) {
        for (uint16_t channel : {kTopicChannel, kMessageChannel}) {
            for (int i = 0; i < count; i++) {
                mine.push_back(std::make_unique<Conversation>(engine_, channel));
                EXPECT_TRUE(mine.back()->open()) << "channel " << channel << ", conversation " << i + 1;
            }
        }
    };
    for (int i = 0; i < 17; i++) programs[i].Kill();
    openAll(17);
    EXPECT_FALSE(Conversation(engine_, kTopicChannel).open()) << "the two living programs lost a conversation";
    for (int i = 17; i < 19; i++) programs[i].Kill();
    openAll(2);  // 19 on each channel from this one program
    Conversation& lastTopics = *mine[mine.size() - 3];
    ASSERT_TRUE(lastTopics.open());
    EXPECT_EQ(1, lastTopics.Request(FETCH_FIRST));  // and it is served
    EXPECT_STREQ("News / Harbour", lastTopics.topics().topic.Title);
}

// The ad stream is left out; its views are counted where fetching is.
TEST_F(ObjectServerTest, ListingsFollowTheDisplayOrder) {
    const char* cases[][2] = {
        {"topics",
         "  0  News / Harbour  (subscription, on, 2 messages)\r\n"
         "  1  Sport / Sailing  (subscription, off, 1 messages)\r\n"
         "  2  Weather / Coast  (subscription, on, 2 messages)\r\n3 topics"},
        {"messages",
         "News / Harbour\r\n  0:1  Ferry late  ()\r\n  0:2  Tide high  ()\r\n"
         "Weather / Coast\r\n  2:4  Fog  ()\r\n  2:5  Gale  ()\r\n4 messages"},
        {"follow 2",
         "  0:1  Ferry late  ()\r\n  0:2  Tide high  ()\r\n  2:4  Fog  ()\r\n  2:5  Gale  ()\r\n"
         "4 headlines shown."},
    };
    for (auto& c : cases) {
        std::string output;
        EXPECT_EQ(0u, RunCapturingOutput(folder_.File("twl.exe"), c[0], kStartTimeoutMs, output)) << output;
        EXPECT_NE(std::string::npos, output.find(c[1])) << output;
    }
}

TEST_F(ObjectServerTest, LoadAndAnyMessageAreServedAndVanishedProgramsAreReleasedAtExit) {
    // The display programs ask until a tick has come, however fast or slow the
    // machine: a clock that only ticks once they are done would pass any fixed
    // number of requests on a slow machine, and a fast one finishes them within
    // a clock period.
    const char kStop[] = "Tidewell object server test: the clock ticked under load";
    HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, kStop);
    ASSERT_NE(nullptr, stop);
    std::vector<ChildProcess> clients;
    for (int i = 0; i < 8; i++)
        clients.emplace_back(folder_.File("display_client.exe"), std::string("100000 \"") + kStop + "\"");
    GlobalBlockView block;
    block.config().ScreenSaverOn = 0xFFFFFFFF;
    bool tickedUnderLoad = false;
    WaitFor(
        [&] {
            bool loaded =
                std::all_of(clients.begin(), clients.end(), [](ChildProcess& c) { return c.Wait(0) == STILL_ACTIVE; });
            tickedUnderLoad = loaded && block.config().ScreenSaverOn != 0xFFFFFFFF;
            return tickedUnderLoad || !loaded;
        },
        240000, 100);
    SetEvent(stop);
    EXPECT_TRUE(tickedUnderLoad) << "the clock stops while the display programs are served";
    for (ChildProcess& client : clients) EXPECT_EQ(0u, client.Wait(240000));
    CloseHandle(stop);

    std::mt19937 random(11);
    for (int i = 0; i < 3000; i++) {
        WPARAM wParam = random() % 4 ? random() % 12 : random();
        SendRequestObject(engine_, wParam, MAKELPARAM(random() % 3, random() % 3 ? random() % 24 : random() & 0xFFFF));
    }
    block.config().ScreenSaverOn = 0xFFFFFFFF;  // the clock still runs after them
    EXPECT_TRUE(WaitFor([&] { return block.config().ScreenSaverOn != 0xFFFFFFFF; }, kTickTimeoutMs));

    std::string printed;
    EXPECT_EQ(STILL_ACTIVE, RunCapturingOutput(folder_.File("display_client.exe"), "--abandon", 5000, printed));
    unsigned atom = 0, handle = 0;
    ASSERT_EQ(2, sscanf(printed.c_str(), "%u %u", &atom, &handle)) << printed;
    EXPECT_NE(0u, handle);
    char name[64];
    snprintf(name, sizeof name, kConversationNameFormat, static_cast<unsigned long>(atom));
    HANDLE held = OpenFileMappingA(FILE_MAP_READ, FALSE, name);
    EXPECT_NE(nullptr, held) << "the agent no longer holds the vanished program's conversation";
    if (held) CloseHandle(held);

    Conversation afterwards(engine_, kMessageChannel);  // the others are served as before
    EXPECT_TRUE(afterwards.open());
    EXPECT_NE(handle, afterwards.handle());

    EXPECT_EQ(0u, agent_->Close());
    agent_.reset();
    EXPECT_EQ(nullptr, OpenFileMappingA(FILE_MAP_READ, FALSE, name)) << "released when the agent exited";
}
