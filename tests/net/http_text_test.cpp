// The request text and source header in their rare forms (the usual ones
// show on the wire), and the response header in every form, split at every offset.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "net/http_header.h"
#include "net/http_request.h"
#include "net/source_header.h"
#include "shared/deployment.h"

using namespace std::string_literals;

TEST(HttpRequest, AbsentPathAndBodyThroughAProxyTooLongAndUnsafe) {
    const std::string fixed = "Accept: */*\r\nUser-Agent: Tidewell 1.1.1043.1\r\nFrom: "s + kFromAddress +
                              "\r\nReferer: " + kRefererUrl + "\r\n";
    const std::string body(kHeaderHeldMax, 'b');
    const std::pair<HttpRequest, std::string> cases[] = {
        {{"GET", "news.test", 80, nullptr, "", false}, "GET / HTTP/1.0\r\n" + fixed + "\r\n"},
        {{"POST", "10.1.2.3", 8642, nullptr, "ab", true},
         "POST http://10.1.2.3:8642/ HTTP/1.0\r\n" + fixed + "Content-length: 2\r\n\r\nab"},
        {{"POST", "h", 80, "/", body.c_str(), false}, ""},  // does not fit: refused
        // Bytes that would end the request line or split it are refused wherever they are.
        {{"GET", "h", 80, "/a.bmp\r\nX-Injected: yes\r\n\r\nPOST /admin", nullptr, false}, ""},
        {{"GET", "h", 80, "/a b", nullptr, true}, ""},
        {{"GET", "h\r\nX: y", 80, "/", nullptr, true}, ""},
        {{"GET", "h", 80, "/\x7f", nullptr, false}, ""},
        {{"GET", "h", 80, "/caf\xe9?q=%0D%0A", nullptr, false}, "GET /caf\xe9?q=%0D%0A HTTP/1.0\r\n" + fixed + "\r\n"},
    };
    char buffer[kHeaderBufferSize];
    for (const auto& [request, text] : cases)
        EXPECT_EQ(text, std::string(buffer, BuildHttpRequest(request, buffer, sizeof buffer)));
}

namespace {

// Feeds the response as the client reads it (within the room, a piece at a
// time): "[line]... status length" and the body, "open", or where it filled up.
std::string Feed(const std::string& response, const std::vector<size_t>& pieces) {
    char buffer[kHeaderBufferSize];
    HttpHeaderState state;
    std::string lines;
    auto seen = [&] {
        return lines + " " + std::to_string(state.statusCode) + " " + std::to_string(state.contentLength);
    };
    size_t at = 0;
    for (size_t piece : pieces) {
        for (size_t end = std::min(at + piece, response.size()); at < end;) {
            uint32_t room = HeaderReceiveRoom(state);
            if (room > kSocketChunk) return "room " + std::to_string(room);
            if (room == 0) {
                return lines + " full at " + std::to_string(state.held) + (buffer[state.held] ? " unterminated" : "");
            }
            size_t take = std::min<size_t>(room, end - at);
            memcpy(buffer + state.held, response.data() + at, take);
            state.held += static_cast<uint32_t>(take);
            at += take;
            HttpHeaderResult result =
                TakeHeaderLines(buffer, state, [&](const char* line) { lines += "[" + std::string(line) + "]"; });
            if (result.complete) {
                return seen() + " body:" + std::string(result.bodyStart, result.bodyLength) + response.substr(at);
            }
        }
    }
    return seen() + " open";
}

}  // namespace

TEST(HttpHeader, EveryLineEndAtEverySplit) {
    const std::pair<std::string, std::string> cases[] = {
        {"HTTP/1.0 404 Not Found\ncontent-length: 3\n\nabc",
         "[HTTP/1.0 404 Not Found][content-length: 3] 404 3 body:abc"},
        // The body starts two bytes into the line of blanks that ends the header.
        {"HTTP/1.0 200 OK\r\nA: b\r\n   \r\nbody", "[HTTP/1.0 200 OK][A: b] 200 0 body: \r\nbody"},
        {"HTTP/1.0 302 Found\rX: y\r\rbody", "[HTTP/1.0 302 Found][X: y] 302 0 body:body"},
        // A line is taken once two bytes of the next one are here, which never come.
        {"HTTP/1.0 200 OK\r\nX", " 0 0 open"},
        // Two lone LFs at the very end: the last line waits for bytes that never come.
        {"HTTP/1.0 200 OK\nLast: line\n\n", "[HTTP/1.0 200 OK] 200 0 open"},
        // Blanks, then a CR as the last byte held: the LF may still come.
        {"HTTP/1.0 200 OK\r\nX: y\r\n \r\nbody", "[HTTP/1.0 200 OK][X: y] 200 0 body:\nbody"},
        {"HTTP/1.0 204 No Content\r\nLast: line\r\n\r\n", "[HTTP/1.0 204 No Content][Last: line] 204 0 body:"},
        {"HTTP/1.0\r\nContent-Length:abc\r\n\r\n", "[HTTP/1.0][Content-Length:abc] 0 0 body:"},
        {"HTTP/1.0 301\r\nCONTENT-LENGTH:   -7\r\n\r\n", "[HTTP/1.0 301][CONTENT-LENGTH:   -7] 301 -7 body:"},
        // A line is a C string: it ends at its NUL; the body keeps its NULs.
        {"HTTP/1.0 200 OK\r\nX: a\0b\r\n\r\nbo\0dy"s, "[HTTP/1.0 200 OK][X: a] 200 0 body:bo\0dy"s},
        // No line end within the buffer: reading stops with the buffer full and terminated.
        {"HTTP/1.0 200 OK\r\n" + std::string(3000, 'x'), "[HTTP/1.0 200 OK] full at " + std::to_string(kHeaderHeldMax)},
    };
    for (const auto& [r, expected] : cases) {
        SCOPED_TRACE(r.substr(0, 40));
        EXPECT_EQ(expected, Feed(r, std::vector<size_t>(r.size(), 1)));  // a byte at a time
        for (size_t split = 0; split <= r.size(); split++) ASSERT_EQ(expected, Feed(r, {split, r.size()})) << split;
    }
}

TEST(SourceHeader, AbsentPartsAndOverlongPaths) {
    EXPECT_EQ("<!--\r\nhttp://q.test:8643/\r\n", SourceHeaderStart(SourceHeaderStyle::Html, "q.test", nullptr, 8643));
    EXPECT_EQ("", SourceHeaderLine(SourceHeaderStyle::Ini, nullptr));
    std::string longPath(2000, 'p');
    EXPECT_EQ(999u, SourceHeaderStart(SourceHeaderStyle::Ini, "h", longPath.c_str(), 80).size());
}
