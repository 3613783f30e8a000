// Hostile inputs to a real agent: paths handed over by WM_COPYDATA that name
// devices, pipes, directories, huge or endless files; subscription files with
// absurd ranges and over-long lines; ad titles that try to reach files
// outside the data directory or the database itself. Nothing outside the
// data directory may change, and the agent must keep answering throughout.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "agent_process_win.h"
#include "shared/conversation_win.h"
#include "trace_capture_win.h"

namespace {

// The agent answers a display program at once.
bool Answers(HWND engine) {
    DWORD start = GetTickCount();
    Conversation topics(engine, 0);
    return topics.open() && topics.Request(FETCH_FIRST) == 1 && GetTickCount() - start < 2000;
}

// Hands the text over as another program would; false when the agent did
// not take it within five seconds.
bool HandOver(HWND engine, const std::string& text) {
    COPYDATASTRUCT data = {0, static_cast<DWORD>(text.size() + 1), const_cast<char*>(text.c_str())};
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(engine, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000, &result);
}

// Every file under dir with its bytes, by path relative to dir.
void Snapshot(const std::string& dir, const std::string& prefix, std::map<std::string, std::string>& files) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = dir + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Snapshot(path, prefix + name + "\\", files);
        } else {
            std::string bytes;
            HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
            char chunk[4096];
            DWORD got = 0;
            while (file != INVALID_HANDLE_VALUE && ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got)
                bytes.append(chunk, got);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
            files[prefix + name] = bytes;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::map<std::string, std::string> FilesOutsideTheDataDirectory(const InstallFolder& folder) {
    std::map<std::string, std::string> files;
    Snapshot(folder.path(), "", files);
    for (auto it = files.begin(); it != files.end();) {
        // The agent's own: its data directory, and the settings it writes back at exit.
        bool own = it->first.rfind("Data\\", 0) == 0 || it->first == "Tidewell.ini";
        it = own ? files.erase(it) : std::next(it);
    }
    return files;
}

class HostileInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(SharedBlockExists()) << "a global block is left over from elsewhere";
        folder_.Write("Tidewell.ini", "[Tidewell Settings]\r\nMsgPurge=10\r\n");
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << "agent trace:\n" << trace_.Dump();
    }

    TraceCapture trace_;
    InstallFolder folder_{"hostile"};
};

}  // namespace

TEST_F(HostileInputTest, HandedOverPathsOfAnyKindNeverStopTheAgent) {
    // A pipe whose server never writes: reading it would wait for ever.
    HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\tidewell-hostile", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                   4096, 4096, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, pipe);
    folder_.Write("junk.twl", std::string(8 << 20, '\x01'));
    std::string endless = "[General]\r\nConfigVersion=1\r\n[Subscription1]\r\nTitle=News / Endless\r\n"
                          "MsgRange=0-4294967295\r\nHint=" +
                          std::string(1 << 20, 'h') + "\r\n";
    // Keys are spelt as signed numbers: message 4294967295 is "Msg-1".
    for (int i = 1; i <= 3000; i++) endless += "Msg-" + std::to_string(i) + "=x.html \"Many\"\r\n";
    folder_.Write("endless.twl", endless);

    AgentProcess agent(folder_);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_TRUE(engine);
    std::vector<std::string> paths = {
        "\\\\.\\pipe\\tidewell-hostile", "CON", "NUL", "COM1", "CONIN$", "\\\\.\\CON", "\\\\?\\C:\\",
        folder_.path(), folder_.File("missing.twl"), "..\\..\\..\\..\\..\\..\\windows\\win.ini",
        folder_.File("junk.twl"), folder_.File("endless.twl"), "\"" + folder_.File("endless.twl") + "\"", "\"\"",
        std::string(30000, 'p'), "C:\\" + std::string(5000, 'd') + "\\x.twl"};
    for (const std::string& path : paths) {
        SCOPED_TRACE(path.substr(0, 60));
        DWORD start = GetTickCount();
        EXPECT_TRUE(HandOver(engine, path));
        EXPECT_LT(GetTickCount() - start, 5000u);
        EXPECT_TRUE(Answers(engine));
    }
    CloseHandle(pipe);

    // The endless range costs only the lines that are there, and at most ten
    // of them stay.
    ASSERT_TRUE(WaitFor([&] { return trace_.Contains("endless.twl", agent.id()); }, 5000));
    std::string dump = (agent.Close(), folder_.DumpDatabase());
    size_t endlessTopic = dump.find("\"Title\": \"News / Endless\"");
    ASSERT_NE(std::string::npos, endlessTopic) << dump.substr(0, 2000);
    EXPECT_NE(std::string::npos, dump.find("\"ridMsg\": 4294967295", endlessTopic)) << dump.substr(endlessTopic, 3000);
}

TEST_F(HostileInputTest, AdTitlesAndSubscriptionsTouchNothingOutsideTheDataDirectory) {
    TempDir outside("hostile-outside");
    outside.Write("victim.bmp", "keep me");
    folder_.Write("victim.bmp", "keep me too");
    folder_.Write("A0000001.bmp", "not in the data directory");
    folder_.Write("Data\\keep.txt", "the agent's directory, not its file");

    // Ads whose titles (the bitmaps' names once downloaded) point elsewhere,
    // then a second ad-stream file whose range drops every one of them.
    std::string escape = "..\\" + outside.path().substr(outside.path().rfind('\\') + 1) + "\\victim.bmp";
    std::vector<std::string> titles = {outside.File("victim.bmp"), "\\\\?\\" + outside.File("victim.bmp"),
                                       "..\\victim.bmp", "..\\A0000001.bmp", "../victim.bmp", escape,
                                       "C:victim.bmp", "Msg.dat", "keep.txt", "..", ".", "A0000001.bmp\\..\\..\\victim.bmp",
                                       "\\\\.\\pipe\\tidewell-hostile", "..\\Engine.exe"};
    std::string ads = "[General]\r\nConfigVersion=1\r\n[Subscription1]\r\nTitle=AdStream\r\nPurgeOutOfRange=True\r\n"
                      "MsgRange=1-" + std::to_string(titles.size()) + "\r\n";
    for (size_t i = 0; i < titles.size(); i++)
        ads += "Msg" + std::to_string(i + 1) + "=x.bmp \"" + titles[i] + "\"\r\n";
    folder_.Write("ads.twl", ads);
    folder_.Write("drop.twl", "[General]\r\nConfigVersion=1\r\n[Subscription1]\r\nTitle=AdStream\r\n"
                              "PurgeOutOfRange=True\r\nMsgRange=500-501\r\nMsg500=x.bmp \"http://127.0.0.1:1/a.bmp\"\r\n");
    // Subscriptions whose fields look like paths: they are only texts.
    folder_.Write("paths.twl", "[General]\r\nConfigVersion=1\r\n[Subscription1]\r\nTitle=..\\..\\News / ..\\x\r\n"
                               "ConfigUrl=file:///C:/x\r\nMsgBaseUrl=..\\..\\\r\nMsgRange=1-2\r\n"
                               "Msg1=..\\..\\victim.bmp \"..\\victim.bmp\"\r\nMsg2=C:\\victim.bmp \"C:\\victim.bmp\"\r\n");
    std::map<std::string, std::string> before = FilesOutsideTheDataDirectory(folder_);

    AgentProcess agent(folder_);
    HWND engine = agent.WaitForEngineWindow();
    ASSERT_TRUE(engine);
    for (const char* file : {"ads.twl", "paths.twl", "drop.twl"}) ASSERT_TRUE(HandOver(engine, folder_.File(file)));
    PumpMessages(kTickTimeoutMs);  // purges and the ad job run meanwhile
    EXPECT_TRUE(Answers(engine));
    EXPECT_EQ(0u, agent.Close());

    EXPECT_EQ("keep me", outside.Read("victim.bmp"));
    EXPECT_TRUE(before == FilesOutsideTheDataDirectory(folder_)) << "a file outside the data directory changed";
    EXPECT_EQ("the agent's directory, not its file", folder_.Read("Data\\keep.txt"));
    std::string dump = folder_.DumpDatabase();
    EXPECT_NE(std::string::npos, dump.find("\"ridMsg\": 500")) << dump.substr(0, 3000);
    EXPECT_EQ(std::string::npos, dump.find("keep.txt")) << "the dropped ads are gone";
    EXPECT_EQ(std::string::npos, dump.find("\"Msg.dat\""));
}
