// Hostile inputs to a real agent: handed-over paths, subscription files and ad
// titles. Nothing outside the data directory may change, and the agent must
// keep answering throughout.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "agent_process_win.h"
#include "shared/conversation_win.h"
#include "shared/names.h"
#include "process_win.h"
#include "trace_capture_win.h"

namespace {

// The agent answers a display program at once.
bool Answers(HWND engine) {
    DWORD start = GetTickCount();
    Conversation topics(engine, kTopicChannel);
    return topics.open() && topics.Request(FETCH_FIRST) == 1 && GetTickCount() - start < 2000;
}

// Every file of the folder but the agent's own (its data directory, and the
// settings it writes back at exit), with its bytes.
std::map<std::string, std::string> FilesOutsideTheDataDirectory(const InstallFolder& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.path())) {
        std::string name = entry.path().string().substr(folder.path().size() + 1);
        if (entry.is_regular_file() && name.rfind("Data\\", 0) != 0 && name != "Tidewell.ini") {
            files[name] = folder.Read(name);
        }
    }
    return files;
}

std::string Subscription(const std::string& title, const std::string& rest) {
    return "[General]\r\nConfigVersion=1\r\n[Subscription1]\r\nTitle=" + title + "\r\n" + rest;
}

// Hands a path over as another program does; true when the agent took it in time.
bool HandOver(HWND engine, const std::string& path) {
    COPYDATASTRUCT data = {0, static_cast<DWORD>(path.size() + 1), const_cast<char*>(path.c_str())};
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(engine, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000, &result);
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere"; }
};

}  // namespace

TEST_F(HostileInput, NothingHandedOverStopsTheAgentOrTouchesFilesOutsideItsDataDirectory) {
    InstallFolder folder("hostile");
    folder.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");
    // A pipe whose server never writes: reading it would wait for ever.
    HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\tidewell-hostile", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                   4096, 4096, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    folder.Write("junk.twl", std::string(8 << 20, '\x01'));
    std::string endless =
        Subscription("News / Endless", "MsgRange=0-4294967295\r\nHint=" + std::string(1 << 20, 'h') + "\r\n");
    // Keys are spelt as signed numbers: message 4294967295 is "Msg-1".
    for (int i = 1; i <= 3000; i++) endless += "Msg-" + std::to_string(i) + "=x.html \"Many\"\r\n";
    folder.Write("endless.twl", endless);

    // Ads whose titles (the bitmaps' names once downloaded) point elsewhere,
    // then a second ad-stream file whose range drops every one of them.
    TempDir outside("hostile-outside");
    outside.Write("victim.bmp", "keep me");
    folder.Write("victim.bmp", "keep me too");
    folder.Write("A0000001.bmp", "not in the data directory");
    folder.Write("Data\\keep.txt", "the agent's directory, not its file");
    // (The ad job's own rules for such titles are shown without an agent in purge_test.)
    std::vector<std::string> titles = {outside.File("victim.bmp"), "..\\A0000001.bmp",
                                       "A0000001.bmp\\..\\..\\victim.bmp", "Msg.dat", "keep.txt"};
    std::string ads =
        Subscription("AdStream", "PurgeOutOfRange=True\r\nMsgRange=1-" + std::to_string(titles.size()) + "\r\n");
    for (size_t i = 0; i < titles.size(); i++)
        ads += "Msg" + std::to_string(i + 1) + "=x.bmp \"" + titles[i] + "\"\r\n";
    folder.Write("ads.twl", ads);
    folder.Write(
        "drop.twl",
        Subscription("AdStream",
                     "PurgeOutOfRange=True\r\nMsgRange=500-501\r\nMsg500=x.bmp \"http://127.0.0.1:1/a.bmp\"\r\n"));
    // Subscriptions whose fields look like paths: they are only texts.
    folder.Write(
        "paths.twl",
        Subscription("..\\..\\News / ..\\x",
                     "ConfigUrl=file:///C:/x\r\nMsgBaseUrl=..\\..\\\r\nMsgRange=1-2\r\n"
                     "Msg1=..\\..\\victim.bmp \"..\\victim.bmp\"\r\nMsg2=C:\\victim.bmp \"C:\\victim.bmp\"\r\n"));
    std::map<std::string, std::string> before = FilesOutsideTheDataDirectory(folder);

    AgentProcess agent(folder);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_TRUE(engine);
    std::vector<std::string> paths = {"\\\\.\\pipe\\tidewell-hostile",
                                      "CON",
                                      "COM1",
                                      "CONIN$",
                                      "\\\\?\\C:\\",
                                      folder.path(),
                                      "..\\..\\..\\..\\..\\..\\windows\\win.ini",
                                      folder.File("junk.twl"),
                                      folder.File("endless.twl"),
                                      "\"" + folder.File("endless.twl") + "\"",
                                      "\"\"",
                                      "C:\\" + std::string(30000, 'd') + "\\x.twl",
                                      folder.File("ads.twl"),
                                      folder.File("paths.twl"),
                                      folder.File("drop.twl")};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path.substr(0, 60));
        EXPECT_TRUE(HandOver(engine, path));
        EXPECT_TRUE(Answers(engine));
    }
    CloseHandle(pipe);
    PumpMessages(kTickTimeoutMs);  // purges and the ad job run meanwhile
    EXPECT_TRUE(Answers(engine));
    EXPECT_EQ(0u, agent.Close());

    EXPECT_EQ("keep me", outside.Read("victim.bmp"));
    EXPECT_TRUE(before == FilesOutsideTheDataDirectory(folder)) << "a file outside the data directory changed";
    EXPECT_EQ("the agent's directory, not its file", folder.Read("Data\\keep.txt"));
    std::string dump = folder.DumpDatabase();
    // The endless range costs only the lines that are there, and the newest stay.
    size_t endlessTopic = dump.find("\"Title\": \"News / Endless\"");
    ASSERT_NE(std::string::npos, endlessTopic) << dump.substr(0, 2000);
    EXPECT_NE(std::string::npos, dump.find("\"ridMsg\": 4294967295", endlessTopic)) << dump.substr(endlessTopic, 3000);
    EXPECT_NE(std::string::npos, dump.find("\"ridMsg\": 500")) << dump.substr(0, 3000);
    EXPECT_EQ(std::string::npos, dump.find("keep.txt")) << "the dropped ads are gone";
    EXPECT_EQ(std::string::npos, dump.find("\"Msg.dat\""));
}

// Any local program may write the global block while the agent runs: the
// agent's folders come from its own path all the same, and the record's texts
// are read within their fields. (An agent attaching to a block made first by
// another program is global_block_test's.)
TEST_F(HostileInput, TheSharedBlockNeverDecidesTheAgentsFolders) {
    InstallFolder folder("hostile-block"), decoy("hostile-decoy");
    folder.AddStandIn("Glancer.exe");
    decoy.AddStandIn("Glancer.exe");
    std::string decoyDatabase = decoy.Read("Data\\Msg.dat");
    {
        AgentProcess agent(folder);
        HWND engine = agent.WaitForEngineWindow();
        ASSERT_TRUE(engine);
        GlobalBlockView block;
        CConfigData& record = block.config();
        // Left without a terminator while the display program is started, then naming the decoy at exit.
        memset(record.InstallDir, 'x', sizeof record.InstallDir + sizeof record.DataDir);
        PostMessageA(engine, kTrayCallbackMessage, 0, WM_LBUTTONDBLCLK);
        EXPECT_TRUE(WaitFor([&] { return folder.StandInLog().find("Glancer") != std::string::npos; }, 10000));
        strcpy(record.InstallDir, decoy.path().c_str());
        strcpy(record.DataDir, decoy.File("Data").c_str());
        EXPECT_EQ(0u, agent.Close());
    }
    EXPECT_EQ("", decoy.StandInLog());
    EXPECT_FALSE(decoy.Exists("Tidewell.ini"));
    EXPECT_TRUE(decoyDatabase == decoy.Read("Data\\Msg.dat")) << "the decoy's database was written";
    EXPECT_TRUE(folder.Exists("Tidewell.ini"));

    // A block whose pages are only reserved cannot be read: refused, not crashed on.
    TraceCapture trace;
    HANDLE planted = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | SEC_RESERVE, 0,
                                        kGlobalMappingSize, kGlobalMappingName);
    ASSERT_NE(nullptr, planted);
    AgentProcess refused(folder);
    EXPECT_EQ(3u, refused.Wait(kExitTimeoutMs));
    EXPECT_TRUE(trace.WaitFor("GlobalInit(): Fatal Error - Could not attach to shared memory", refused.id(), 5000));
    EXPECT_TRUE(trace.WaitFor("WinMain(): Exception CommonInit() Failed", refused.id(), 5000));
    CloseHandle(planted);
}
