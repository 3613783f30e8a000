#include "net/http_header.h"

#include <cstring>

#include "base/strutil.h"

namespace {

// The blanks and tabs at text, then its line end: CR LF counts 2, a lone CR
// or LF 1, anything else 0. The blanks do not count.
struct LineEnd {
    uint32_t blanks;
    uint32_t length;
};

LineEnd LineEndAt(const char* text) {
    LineEnd end = {0, 0};
    while (text[end.blanks] == ' ' || text[end.blanks] == '\t') end.blanks++;
    const char* c = text + end.blanks;
    if (c[0] == '\r' && c[1] == '\n') {
        end.length = 2;
    } else if (c[0] == '\r' || c[0] == '\n') {
        end.length = 1;
    }
    return end;
}

void ReadLine(const char* line, HttpHeaderState& state) {
    if (!state.statusLineRead) {
        state.statusLineRead = true;
        const char* blank = strchr(line, ' ');
        state.statusCode = blank ? ParseLeadingInt(blank + 1) : 0;
    }
    if (StrStartsWithNoCase(line, "Content-Length:")) state.contentLength = ParseLeadingInt(strchr(line, ':') + 1);
}

// The first CR or LF among the held bytes (which may hold NULs from the network).
char* FindLineEnd(char* buffer, uint32_t held) {
    for (uint32_t i = 0; i < held; i++) {
        if (buffer[i] == '\r' || buffer[i] == '\n') return buffer + i;
    }
    return nullptr;
}

// After a header line: the header is complete when the held text starts with
// an empty line. The body is what follows the line end, counted from the
// start of the text without its blanks, so a line of blanks hands the rest of
// itself to the body. A CR that is the last byte held waits for its LF.
bool TakeHeaderEnd(char (&buffer)[kHeaderBufferSize], HttpHeaderState& state, HttpHeaderResult& result) {
    LineEnd end = LineEndAt(buffer);
    if (state.held < 2 || !end.length) return false;
    if (end.length == 1 && buffer[end.blanks] == '\r' && end.blanks + 1 == state.held) return false;
    result.complete = true;
    result.bodyStart = buffer + end.length;
    result.bodyLength = state.held - end.length;
    state.held = 0;
    return true;
}

}  // namespace

uint32_t HeaderReceiveRoom(const HttpHeaderState& state) {
    uint32_t room = kHeaderHeldMax - state.held;
    return room < kSocketChunk ? room : kSocketChunk;
}

HttpHeaderResult TakeHeaderLines(char (&buffer)[kHeaderBufferSize], HttpHeaderState& state,
                                 const std::function<void(const char*)>& onLine) {
    HttpHeaderResult result;
    buffer[state.held] = '\0';
    // The network may have cut the empty line off from the last header line:
    // the end is recognised however the bytes were split.
    if (state.statusLineRead && TakeHeaderEnd(buffer, state, result)) return result;
    while (char* end = FindLineEnd(buffer, state.held)) {
        uint32_t lineLength = static_cast<uint32_t>(end - buffer);
        // The line is taken once its end and the first two bytes of the next line are here.
        if (state.held - lineLength - 1 < 3) break;
        uint32_t endLength = LineEndAt(end).length;
        *end = '\0';
        ReadLine(buffer, state);
        onLine(buffer);
        uint32_t taken = lineLength + endLength;
        state.held -= taken;
        memmove(buffer, buffer + taken, state.held + 1);
        if (TakeHeaderEnd(buffer, state, result)) return result;
        buffer[state.held] = '\0';
    }
    return result;
}
