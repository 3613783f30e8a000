// CUrl: splits a URL from a topic record into the host, port and path that
// the HTTP client takes. Every URL is fetched over HTTP whatever its scheme.
#pragma once

#include <cstdint>

#include "base/limits.h"

class CUrl {
public:
    CUrl() = default;
    explicit CUrl(const char* url) { Parse(url); }
    ~CUrl() { Free(); }
    CUrl(const CUrl&) = delete;
    CUrl& operator=(const CUrl&) = delete;

    // Non-zero on success. Replaces any earlier result. Fails for an absent
    // or empty URL, one with a byte that no address may hold (see
    // IsAddressText), an authority without a host, a port above 65535, and a
    // path longer than the path buffer holds (a cut path would ask for
    // another page).
    int Parse(const char* url);

    char* copy = nullptr;          // the whole URL; scheme and host point into it
    const char* scheme = nullptr;  // lower-cased; "http" when the URL names none
    const char* host = nullptr;    // absent without an authority part
    int32_t port = 80;
    char* path = nullptr;  // starts with "/"; absent when the URL has none

private:
    void Free();
};

// True when the text holds no blank, control byte (0x20 and below) or DEL:
// the only texts that may go into a request line or a host lookup. An
// address comes from the network, where an entity decoded to CR LF would
// otherwise end the request line and begin header lines, or a second
// request, of the sender's choosing.
bool IsAddressText(const char* text);
