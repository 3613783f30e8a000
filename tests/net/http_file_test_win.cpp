// Downloads into files: the plain body, and the INI and HTML source headers.
#include <gtest/gtest.h>

#include <memory>

#include "net/http_file_win.h"
#include "net_fixture_win.h"
#include "temp_dir.h"

namespace {

using HttpFileTest = NetTest;

// Notes the order of the source header's end and the body's writes.
template <typename Base>
class WatchedFile : public Base {
public:
    explicit WatchedFile(HWND ownerWindow) : Base(ownerWindow, WM_USER + 1) {}
    void WriteHeaderEnd() override {
        steps.push_back("end");
        Base::WriteHeaderEnd();
    }
    void OnData(const char* data, int length) override {
        Base::OnData(data, length);
        steps.push_back(std::to_string(length));
    }
    void OnFileComplete() override {
        complete++;
        completions++;
    }
    static int completions;
    bool WaitComplete() {
        return WaitFor([&] { return complete > 0 || this->iHttpState == HTTPSTATE_IDLE; }, kNetTimeoutMs);
    }
    std::vector<std::string> steps;
    int complete = 0;
};

template <typename Base>
int WatchedFile<Base>::completions = 0;

std::string Address(const ScriptServer& server, const char* path) {
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
}

}  // namespace

TEST_F(HttpFileTest, IniAndHtmlSourceHeaders) {
    TempDir dir("httpfile");
    ScriptServer server({{"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello"}});
    {
        WatchedFile<CHttpIniFile> ini(owner_);
        ASSERT_EQ(1, ini.Get("127.0.0.1", "/feed.twl", server.port(), dir.File("Config.twl").c_str(), 0));
        ASSERT_TRUE(WaitFor([&] { return ini.complete == 1; }, kNetTimeoutMs));
        EXPECT_EQ(nullptr, ini.file);
    }
    EXPECT_EQ("; " + Address(server, "/feed.twl") + "\r\n; HTTP/1.0 200 OK\r\n; Content-Length: 5\r\n\r\nhello",
              dir.Read("Config.twl"));
    {
        WatchedFile<CHttpHtmlFile> html(owner_);
        ASSERT_EQ(1, html.Get("127.0.0.1", "/q.csv", server.port(), dir.File("YStock.html").c_str(), 0));
        ASSERT_TRUE(WaitFor([&] { return html.complete == 1; }, kNetTimeoutMs));
    }
    EXPECT_EQ("<!--\r\n" + Address(server, "/q.csv") + "\r\nHTTP/1.0 200 OK\r\nContent-Length: 5\r\n-->\r\nhello",
              dir.Read("YStock.html"));
}

TEST_F(HttpFileTest, EmptyBodyLeavesTheSourceHeaderOpen) {
    TempDir dir("httpfile-empty");
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\n"}});
    {
        WatchedFile<CHttpIniFile> ini(owner_);
        ASSERT_EQ(1, ini.Get("127.0.0.1", "/e", server.port(), dir.File("a.twl").c_str(), 0));
        ASSERT_TRUE(WaitFor([&] { return ini.complete == 1; }, kNetTimeoutMs));
        WatchedFile<CHttpHtmlFile> html(owner_);
        ASSERT_EQ(1, html.Get("127.0.0.1", "/e", server.port(), dir.File("a.html").c_str(), 0));
        ASSERT_TRUE(WaitFor([&] { return html.complete == 1; }, kNetTimeoutMs));
    }
    EXPECT_EQ("; " + Address(server, "/e") + "\r\n; HTTP/1.0 200 OK\r\n", dir.Read("a.twl"));
    EXPECT_EQ("<!--\r\n" + Address(server, "/e") + "\r\nHTTP/1.0 200 OK\r\n", dir.Read("a.html"));
}

TEST_F(HttpFileTest, LongBodyIsWrittenInChunksAfterOneHeaderEnd) {
    TempDir dir("httpfile-long");
    std::string body(2500, 'z');
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\n" + body}});
    WatchedFile<CHttpIniFile> ini(owner_);
    ASSERT_EQ(1, ini.Get("127.0.0.1", "/big", server.port(), dir.File("big.twl").c_str(), 0));
    ASSERT_TRUE(WaitFor([&] { return ini.complete == 1; }, kNetTimeoutMs));
    EXPECT_EQ((std::vector<std::string>{"end", "999", "999", "502"}), ini.steps);
    EXPECT_EQ("; " + Address(server, "/big") + "\r\n; HTTP/1.0 200 OK\r\n\r\n" + body, dir.Read("big.twl"));

    WatchedFile<CHttpFile> plain(owner_);  // a bitmap: no source header at all
    ASSERT_EQ(1, plain.Get("127.0.0.1", "/big", server.port(), dir.File("A0000001.bmp").c_str(), 0));
    ASSERT_TRUE(WaitFor([&] { return plain.complete == 1; }, kNetTimeoutMs));
    EXPECT_EQ(body, dir.Read("A0000001.bmp"));
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

TEST_F(HttpFileTest, ThroughAProxyTheSourceHeaderNamesTheTarget) {
    TempDir dir("httpfile-proxy");
    ScriptServer proxy({{"HTTP/1.0 200 OK\r\n\r\nvia proxy"}});
    WatchedFile<CHttpIniFile> ini(owner_);
    ini.SetProxy("127.0.0.1", proxy.port());
    ASSERT_EQ(1, ini.Get("news.example", "/a.twl", 80, dir.File("a.twl").c_str(), 0));
    ASSERT_TRUE(WaitFor([&] { return ini.complete == 1; }, kNetTimeoutMs));
    EXPECT_EQ("; http://news.example:80/a.twl\r\n; HTTP/1.0 200 OK\r\n\r\nvia proxy", dir.Read("a.twl"));
}

TEST_F(HttpFileTest, DestroyedMidTransferClosesTheFileWithoutTheUsersHandler) {
    TempDir dir("httpfile-destroy");
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\npart"}}, ScriptServer::kStall);
    auto ini = std::make_unique<WatchedFile<CHttpIniFile>>(owner_);
    ASSERT_EQ(1, ini->Get("127.0.0.1", "/slow", server.port(), dir.File("slow.twl").c_str(), 0));
    ASSERT_TRUE(WaitFor([&] { return ini->iHttpState == HTTPSTATE_BODY; }, kNetTimeoutMs));
    PumpMessages(200);
    int completionsBefore = WatchedFile<CHttpIniFile>::completions;
    ini.reset();  // the job's override is gone before the file is closed
    EXPECT_EQ(completionsBefore, WatchedFile<CHttpIniFile>::completions);
    HANDLE reopened = CreateFileA(dir.File("slow.twl").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, reopened) << "the file is still held open";
    CloseHandle(reopened);
    EXPECT_EQ("; " + Address(server, "/slow") + "\r\n; HTTP/1.0 200 OK\r\n\r\npart", dir.Read("slow.twl"));
}
