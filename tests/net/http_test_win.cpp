// The HTTP client against a scripted server on loopback: the request bytes,
// the response read from every kind of piece, and bad responses.
#include <gtest/gtest.h>

#include <random>

#include "net_fixture_win.h"
#include "os_override.h"
#include "shared/deployment.h"

using HttpTest = NetTest;

TEST_F(HttpTest, RequestsLeaveByteForByteDirectAndThroughAProxy) {
    const std::string fixed = std::string("Accept: */*\r\nUser-Agent: Tidewell 1.1.1043.1\r\nFrom: ") + kFromAddress +
                              "\r\nReferer: " + kRefererUrl + "\r\n";
    std::string body(450, 'b');  // longer than one write: it leaves in pieces of 100 bytes, one per event
    std::string posted = "POST /Bin/Update.dll?TwlUpdate HTTP/1.0\r\n" + fixed + "Content-length: 450\r\n\r\n" + body;
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\n"}});
    RecordingHttp http(owner_);
    ASSERT_TRUE(http.GetFrom(server, "/feeds/world.twl?Update&Have=5&AID=x"));
    auto post = [&] { return http.Post("127.0.0.1", "/Bin/Update.dll?TwlUpdate", body.c_str(), server.port(), 0); };
    ASSERT_TRUE(http.Run(post));
    EXPECT_EQ(static_cast<int>((posted.size() + 99) / 100), http.writes);
    http.SetProxy("127.0.0.1", server.port());  // the scripted server plays the proxy
    ASSERT_TRUE(http.Run([&] { return http.Get("news.example", "/a.twl", 80, 0); }));
    http.SetProxy(nullptr, 0);
    ASSERT_TRUE(http.GetFrom(server, "/direct"));
    EXPECT_EQ((std::vector<std::string>{"GET /feeds/world.twl?Update&Have=5&AID=x HTTP/1.0\r\n" + fixed + "\r\n", posted,
                                        "GET http://news.example:80/a.twl HTTP/1.0\r\n" + fixed + "\r\n",
                                        "GET /direct HTTP/1.0\r\n" + fixed + "\r\n"}),
              server.Requests());
}

TEST_F(HttpTest, ResponsesInAnyPiecesWithAnyLineEndsAndBadOnes) {
    const std::string ok = "HTTP/1.0 200 OK\r\nContent-Length: 11\r\nServer: script\r\n\r\nhello world";
    const std::string okLog = "connected[HTTP/1.0 200 OK][Content-Length: 11][Server: script]<hello world>complete";
    struct {
        std::vector<ServerPiece> reply;
        std::string log;
        int status, contentLength;
        bool lengthTraced;
    } cases[] = {
        {{{ok}}, okLog, 200, 11},
        {ScriptServer::InPieces(ok, 1, 2), okLog, 200, 11},  // a byte at a time
        {ScriptServer::InPieces(ok, 7, 5), okLog, 200, 11},
        {{{ok.substr(0, ok.size() - 11), 50}, {"hello world"}}, okLog, 200, 11},
        {{{"HTTP/1.0 404 Not Found\ncontent-length: 3\n\nabc"}},
         "connected[HTTP/1.0 404 Not Found][content-length: 3]<abc>complete", 404, 3},
        // The body starts two bytes into the line of blanks that ends the header.
        {{{"HTTP/1.0 200 OK\r\nA: b\r\n   \r\nbody"}}, "connected[HTTP/1.0 200 OK][A: b]< \r\nbody>complete", 200, 0},
        {{{"HTTP/1.0 200 OK\r\nContent-Length: 50\r\n\r\nshort"}},
         "connected[HTTP/1.0 200 OK][Content-Length: 50]<short>complete", 200, 50, true},
        {{{"GARBAGE\r\n\r\nx"}}, "connected[GARBAGE]<x>complete", 0, 0},
        // Closed before the empty line: complete without a body.
        {{{"HTTP/1.0 301 Moved\r\nLocation: x\r\n"}}, "connected[HTTP/1.0 301 Moved]complete", 301, 0},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.log);
        TraceRecorder trace;
        ScriptServer server(c.reply);
        RecordingHttp http(owner_);
        ASSERT_TRUE(http.GetFrom(server));
        EXPECT_EQ(c.log, http.log);
        EXPECT_EQ(c.status, http.iStatusCode);
        EXPECT_EQ(c.contentLength, http.iContentLength);
        EXPECT_EQ(static_cast<int>(http.body.size()), http.iBodyBytes);
        EXPECT_EQ(HTTPSTATE_IDLE, http.stateAtComplete);  // a user may start the next request there
        EXPECT_EQ(c.lengthTraced, trace.Contains("CHttp::OnDisconnect() Error: Content-Length invalid"));
    }
}

TEST_F(HttpTest, RefusedConnectionReportsOnlyThatItFailed) {
    RecordingHttp http(owner_);
    TraceRecorder trace;
    ASSERT_TRUE(http.Run([&] { return http.Get("127.0.0.1", "/", RefusingPort(), 0); }));
    PumpMessages(200);
    EXPECT_EQ("not connected", http.log);
    EXPECT_EQ(HTTPSTATE_IDLE, http.iHttpState);
    EXPECT_TRUE(trace.Contains("CHttp::OnConnect(): Connect Failed!"));
}

TEST_F(HttpTest, BusyObjectAndEmptyHostsRefuseTheRequest) {
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\n", 400}, {"late body"}});
    RecordingHttp http(owner_);
    TraceRecorder trace;
    EXPECT_EQ(0, http.Get("", "/", server.port(), 0));
    EXPECT_EQ(0, http.Get(nullptr, "/", server.port(), 0));
    EXPECT_TRUE(trace.Contains("CHttp::Get(): Error - NULL host name"));
    ASSERT_EQ(1, http.Get("127.0.0.1", "/first", server.port(), 0));
    ASSERT_TRUE(WaitFor([&] { return http.iHttpState == HTTPSTATE_BODY; }, kNetTimeoutMs));
    EXPECT_EQ(0, http.Get("127.0.0.1", "/second", server.port(), 0));
    ASSERT_TRUE(http.WaitDone());
    EXPECT_EQ("late body", http.body);
    EXPECT_EQ(1, server.Connections());
}

TEST_F(HttpTest, OverlongAndRandomResponsesNeverHarmTheClient) {
    RecordingHttp http(owner_);
    {
        // A header line longer than the buffer from a server that never closes: the client ends it.
        ScriptServer flood({{"HTTP/1.0 200 OK\r\n" + std::string(2500, 'x')}}, ScriptServer::kStall);
        TraceRecorder trace;
        ASSERT_TRUE(http.GetFrom(flood));
        EXPECT_TRUE(trace.Contains("CHttp::OnRead(): Receive header buffer overflow"));
        EXPECT_EQ("connected[HTTP/1.0 200 OK]complete", http.log);
    }
    std::mt19937 random(4242);
    for (int round = 0; round < 40; round++) {
        SCOPED_TRACE(round);
        std::string noise(random() % 3000, '\0');
        for (char& c : noise) c = static_cast<char>(random() % 4 == 0 ? "\r\n \t"[random() % 4] : random());
        if (round % 3 == 0) noise = "HTTP/1.0 200 OK\r\n" + noise;
        ScriptServer server(ScriptServer::InPieces(noise, 1 + random() % 400, 0));
        TraceRecorder quiet;
        ASSERT_TRUE(http.GetFrom(server));
        ASSERT_EQ(HTTPSTATE_IDLE, http.iHttpState);
        ASSERT_LE(http.iBodyBytes, static_cast<int32_t>(noise.size()));
    }
    ScriptServer healthy({{"HTTP/1.0 200 OK\r\n\r\nback"}});
    ASSERT_TRUE(http.GetFrom(healthy));
    EXPECT_EQ("back", http.body);
}
