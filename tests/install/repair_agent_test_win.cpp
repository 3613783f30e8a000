// The repair end to end, with real programs: an agent refuses a damaged data
// file and ends with exit code 3, starts install.exe beside it, which sets
// the file aside, keeps what still reads, starts the agent again and tells
// the user; the new agent serves the kept news.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "agent_process_win.h"
#include "shared/conversation_win.h"
#include "shared/names.h"

namespace {

constexpr char kBoxTitle[] = "Tidewell Repair";
constexpr size_t kTopic2 = 4768 + 4 + 3612 + 4 + 2 * 1452;  // the second topic record
constexpr size_t kTopic2Count = kTopic2 + 3612;             // and its message count

const char kNews[] = R"({"topics": [
    {"Title": "Harbour / Tides", "messages": [{"ridMsg": 1, "Title": "Spring tide"}, {"ridMsg": 2, "Title": "Neap tide"}]},
    {"Title": "Harbour / Ferries", "messages": [{"ridMsg": 4, "Title": "Late ferry"}, {"ridMsg": 5, "Title": "No ferry"}]}
]})";

// The user in front of the repair's message: its text, after pressing OK;
// empty when no message came.
std::string AnswerBox(DWORD timeoutMs) {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindWindowA("#32770", kBoxTitle)) != nullptr; }, timeoutMs);
    if (!box) return "";
    char text[512] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // a message box's text control
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return text;
}

// The agent the repair started: not a child of the test, so it is ended by
// hand when a test fails before closing it.
class RestartedAgent {
public:
    ~RestartedAgent() {
        if (!window_) return;
        DWORD id = 0;
        GetWindowThreadProcessId(window_, &id);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process) return;
        if (PostMessageA(window_, WM_CLOSE, 0, 0) && WaitForSingleObject(process, kExitTimeoutMs) == WAIT_OBJECT_0) {
            CloseHandle(process);
            return;
        }
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
    // The engine window once the agent has published it in the shared block.
    HWND Wait(DWORD timeoutMs) {
        WaitFor(
            [&] {
                GlobalBlockView block;
                return (window_ = block.EngineWindow()) != nullptr;
            },
            timeoutMs);
        return window_;
    }
    // Closes it as the user does; true once it has gone and the block with it.
    bool Close() {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        bool gone = WaitFor([&] { return !IsWindow(window_) && !SharedBlockExists(); }, kExitTimeoutMs);
        if (gone) window_ = nullptr;
        return gone;
    }

private:
    HWND window_ = nullptr;
};

class RepairAgentTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere"; }

    // An install folder with the agent, the repair and the two topics of news.
    void MakeFolder(InstallFolder& folder) {
        CopyProgram(folder.path(), "install.exe");
        ASSERT_EQ(0u, folder.MakeDatabase(kNews));
        good_ = folder.Read("Data\\Msg.dat");
    }

    // The set-aside file of the data directory, or "" when there is none.
    static std::string AsideName(const InstallFolder& folder) {
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA(folder.File("Data\\Msg-*.dat").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) return "";
        FindClose(find);
        return entry.cFileName;
    }

    // Damages the data file, starts the agent and follows the repair through;
    // the repair's message to the user.
    std::string RunRepair(InstallFolder& folder, const std::string& damaged, RestartedAgent& restarted) {
        folder.Write("Data\\Msg.dat", damaged);
        AgentProcess agent(folder);
        EXPECT_EQ(3u, agent.Wait(kStartTimeoutMs)) << "the agent refuses the file";
        std::string message = AnswerBox(kStartTimeoutMs);
        EXPECT_TRUE(restarted.Wait(kStartTimeoutMs)) << "no agent after the repair";
        EXPECT_EQ(damaged, folder.Read("Data\\" + AsideName(folder))) << "the damaged file is kept";
        return message;
    }

    // What the restarted agent saved when it was closed.
    static std::string Saved(RestartedAgent& restarted, const InstallFolder& folder) {
        EXPECT_TRUE(restarted.Close());
        return folder.DumpDatabase();
    }

    std::string good_;
    std::mt19937 random_{20261206};
};

TEST_F(RepairAgentTest, ACutFileKeepsTheWholeTopicsBeforeTheCut) {
    InstallFolder folder("repair-cut", InstallFolder::kWithoutDatabase);
    MakeFolder(folder);
    RestartedAgent restarted;
    std::string message = RunRepair(folder, good_.substr(0, kTopic2 + 100), restarted);
    EXPECT_EQ(
        "Tidewell repaired its damaged news database: it kept 1 topic and 2 messages. "
        "The damaged file was kept as Data\\" +
            AsideName(folder) + ".",
        message);
    {
        Conversation topics(restarted.Wait(0), 0);
        ASSERT_TRUE(topics.open());
        ASSERT_EQ(1, topics.Request(FETCH_FIRST)) << "the kept news is served";
        EXPECT_STREQ("Harbour / Tides", topics.topics().topic.Title);
    }
    std::string kept = Saved(restarted, folder);
    EXPECT_NE(std::string::npos, kept.find("Neap tide")) << kept;
    EXPECT_EQ(std::string::npos, kept.find("Ferries")) << kept;
}

TEST_F(RepairAgentTest, AChangedCountKeepsTheTopicsBeforeIt) {
    InstallFolder folder("repair-count", InstallFolder::kWithoutDatabase);
    MakeFolder(folder);
    std::string damaged = good_;
    damaged[kTopic2Count + 2] = static_cast<char>(1 + random_() % 255);  // tens of thousands of messages
    RestartedAgent restarted;
    std::string message = RunRepair(folder, damaged, restarted);
    EXPECT_EQ(0u, message.find("Tidewell repaired its damaged news database: it kept 2 topics")) << message;
    std::string kept = Saved(restarted, folder);
    EXPECT_NE(std::string::npos, kept.find("Spring tide")) << kept;
    EXPECT_NE(std::string::npos, kept.find("Harbour / Ferries")) << kept;
}

// A file that reads whole but that start-up refuses: a hundred topics leave
// no slot for the ad stream. The repair keeps what the agent takes.
TEST_F(RepairAgentTest, AFullArrayWithoutTheAdStreamKeepsTheTopicsThatFit) {
    InstallFolder folder("repair-full", InstallFolder::kWithoutDatabase);
    CopyProgram(folder.path(), "install.exe");
    std::string json = R"({"topics": [)";
    for (int n = 0; n < 100; n++) {
        json += std::string(n ? ", " : "") + R"({"Title": "Many / )" + std::to_string(n) +
                R"(", "messages": [{"ridMsg": 1, "Title": "Story )" + std::to_string(n) + R"("}]})";
    }
    ASSERT_EQ(0u, folder.MakeDatabase(json + "]}"));
    RestartedAgent restarted;
    std::string message = RunRepair(folder, folder.Read("Data\\Msg.dat"), restarted);
    EXPECT_EQ(
        "Tidewell's news database held more topics than it can take: it kept 99 topics and 99 messages and "
        "left out 1 topic with 1 message that did not fit. The whole file was kept as Data\\" +
            AsideName(folder) + ".",
        message);
    std::string kept = Saved(restarted, folder);
    EXPECT_NE(std::string::npos, kept.find("\"Title\": \"Story 98\"")) << kept;
    EXPECT_EQ(std::string::npos, kept.find("Many / 99")) << kept;
    EXPECT_NE(std::string::npos, kept.find("\"Title\": \"AdStream\"")) << "the agent ran and saved: " << kept;
}

TEST_F(RepairAgentTest, GarbageLeavesAnEmptyDatabaseAndTheUserIsToldSo) {
    InstallFolder folder("repair-garbage", InstallFolder::kWithoutDatabase);
    MakeFolder(folder);
    std::string garbage(6000 + random_() % 20000, '\0');
    for (char& c : garbage) c = static_cast<char>(random_());
    RestartedAgent restarted;
    std::string message = RunRepair(folder, garbage, restarted);
    EXPECT_EQ(0u, message.find("Tidewell could not read anything from its damaged news database")) << message;
    std::string kept = Saved(restarted, folder);
    EXPECT_EQ(std::string::npos, kept.find("Harbour")) << kept;
    EXPECT_NE(std::string::npos, kept.find("AdStream")) << "the agent ran and saved: " << kept;
}

// Without a damaged file the repair only starts the agent again, and only
// once: a second call right after it means the restart did not help.
TEST_F(RepairAgentTest, AnIntactFileOnlyRestartsTheAgentOnce) {
    InstallFolder folder("repair-intact", InstallFolder::kWithoutDatabase);
    MakeFolder(folder);
    {
        RestartedAgent restarted;
        ChildProcess repair(folder.File("install.exe"), "");
        EXPECT_EQ(0u, repair.Wait(kStartTimeoutMs)) << "no message waits for the user";
        ASSERT_TRUE(restarted.Wait(kStartTimeoutMs));
        EXPECT_TRUE(restarted.Close());
    }
    ChildProcess again(folder.File("install.exe"), "");
    EXPECT_EQ("Tidewell Agent could not start, and starting it again did not help.", AnswerBox(kStartTimeoutMs));
    EXPECT_EQ(1u, again.Wait(kExitTimeoutMs));
    EXPECT_FALSE(FindWindowA(kEngineWindowClass, nullptr)) << "no second restart";
    EXPECT_EQ("", AsideName(folder));
}

}  // namespace
