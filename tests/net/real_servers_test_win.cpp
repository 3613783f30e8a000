// Against servers nobody here wrote: Python's http.server answers, and
// tinyproxy carries the request. real_servers_test.sh starts both on loopback
// and names their ports and the web root in the environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "net_fixture_win.h"

namespace {

using RealServersTest = NetTest;

int PortFrom(const char* name) {
    const char* value = getenv(name);
    return value ? atoi(value) : 0;
}

// Downloads feed.twl from the web server, directly or through the proxy, and
// expects the file to hold exactly the source header (each line the client
// saw, in the file's comment syntax) and the feed.
template <typename Base>
void ExpectDownload(HWND owner, const char* start, const char* linePrefix, const char* end, bool proxied) {
    const std::string feed = "[General]\r\nConfigVersion=1\r\n\r\n[Subscription1]\r\nTitle=News / World\r\n";
    int webPort = PortFrom("TIDEWELL_TEST_WEB_PORT"), proxyPort = PortFrom("TIDEWELL_TEST_PROXY_PORT");
    ASSERT_TRUE(webPort && proxyPort) << "run this through real_servers_test.sh";
    const char* root = getenv("TIDEWELL_TEST_WEB_ROOT");
    TempDir dir("real-servers");
    dir.Write("feed.twl", feed);
    ASSERT_TRUE(CopyFileA(dir.File("feed.twl").c_str(), ("Z:" + std::string(root) + "/feed.twl").c_str(), FALSE));

    WatchedFile<Base> download(owner);
    if (proxied) download.SetProxy("127.0.0.1", proxyPort);
    std::string file = download.Fetch(dir, "download", "127.0.0.1", "/feed.twl", webPort);
    std::string expected = start + ("http://127.0.0.1:" + std::to_string(webPort)) + "/feed.twl\r\n";
    for (const std::string& line : download.headers) expected += linePrefix + line + "\r\n";
    EXPECT_EQ(expected + end + feed, file);
    ASSERT_FALSE(download.headers.empty());
    EXPECT_EQ("HTTP/1.0 200 OK", download.headers[0]);
    EXPECT_NE(std::string::npos, file.find("Content-Length: " + std::to_string(feed.size()) + "\r\n")) << file;
    EXPECT_EQ(proxied, file.find("tinyproxy") != std::string::npos) << file;  // the proxy leaves its mark
}

}  // namespace

TEST_F(RealServersTest, IniAndHtmlDownloadsDirectAndThroughTinyproxy) {
    ExpectDownload<CHttpIniFile>(owner_, "; ", "; ", "\r\n", false);
    ExpectDownload<CHttpHtmlFile>(owner_, "<!--\r\n", "", "-->\r\n", false);
    ExpectDownload<CHttpIniFile>(owner_, "; ", "; ", "\r\n", true);
}
