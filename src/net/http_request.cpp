#include "net/http_request.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/trace.h"
#include "net/url.h"
#include "shared/deployment.h"
#include "shared/names.h"

namespace {

// The text for the trace, its unsafe bytes written as %XX.
std::string Shown(const char* text) {
    std::string shown;
    for (; *text && shown.size() < 300; text++) {
        char escaped[4];
        snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(*text));
        const char one[2] = {*text, '\0'};
        shown += IsAddressText(one) ? one : escaped;
    }
    return shown;
}

}  // namespace

uint32_t BuildHttpRequest(const HttpRequest& request, char* buffer, size_t size) {
    const char* path = request.path ? request.path : "/";
    const char* body = request.body ? request.body : "";
    for (const char* part : {request.method, request.host, path}) {
        if (!IsAddressText(part)) {
            Trace("BuildHttpRequest(): Error - refused an address with a blank or control byte: %s",
                  Shown(part).c_str());
            return 0;
        }
    }
    char line[1200];
    std::string text;
    if (request.viaProxy) {
        snprintf(line, sizeof line, "%s http://%s:%d", request.method, request.host, static_cast<int>(request.port));
        text = std::string(line) + path + " HTTP/1.0\r\n";
    } else {
        text = std::string(request.method) + " " + path + " HTTP/1.0\r\n";
    }
    text += "Accept: */*\r\n";
    text += std::string("User-Agent: Tidewell ") + kProductVersion + "\r\n";
    text += std::string("From: ") + kFromAddress + "\r\n";
    text += std::string("Referer: ") + kRefererUrl + "\r\n";
    if (*body) {
        snprintf(line, 100, "Content-length: %ld\r\n", static_cast<long>(strlen(body)));
        text += line;
    }
    text += "\r\n";
    text += body;
    if (text.size() >= size) return 0;
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<uint32_t>(text.size());
}
