// The text of an HTTP/1.0 request, as the agent sends it: the request line
// (direct, or with the whole target address when a proxy carries it), the
// fixed header lines, a Content-length line only when there is a body, the
// empty line and the body. No Host line: the service's servers answer
// HTTP/1.0 without it.
#pragma once

#include <cstddef>
#include <cstdint>

struct HttpRequest {
    const char* method;  // "GET" or "POST"
    const char* host;    // the target, also when a proxy carries the request
    int32_t port;
    const char* path;  // absent: "/"
    const char* body;  // absent: none
    bool viaProxy;
};

// Writes the request text into buffer (NUL-terminated) and returns its
// length; 0 when it would not fit (the caller keeps path and body short), or
// when the method, host or path holds a byte no address may hold (traced).
uint32_t BuildHttpRequest(const HttpRequest& request, char* buffer, size_t size);
