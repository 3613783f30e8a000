// One repair end to end with real programs; what is kept of each kind of damage, and the
// damaged file set aside as it was, are repair_test's.
#include <gtest/gtest.h>

#include <string>

#include "agent_process_win.h"
#include "base/scoped_win.h"
#include "shared/conversation_win.h"
#include "shared/names.h"
#include "trace_capture_win.h"

namespace {

constexpr char kBoxTitle[] = "Tidewell Repair";
constexpr size_t kTopic2 = 4768 + 4 + 3612 + 4 + 2 * 1452;  // the second topic record

const char kNews[] = R"({"topics": [
    {"Title": "Harbour / Tides", "messages": [{"ridMsg": 1, "Title": "Spring tide"}, {"ridMsg": 2, "Title": "Neap tide"}]},
    {"Title": "Harbour / Ferries", "messages": [{"ridMsg": 4, "Title": "Late ferry"}, {"ridMsg": 5, "Title": "No ferry"}]}
]})";

// The repair's message after pressing OK; empty when none came.
std::string AnswerBox(DWORD timeoutMs) {
    HWND box = nullptr;
    WaitFor([&] { return (box = FindWindowA("#32770", kBoxTitle)) != nullptr; }, timeoutMs);
    if (!box) return "";
    char text[512] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // a message box's text control
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    return text;
}

// The agent the repair started: not a child of the test, so ended by hand on failure.
struct RestartedAgent {
    HWND window = nullptr;
    ~RestartedAgent() {
        DWORD id = 0;
        if (!window || !GetWindowThreadProcessId(window, &id)) return;
        ScopedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        PostMessageA(window, WM_CLOSE, 0, 0);
        if (process && WaitForSingleObject(process.get(), kExitTimeoutMs) != WAIT_OBJECT_0) {
            TerminateProcess(process.get(), 1);
        }
    }
    // The engine window once the agent has published it in the shared block.
    HWND Wait(DWORD timeoutMs) {
        WaitFor([&] { return (window = GlobalBlockView().EngineWindow()) != nullptr; }, timeoutMs);
        return window;
    }
    // Closes it as the user does; true once it has gone and the block with it.
    bool Close() {
        PostMessageA(window, WM_CLOSE, 0, 0);
        bool gone = WaitFor([&] { return !IsWindow(window) && !SharedBlockExists(); }, kExitTimeoutMs);
        if (gone) window = nullptr;
        return gone;
    }
};

class RepairAgentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
        CopyProgram(folder_.path(), "install.exe");
        ASSERT_EQ(0u, folder_.MakeDatabase(kNews));
    }

    // The set-aside file of the data directory, or "" when there is none.
    std::string AsideName() const {
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA(folder_.File("Data\\Msg-*.dat").c_str(), &entry);
        if (find == INVALID_HANDLE_VALUE) return "";
        FindClose(find);
        return entry.cFileName;
    }

    InstallFolder folder_{"repair", InstallFolder::kWithoutDatabase};
};

TEST_F(RepairAgentTest, ACutFileKeepsTheWholeTopicsBeforeTheCutAndTheAgentIsRestartedOnce) {
    std::string damaged = folder_.Read("Data\\Msg.dat").substr(0, kTopic2 + 100);
    folder_.Write("Data\\Msg.dat", damaged);
    RestartedAgent restarted;
    TraceCapture trace;
    AgentProcess agent(folder_);
    EXPECT_EQ(3u, agent.Wait(kStartTimeoutMs)) << "the agent refuses the file";
    EXPECT_TRUE(trace.WaitFor("WinMain(): Exception Database::Init() Failed", agent.id(), 5000));
    EXPECT_EQ(
        "Tidewell repaired its damaged news database: it kept 1 topic and 2 messages. "
        "The damaged file was kept as Data\\" +
            AsideName() + ".",
        AnswerBox(kStartTimeoutMs));
    {
        Conversation topics(restarted.Wait(kStartTimeoutMs), 0);
        ASSERT_TRUE(topics.open()) << "no agent after the repair";
        ASSERT_EQ(1, topics.Request(FETCH_FIRST)) << "the kept news is served";
        EXPECT_STREQ("Harbour / Tides", topics.topics().topic.Title);
    }
    EXPECT_TRUE(restarted.Close());

    // A second call right after a restart means the restart did not help.
    ChildProcess again(folder_.File("install.exe"), "");
    EXPECT_EQ("Tidewell Agent could not start, and starting it again did not help.", AnswerBox(kStartTimeoutMs));
    EXPECT_EQ(1u, again.Wait(kExitTimeoutMs));
    EXPECT_FALSE(FindWindowA(kEngineWindowClass, nullptr)) << "no second restart";
}

}  // namespace
