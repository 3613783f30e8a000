// Against servers nobody here wrote: Python's http.server answers, and
// tinyproxy carries the request. real_servers_test.sh starts both on loopback
// and names their ports and the web root in the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "net/http_file_win.h"
#include "net_fixture_win.h"
#include "temp_dir.h"

HWND NetTest::owner_ = nullptr;

namespace {

std::string Environment(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

// The Unix web root as Wine's Z: drive shows it.
std::string WebRoot() {
    std::string path = "Z:" + Environment("TIDEWELL_TEST_WEB_ROOT");
    for (char& c : path) c = c == '/' ? '\\' : c;
    return path;
}

template <typename Base>
class FileDownload : public Base {
public:
    explicit FileDownload(HWND ownerWindow) : Base(ownerWindow, WM_USER + 1) {}
    void OnFileComplete() override { complete = true; }
    bool complete = false;
};

class RealServersTest : public NetTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(Environment("TIDEWELL_TEST_WEB_PORT").empty()) << "run this through real_servers_test.sh";
        webPort_ = atoi(Environment("TIDEWELL_TEST_WEB_PORT").c_str());
        proxyPort_ = atoi(Environment("TIDEWELL_TEST_PROXY_PORT").c_str());
        WriteWebFile("feed.twl", kFeed);
    }

    void WriteWebFile(const std::string& name, const std::string& bytes) {
        HANDLE file = CreateFileA((WebRoot() + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }

    template <typename Download>
    std::string Fetch(Download& download, const TempDir& dir, const char* name, const char* path) {
        EXPECT_EQ(1, download.Get("127.0.0.1", path, webPort_, dir.File(name).c_str(), 0));
        EXPECT_TRUE(WaitFor([&] { return download.complete; }, kNetTimeoutMs));
        return dir.Read(name);
    }

    const std::string kFeed = "[General]\r\nConfigVersion=1\r\n\r\n[Subscription1]\r\nTitle=News / World\r\n";
    int webPort_ = 0;
    int proxyPort_ = 0;
};

}  // namespace

TEST_F(RealServersTest, IniDownloadFromARealWebServer) {
    TempDir dir("real-ini");
    FileDownload<CHttpIniFile> ini(owner_);
    std::string file = Fetch(ini, dir, "Config.twl", "/feed.twl");
    std::string address = "; http://127.0.0.1:" + std::to_string(webPort_) + "/feed.twl\r\n";
    ASSERT_EQ(0u, file.find(address + "; HTTP/1.0 200 OK\r\n")) << file;
    size_t bodyAt = file.find("\r\n\r\n") + 4;
    EXPECT_EQ(kFeed, file.substr(bodyAt));
    for (size_t line = address.size(); line < bodyAt - 2; line = file.find("\r\n", line) + 2) {
        EXPECT_EQ("; ", file.substr(line, 2)) << "every header line is a comment: " << file;
    }
    EXPECT_NE(std::string::npos, file.find("; Content-Length: " + std::to_string(kFeed.size()) + "\r\n"));
    EXPECT_EQ(200, ini.iStatusCode);
    EXPECT_EQ(static_cast<int32_t>(kFeed.size()), ini.iContentLength);
    EXPECT_EQ(ini.iContentLength, ini.iBodyBytes);
}

TEST_F(RealServersTest, HtmlDownloadFromARealWebServer) {
    TempDir dir("real-html");
    FileDownload<CHttpHtmlFile> html(owner_);
    std::string file = Fetch(html, dir, "YStock.html", "/feed.twl");
    ASSERT_EQ(0u, file.find("<!--\r\nhttp://127.0.0.1:" + std::to_string(webPort_) + "/feed.twl\r\nHTTP/1.0 200 OK\r\n"))
        << file;
    size_t end = file.find("\r\n-->\r\n");
    ASSERT_NE(std::string::npos, end) << file;
    EXPECT_EQ(kFeed, file.substr(end + 7));
}

TEST_F(RealServersTest, MissingPageIsA404WithItsBody) {
    TempDir dir("real-404");
    FileDownload<CHttpIniFile> ini(owner_);
    std::string file = Fetch(ini, dir, "Config.twl", "/no-such-feed.twl");
    EXPECT_EQ(404, ini.iStatusCode);
    EXPECT_NE(std::string::npos, file.find("; HTTP/1.0 404 ")) << file;
}

TEST_F(RealServersTest, TinyproxyCarriesTheRequest) {
    ASSERT_NE(0, proxyPort_);
    TempDir dir("real-proxy");
    FileDownload<CHttpIniFile> ini(owner_);
    ini.SetProxy("127.0.0.1", proxyPort_);
    std::string file = Fetch(ini, dir, "Config.twl", "/feed.twl");
    // The source header names the target, and the proxy left its mark.
    ASSERT_EQ(0u, file.find("; http://127.0.0.1:" + std::to_string(webPort_) + "/feed.twl\r\n; HTTP/1.0 200 OK\r\n"))
        << file;
    EXPECT_NE(std::string::npos, file.find("tinyproxy")) << file;
    EXPECT_EQ(kFeed, file.substr(file.find("\r\n\r\n") + 4));
    EXPECT_EQ(200, ini.iStatusCode);
}
