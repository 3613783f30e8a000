// The HTTP client against a scripted server on loopback: the request bytes,
// the response read from every kind of piece, and bad responses.
#include <gtest/gtest.h>

#include <random>

#include "net_fixture_win.h"
#include "os_override.h"
#include "shared/deployment.h"

namespace {

using HttpTest = NetTest;

const std::string kFixedLines = std::string("Accept: */*\r\nUser-Agent: Tidewell 1.1.1043.1\r\nFrom: ") + kFromAddress +
                                "\r\nReferer: " + kRefererUrl + "\r\n";

const std::string kResponse = "HTTP/1.0 200 OK\r\nContent-Length: 11\r\nServer: script\r\n\r\nhello world";

std::vector<std::string> ExpectedEvents(const std::vector<std::string>& headers, const std::vector<int>& chunks) {
    std::vector<std::string> events = {"connected"};
    for (const std::string& line : headers) events.push_back("header " + line);
    for (int chunk : chunks) events.push_back("data " + std::to_string(chunk));
    events.push_back("complete");
    return events;
}

}  // namespace

TEST_F(HttpTest, RequestsLeaveByteForByteDirectAndThroughAProxy) {
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\n"}});
    RecordingHttp http(owner_);
    ASSERT_TRUE(http.GetFrom(server, "/feeds/world.twl?Update&Have=5&AID=x"));
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_EQ("GET /feeds/world.twl?Update&Have=5&AID=x HTTP/1.0\r\n" + kFixedLines + "\r\n", server.Requests()[0]);

    std::string body(450, 'b');  // longer than one write: it leaves in pieces of 100 bytes, one per event
    http.completions = 0;
    http.writes = 0;
    ASSERT_EQ(1, http.Post("127.0.0.1", "/Bin/Update.dll?TwlUpdate", body.c_str(), server.port(), 0));
    ASSERT_TRUE(http.WaitDone());
    ASSERT_EQ(2u, server.Requests().size());
    std::string expected = "POST /Bin/Update.dll?TwlUpdate HTTP/1.0\r\n" + kFixedLines + "Content-length: 450\r\n\r\n" + body;
    EXPECT_EQ(expected, server.Requests()[1]);
    EXPECT_EQ(static_cast<int>((expected.size() + 99) / 100), http.writes);

    http.SetProxy("127.0.0.1", server.port());  // the scripted server plays the proxy
    http.completions = 0;
    ASSERT_EQ(1, http.Get("news.example", "/a.twl", 80, 0));
    ASSERT_TRUE(http.WaitDone());
    ASSERT_EQ(3u, server.Requests().size());
    EXPECT_EQ("GET http://news.example:80/a.twl HTTP/1.0\r\n" + kFixedLines + "\r\n", server.Requests()[2]);
    http.SetProxy(nullptr, 0);
    EXPECT_EQ(nullptr, http.proxyHost);
}

TEST_F(HttpTest, ResponseReadsTheSameInAnyPieces) {
    std::vector<std::string> headers = {"HTTP/1.0 200 OK", "Content-Length: 11", "Server: script"};
    struct Case {
        const char* name;
        std::vector<ServerPiece> reply;
    } cases[] = {
        {"one packet", {{kResponse}}},
        {"a byte at a time", ScriptServer::InPieces(kResponse, 1, 2)},
        {"pieces of 7", ScriptServer::InPieces(kResponse, 7, 5)},
        {"header, then body", {{kResponse.substr(0, kResponse.size() - 11), 50}, {"hello world"}}},
    };
    for (const Case& c : cases) {
        ScriptServer server(c.reply);
        RecordingHttp http(owner_);
        ASSERT_TRUE(http.GetFrom(server)) << c.name;
        EXPECT_EQ(ExpectedEvents(headers, {11}), http.events) << c.name;
        EXPECT_EQ("hello world", http.body) << c.name;
        EXPECT_EQ(200, http.iStatusCode) << c.name;
        EXPECT_EQ(11, http.iContentLength) << c.name;
        EXPECT_EQ(11, http.iBodyBytes) << c.name;
        EXPECT_EQ(HTTPSTATE_IDLE, http.stateAtComplete) << c.name;  // a user may start the next request there
    }
}

TEST_F(HttpTest, LineEndsOfEveryKind) {
    {
        ScriptServer server({{"HTTP/1.0 404 Not Found\ncontent-length: 3\n\nabc"}});
        RecordingHttp http(owner_);
        ASSERT_TRUE(http.GetFrom(server));
        EXPECT_EQ(ExpectedEvents({"HTTP/1.0 404 Not Found", "content-length: 3"}, {3}), http.events);
        EXPECT_EQ(404, http.iStatusCode);
        EXPECT_EQ(3, http.iContentLength);
    }
    {
        ScriptServer server({{"HTTP/1.0 200 OK\r\nA: b\r\n   \r\nbody"}});
        RecordingHttp http(owner_);
        ASSERT_TRUE(http.GetFrom(server));
        EXPECT_EQ(" \r\nbody", http.body);  // the body starts two bytes into the line of blanks
    }
}

TEST_F(HttpTest, LongBodyArrivesInFullChunks) {
    std::string body;
    for (int i = 0; i < 2500; i++) body += static_cast<char>('a' + i % 26);
    ScriptServer server(ScriptServer::InPieces("HTTP/1.0 200 OK\r\n\r\n" + body, 300, 1));
    RecordingHttp http(owner_);
    ASSERT_TRUE(http.GetFrom(server));
    EXPECT_EQ(ExpectedEvents({"HTTP/1.0 200 OK"}, {999, 999, 502}), http.events);
    EXPECT_EQ(body, http.body);
    EXPECT_EQ(2500, http.iBodyBytes);
}

TEST_F(HttpTest, BadStatusesAndLengthsAreTheUsersToJudge) {
    struct Case {
        std::string reply;
        int status;
        int contentLength;
        int bodyBytes;
        bool lengthTraced;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Length: 50\r\n\r\nshort", 200, 50, 5, true},
        {"HTTP/1.0 404 Not Found\r\n\r\nmissing", 404, 0, 7, false},
        {"HTTP/1.0 500 Oops\r\nContent-Length: 4\r\n\r\nboom", 500, 4, 4, false},
        {"GARBAGE\r\n\r\nx", 0, 0, 1, false},
    };
    for (const Case& c : cases) {
        TraceRecorder trace;
        ScriptServer server({{c.reply}});
        RecordingHttp http(owner_);
        ASSERT_TRUE(http.GetFrom(server)) << c.reply;
        EXPECT_EQ(c.status, http.iStatusCode) << c.reply;
        EXPECT_EQ(c.contentLength, http.iContentLength) << c.reply;
        EXPECT_EQ(c.bodyBytes, http.iBodyBytes) << c.reply;
        EXPECT_EQ(c.lengthTraced, trace.Contains("CHttp::OnDisconnect() Error: Content-Length invalid")) << c.reply;
    }
}

TEST_F(HttpTest, CloseBeforeTheEmptyLineCompletesWithoutABody) {
    ScriptServer server({{"HTTP/1.0 301 Moved\r\nLocation: x\r\n"}});
    RecordingHttp http(owner_);
    ASSERT_TRUE(http.GetFrom(server));
    EXPECT_EQ(0, http.Count("data"));
    EXPECT_EQ(1, http.completions);
    EXPECT_EQ(301, http.iStatusCode);
    EXPECT_EQ(HTTPSTATE_IDLE, http.iHttpState);
}

TEST_F(HttpTest, RefusedConnectionReportsOnlyThatItFailed) {
    RecordingHttp http(owner_);
    TraceRecorder trace;
    ASSERT_EQ(1, http.Get("127.0.0.1", "/", RefusingPort(), 0));
    ASSERT_TRUE(http.WaitDone());
    PumpMessages(200);
    EXPECT_EQ(std::vector<std::string>{"not connected"}, http.events);
    EXPECT_EQ(HTTPSTATE_IDLE, http.iHttpState);
    EXPECT_TRUE(trace.Contains("CHttp::OnConnect(): Connect Failed!"));
}

TEST_F(HttpTest, BusyObjectRefusesASecondRequestAndEmptyHostsAreRefused) {
    ScriptServer server({{"HTTP/1.0 200 OK\r\n\r\n", 400}, {"late body"}});
    RecordingHttp http(owner_);
    TraceRecorder trace;
    EXPECT_EQ(0, http.Get("", "/", server.port(), 0));
    EXPECT_EQ(0, http.Get(nullptr, "/", server.port(), 0));
    EXPECT_TRUE(trace.Contains("CHttp::Get(): Error - NULL host name"));
    EXPECT_EQ(HTTPSTATE_IDLE, http.iHttpState);
    ASSERT_EQ(1, http.Get("127.0.0.1", "/first", server.port(), 0));
    ASSERT_TRUE(WaitFor([&] { return http.iHttpState == HTTPSTATE_BODY; }, kNetTimeoutMs));
    EXPECT_EQ(0, http.Get("127.0.0.1", "/second", server.port(), 0));
    ASSERT_TRUE(http.WaitDone());
    EXPECT_EQ("late body", http.body);
    EXPECT_EQ(1, server.Connections());
}

TEST_F(HttpTest, HeaderWithoutLineEndsIsCutOffAndTheObjectStaysUsable) {
    ScriptServer flood({{"HTTP/1.0 200 OK\r\n" + std::string(2500, 'x')}}, ScriptServer::kStall);
    RecordingHttp http(owner_);
    TraceRecorder trace;
    ASSERT_TRUE(http.GetFrom(flood));
    EXPECT_TRUE(trace.Contains("CHttp::OnRead(): Receive header buffer overflow"));
    EXPECT_EQ(200, http.iStatusCode);
    EXPECT_EQ(0, http.Count("data"));
    ScriptServer healthy({{kResponse}});
    ASSERT_TRUE(http.GetFrom(healthy));
    EXPECT_EQ("hello world", http.body);
}

TEST_F(HttpTest, RandomResponsesNeverHarmTheClient) {
    std::mt19937 random(4242);
    RecordingHttp http(owner_);
    for (int round = 0; round < 40; round++) {
        std::string noise(random() % 3000, '\0');
        for (char& c : noise) c = static_cast<char>(random() % 4 == 0 ? "\r\n \t"[random() % 4] : random());
        if (round % 3 == 0) noise = "HTTP/1.0 200 OK\r\n" + noise;
        ScriptServer server(ScriptServer::InPieces(noise, 1 + random() % 400, 0));
        TraceRecorder quiet;
        ASSERT_TRUE(http.GetFrom(server)) << "round " << round;
        ASSERT_EQ(HTTPSTATE_IDLE, http.iHttpState) << "round " << round;
        ASSERT_LE(http.iBodyBytes, static_cast<int32_t>(noise.size())) << "round " << round;
    }
    ScriptServer healthy({{kResponse}});
    ASSERT_TRUE(http.GetFrom(healthy));
    EXPECT_EQ("hello world", http.body);
}
