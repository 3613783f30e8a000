// Reading the status line and header lines of an HTTP response as they
// arrive in pieces, in a buffer of 2000 bytes. A line is taken only when its
// end and the first two bytes of the next line are there; CR LF, a lone CR
// and a lone LF all end a line; an empty line (blanks and tabs before its
// end allowed) ends the header.
#pragma once

#include <cstdint>
#include <functional>

constexpr uint32_t kHeaderBufferSize = 2000;
constexpr uint32_t kHeaderHeldMax = kHeaderBufferSize - 1;  // a NUL always follows
// Reads and writes move at most this much per socket event.
constexpr uint32_t kSocketChunk = 100;

struct HttpHeaderState {
    uint32_t held = 0;  // header bytes in the buffer
    bool statusLineRead = false;
    int32_t statusCode = 0;     // 0 until the status line gave one
    int32_t contentLength = 0;  // 0 without a Content-Length line
};

struct HttpHeaderResult {
    bool complete = false;  // the empty line was found
    const char* bodyStart = nullptr;
    uint32_t bodyLength = 0;  // body bytes that came with the header
};

// Room for the next receive behind the held bytes: at most kSocketChunk, 0
// when the buffer holds kHeaderHeldMax bytes already.
uint32_t HeaderReceiveRoom(const HttpHeaderState& state);

// Takes every complete line out of the held bytes, handing each to onLine
// (the status line first) after reading its status code or Content-Length.
// When the header is complete the result points at the body bytes that
// followed it, inside the buffer; the caller copies them before the next call.
HttpHeaderResult TakeHeaderLines(char (&buffer)[kHeaderBufferSize], HttpHeaderState& state,
                                 const std::function<void(const char*)>& onLine);
