// Downloads into files: the plain body, and the INI and HTML source headers.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "net_fixture_win.h"

namespace {

using HttpFileTest = NetTest;

// Downloads from the server (as a proxy when the host is another) and tells
// "steps|the file's bytes".
template <typename Base>
std::string Download(HWND owner, const ScriptServer& server, const char* host, const char* path) {
    TempDir dir("httpfile");
    WatchedFile<Base> download(owner);
    bool direct = strcmp(host, "127.0.0.1") == 0;
    if (!direct) download.SetProxy("127.0.0.1", server.port());
    std::string bytes = download.Fetch(dir, "file", host, path, direct ? server.port() : 80);
    EXPECT_EQ(nullptr, download.file);  // closed when complete
    return download.steps + "|" + bytes;
}

std::string Address(const ScriptServer& server, const char* path) {
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
}

}  // namespace

TEST_F(HttpFileTest, SourceHeadersAndBodiesInTheirLayouts) {
    std::string body;
    for (int i = 0; i < 2500; i++) body += static_cast<char>('a' + i % 26);
    ScriptServer hello({{"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello"}}), empty({{"HTTP/1.0 200 OK\r\n\r\n"}}),
        big(ScriptServer::InPieces("HTTP/1.0 200 OK\r\n\r\n" + body, 300, 1));
    const std::string helloIni = "\r\n; HTTP/1.0 200 OK\r\n; Content-Length: 5\r\n\r\nhello";
    struct {
        std::string (*download)(HWND, const ScriptServer&, const char*, const char*);
        const ScriptServer& server;
        const char* host;
        const char* path;
        std::string expected;
    } cases[] = {
        {Download<CHttpIniFile>, hello, "127.0.0.1", "/feed.twl", "end 5|; " + Address(hello, "/feed.twl") + helloIni},
        {Download<CHttpHtmlFile>, hello, "127.0.0.1", "/q.csv",
         "end 5|<!--\r\n" + Address(hello, "/q.csv") + "\r\nHTTP/1.0 200 OK\r\nContent-Length: 5\r\n-->\r\nhello"},
        // Through a proxy the source header names the target.
        {Download<CHttpIniFile>, hello, "news.example", "/a.twl", "end 5|; http://news.example:80/a.twl" + helloIni},
        // Without a body the source header is never ended.
        {Download<CHttpIniFile>, empty, "127.0.0.1", "/e", "|; " + Address(empty, "/e") + "\r\n; HTTP/1.0 200 OK\r\n"},
        {Download<CHttpHtmlFile>, empty, "127.0.0.1", "/e",
         "|<!--\r\n" + Address(empty, "/e") + "\r\nHTTP/1.0 200 OK\r\n"},
        // The body is written in chunks of 999 bytes, whatever pieces it arrived in.
        {Download<CHttpIniFile>, big, "127.0.0.1", "/big",
         "end 999 999 502|; " + Address(big, "/big") + "\r\n; HTTP/1.0 200 OK\r\n\r\n" + body},
        {Download<CHttpFile>, big, "127.0.0.1", "/A0000001.bmp", "end 999 999 502|" + body},  // a bitmap: no header
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.expected, c.download(owner_, c.server, c.host, c.path));
    }
}

TEST_F(HttpFileTest, ExistingFileIsEmptiedEvenWhenTheRequestFails) {
    TempDir dir("httpfile-fail");
    dir.Write("Config.twl", "the previous subscription file");
    uint16_t refused = RefusingPort();
    {
        WatchedFile<CHttpIniFile> ini(owner_);
        ASSERT_EQ(1, ini.Get("127.0.0.1", "/x", refused, dir.File("Config.twl").c_str(), 0));
        ASSERT_TRUE(WaitFor([&] { return ini.iHttpState == HTTPSTATE_IDLE; }, kNetTimeoutMs));
        EXPECT_NE(nullptr, ini.file);  // a failed connection leaves the file to the destructor
    }
    EXPECT_EQ("; http://127.0.0.1:" + std::to_string(refused) + "/x\r\n", dir.Read("Config.twl"));

    WatchedFile<CHttpIniFile> ini(owner_);
    EXPECT_EQ(0, ini.Get("", "/y", 80, dir.File("Config.twl").c_str(), 0));  // refused at once
    EXPECT_EQ(nullptr, ini.file);
    EXPECT_EQ("; http://:80/y\r\n", dir.Read("Config.twl"));
    EXPECT_EQ(0, ini.Get("h", "/y", 80, dir.File("no\\such\\dir\\f.twl").c_str(), 0));
}

TEST_F(HttpFileTest, DestroyedMidTransferClosesTheFileWithoutTheUsersHandler) {
    TempDir dir("httpfile-destroy");
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\npart"}}, ScriptServer::kStall);
    auto ini = std::make_unique<WatchedFile<CHttpIniFile>>(owner_);
    ASSERT_EQ(1, ini->Get("127.0.0.1", "/slow", server.port(), dir.File("slow.twl").c_str(), 0));
    ASSERT_TRUE(WaitFor([&] { return ini->iHttpState == HTTPSTATE_BODY; }, kNetTimeoutMs));
    PumpMessages(200);
    int completionsBefore = gFileCompletions;
    ini.reset();  // the job's override is gone before the file is closed
    EXPECT_EQ(completionsBefore, gFileCompletions);
    HANDLE reopened = CreateFileA(dir.File("slow.twl").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, reopened) << "the file is still held open";
    CloseHandle(reopened);
    EXPECT_EQ("; " + Address(server, "/slow") + "\r\n; HTTP/1.0 200 OK\r\n\r\npart", dir.Read("slow.twl"));
}
