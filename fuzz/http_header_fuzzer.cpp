// Fuzzes the HTTP response header reader as the client drives it, in pieces
// of at most the room it offers (sizes from the input's end), then again a
// byte at a time: both readings must agree on everything.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "memory_os.h"
#include "net/http_header.h"

namespace {

struct Reading {
    std::vector<std::string> lines;
    HttpHeaderState state;
    bool complete = false;
    bool overflow = false;  // the buffer filled up without a line end
    std::string body;       // what came with the header
    std::string bytes;      // every byte delivered
};

template <typename Next>
Reading Read(Next next) {
    Reading reading;
    char buffer[kHeaderBufferSize];
    for (;;) {
        uint32_t room = HeaderReceiveRoom(reading.state);
        FUZZ_CHECK(room <= kSocketChunk && reading.state.held + room <= kHeaderHeldMax);
        if ((reading.overflow = room == 0)) return reading;
        std::string piece = next(room);
        if (piece.empty()) return reading;
        FUZZ_CHECK(piece.size() <= room);
        memcpy(buffer + reading.state.held, piece.data(), piece.size());
        reading.bytes += piece;
        reading.state.held += static_cast<uint32_t>(piece.size());
        HttpHeaderResult result =
            TakeHeaderLines(buffer, reading.state, [&](const char* line) { reading.lines.emplace_back(line); });
        FUZZ_CHECK(reading.state.held <= kHeaderHeldMax);
        if ((reading.complete = result.complete)) {
            FUZZ_CHECK(result.bodyStart >= buffer && result.bodyStart + result.bodyLength <= buffer + kHeaderHeldMax);
            reading.body.assign(result.bodyStart, result.bodyLength);
            return reading;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Reading pieces = Read(
        [&](uint32_t room) { return input.ConsumeBytesAsString(input.ConsumeIntegralInRange<uint32_t>(1, room)); });
    // What the pieces did not reach is the rest of the same response.
    const std::string stream = pieces.bytes + input.ConsumeRemainingBytesAsString();
    size_t position = 0;
    Reading bytes = Read([&](uint32_t) { return position < stream.size() ? std::string(1, stream[position++]) : ""; });

    FUZZ_CHECK(pieces.lines == bytes.lines && pieces.complete == bytes.complete && pieces.overflow == bytes.overflow);
    FUZZ_CHECK(pieces.state.statusCode == bytes.state.statusCode &&
               pieces.state.contentLength == bytes.state.contentLength);
    FUZZ_CHECK(!pieces.complete ||
               pieces.body + stream.substr(pieces.bytes.size()) == bytes.body + stream.substr(bytes.bytes.size()));
    return 0;
}
