// The request text byte for byte, and the response header read from pieces
// split at every offset.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/http_header.h"
#include "net/http_request.h"
#include "net/source_header.h"
#include "shared/deployment.h"

namespace {

const std::string kFixedLines = std::string("Accept: */*\r\nUser-Agent: Tidewell 1.1.1043.1\r\nFrom: ") + kFromAddress +
                                "\r\nReferer: " + kRefererUrl + "\r\n";

std::string Request(const HttpRequest& request) {
    char buffer[kHeaderBufferSize];
    uint32_t length = BuildHttpRequest(request, buffer, sizeof buffer);
    EXPECT_EQ(length, strlen(buffer));
    return std::string(buffer, length);
}

}  // namespace

TEST(HttpRequest, GetAndPostDirectAndThroughAProxy) {
    EXPECT_EQ("GET /feeds/a.twl?Update&Have=5 HTTP/1.0\r\n" + kFixedLines + "\r\n",
              Request({"GET", "news.test", 80, "/feeds/a.twl?Update&Have=5", nullptr, false}));
    EXPECT_EQ("GET / HTTP/1.0\r\n" + kFixedLines + "\r\n", Request({"GET", "news.test", 80, nullptr, "", false}));
    EXPECT_EQ("POST /Bin/Update.dll HTTP/1.0\r\n" + kFixedLines + "Content-length: 3\r\n\r\na=1",
              Request({"POST", "news.test", 80, "/Bin/Update.dll", "a=1", false}));
    EXPECT_EQ("GET http://news.test:80/x HTTP/1.0\r\n" + kFixedLines + "\r\n",
              Request({"GET", "news.test", 80, "/x", nullptr, true}));
    EXPECT_EQ("POST http://10.1.2.3:8642/ HTTP/1.0\r\n" + kFixedLines + "Content-length: 2\r\n\r\nab",
              Request({"POST", "10.1.2.3", 8642, nullptr, "ab", true}));
}

TEST(HttpRequest, TextThatDoesNotFitIsRefused) {
    char buffer[kHeaderBufferSize];
    std::string body(kHeaderHeldMax, 'b');
    HttpRequest request = {"POST", "h", 80, "/", body.c_str(), false};
    EXPECT_EQ(0u, BuildHttpRequest(request, buffer, sizeof buffer));
}

namespace {

struct Parsed {
    std::vector<std::string> lines;
    bool complete = false;
    int32_t status = 0;
    int32_t contentLength = 0;
    std::string body;  // what followed the header in the pieces given
};

// Feeds the response the way the client reads it: at most 100 bytes a read,
// never more than a piece at a time.
Parsed Feed(const std::string& response, const std::vector<size_t>& pieces) {
    Parsed parsed;
    char buffer[kHeaderBufferSize];
    HttpHeaderState state;
    size_t at = 0;
    for (size_t piece : pieces) {
        size_t end = std::min(at + piece, response.size());
        while (at < end) {
            if (parsed.complete) {
                parsed.body.append(response, at, end - at);
                at = end;
                break;
            }
            uint32_t room = HeaderReceiveRoom(state);
            if (room == 0) return parsed;
            size_t take = std::min<size_t>(room, end - at);
            memcpy(buffer + state.held, response.data() + at, take);
            state.held += static_cast<uint32_t>(take);
            at += take;
            HttpHeaderResult result =
                TakeHeaderLines(buffer, state, [&](const char* line) { parsed.lines.push_back(line); });
            if (result.complete) {
                parsed.complete = true;
                parsed.body.assign(result.bodyStart, result.bodyLength);
            }
        }
    }
    parsed.status = state.statusCode;
    parsed.contentLength = state.contentLength;
    return parsed;
}

// Every split into two pieces, and one byte at a time, read the same.
void ExpectSameAtEverySplit(const std::string& response, const Parsed& expected) {
    for (size_t split = 0; split <= response.size(); split++) {
        Parsed parsed = Feed(response, {split, response.size()});
        ASSERT_EQ(expected.lines, parsed.lines) << "split at " << split;
        ASSERT_EQ(expected.complete, parsed.complete) << "split at " << split;
        ASSERT_EQ(expected.body, parsed.body) << "split at " << split;
        ASSERT_EQ(expected.status, parsed.status) << "split at " << split;
    }
    Parsed bytewise = Feed(response, std::vector<size_t>(response.size(), 1));
    EXPECT_EQ(expected.lines, bytewise.lines);
    EXPECT_EQ(expected.body, bytewise.body);
}

}  // namespace

TEST(HttpHeader, StatusLineHeaderLinesAndBody) {
    std::string response = "HTTP/1.0 200 OK\r\ncontent-length: 12\r\nServer: test\r\n\r\nhello, world";
    Parsed expected = Feed(response, {response.size()});
    EXPECT_EQ((std::vector<std::string>{"HTTP/1.0 200 OK", "content-length: 12", "Server: test"}), expected.lines);
    EXPECT_TRUE(expected.complete);
    EXPECT_EQ(200, expected.status);
    EXPECT_EQ(12, expected.contentLength);
    EXPECT_EQ("hello, world", expected.body);
    ExpectSameAtEverySplit(response, expected);
}

TEST(HttpHeader, LoneLineFeedsAndABlankLineEndTheHeader) {
    std::string lf = "HTTP/1.0 404 Not Found\nX: y\n\nbody";
    Parsed parsed = Feed(lf, {lf.size()});
    EXPECT_EQ((std::vector<std::string>{"HTTP/1.0 404 Not Found", "X: y"}), parsed.lines);
    EXPECT_EQ(404, parsed.status);
    EXPECT_EQ("body", parsed.body);
    ExpectSameAtEverySplit(lf, parsed);

    // A line of blanks before CR LF ends the header; the body starts two bytes into it.
    std::string blanks = "HTTP/1.0 200 OK\r\nA: b\r\n   \r\nrest";
    parsed = Feed(blanks, {blanks.size()});
    EXPECT_TRUE(parsed.complete);
    EXPECT_EQ(" \r\nrest", parsed.body);
    ExpectSameAtEverySplit(blanks, parsed);
}

TEST(HttpHeader, HeaderEndingInTwoLineFeedsNeverCompletes) {
    std::string response = "HTTP/1.0 200 OK\nLast: line\n\n";
    Parsed parsed = Feed(response, {response.size()});
    EXPECT_FALSE(parsed.complete);
    EXPECT_EQ((std::vector<std::string>{"HTTP/1.0 200 OK"}), parsed.lines);  // the last line is never handed on
    std::string exact = "HTTP/1.0 204 No Content\r\nLast: line\r\n\r\n";
    parsed = Feed(exact, {exact.size()});
    EXPECT_TRUE(parsed.complete);  // CR LF CR LF passes the look-ahead at its last line
    EXPECT_EQ("", parsed.body);
}

TEST(HttpHeader, StatusLineWithoutABlankAndOddContentLengths) {
    Parsed parsed = Feed("HTTP/1.0\r\nContent-Length:abc\r\n\r\n", {100});
    EXPECT_EQ(0, parsed.status);
    EXPECT_EQ(0, parsed.contentLength);
    parsed = Feed("HTTP/1.0 301\r\nCONTENT-LENGTH:   -7\r\n\r\n", {100});
    EXPECT_EQ(301, parsed.status);
    EXPECT_EQ(-7, parsed.contentLength);
}

TEST(HttpHeader, FullBufferWithoutALineStopsReceiving) {
    std::string response = "HTTP/1.0 200 OK\r\n" + std::string(3000, 'x');
    char buffer[kHeaderBufferSize];
    HttpHeaderState state;
    size_t at = 0;
    int lines = 0;
    while (uint32_t room = HeaderReceiveRoom(state)) {
        ASSERT_LE(room, kSocketChunk);
        memcpy(buffer + state.held, response.data() + at, room);
        state.held += room;
        at += room;
        EXPECT_FALSE(TakeHeaderLines(buffer, state, [&](const char*) { lines++; }).complete);
        ASSERT_LE(state.held, kHeaderHeldMax);
    }
    EXPECT_EQ(kHeaderHeldMax, state.held);
    EXPECT_EQ(1, lines);
    EXPECT_EQ('\0', buffer[kHeaderHeldMax]);
}

TEST(HttpHeader, NulBytesInALineDoNotLeadAstray) {
    static const char kResponse[] = "HTTP/1.0 200 OK\r\nX: a\0b\r\n\r\nbo\0dy";
    std::string response(kResponse, sizeof kResponse - 1);
    Parsed parsed = Feed(response, {response.size()});
    EXPECT_TRUE(parsed.complete);
    EXPECT_EQ(std::string("bo\0dy", 5), parsed.body);
    EXPECT_EQ("X: a", parsed.lines[1]);  // a line is a C string: it ends at its NUL
}

TEST(SourceHeader, IniAndHtmlLayouts) {
    EXPECT_EQ("; http://news.test:80/a.twl\r\n", SourceHeaderStart(SourceHeaderStyle::Ini, "news.test", "/a.twl", 80));
    EXPECT_EQ("<!--\r\nhttp://q.test:8643/\r\n", SourceHeaderStart(SourceHeaderStyle::Html, "q.test", nullptr, 8643));
    EXPECT_EQ("; HTTP/1.0 200 OK\r\n", SourceHeaderLine(SourceHeaderStyle::Ini, "HTTP/1.0 200 OK"));
    EXPECT_EQ("HTTP/1.0 200 OK\r\n", SourceHeaderLine(SourceHeaderStyle::Html, "HTTP/1.0 200 OK"));
    EXPECT_EQ("", SourceHeaderLine(SourceHeaderStyle::Ini, nullptr));
    EXPECT_EQ("\r\n", SourceHeaderEnd(SourceHeaderStyle::Ini));
    EXPECT_EQ("-->\r\n", SourceHeaderEnd(SourceHeaderStyle::Html));
    std::string longPath(2000, 'p');
    EXPECT_EQ(999u, SourceHeaderStart(SourceHeaderStyle::Ini, "h", longPath.c_str(), 80).size());
}
