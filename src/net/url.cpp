#include "net/url.h"

#include <cstdlib>
#include <cstring>

#include "base/strutil.h"

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The decimal port at text; -1 when it does not fit a port.
int32_t PortAt(const char* text) {
    int64_t port = 0;
    for (; IsDigit(*text); text++) {
        port = port * 10 + (*text - '0');
        if (port > 65535) return -1;
    }
    return static_cast<int32_t>(port);
}

}  // namespace

bool IsAddressText(const char* text) {
    for (; *text; text++) {
        unsigned char c = static_cast<unsigned char>(*text);
        if (c <= 0x20 || c == 0x7F) return false;
    }
    return true;
}

void CUrl::Free() {
    free(copy);
    free(path);
    copy = nullptr;
    path = nullptr;
    scheme = nullptr;
    host = nullptr;
    port = 80;
}

int CUrl::Parse(const char* url) {
    Free();
    if (!url || !*url || !IsAddressText(url)) return 0;
    copy = strdup(url);
    if (!copy) return 0;

    char* cursor = copy;
    if (char* separator = strstr(copy, "://")) {
        *separator = '\0';
        for (char* c = copy; *c; c++) *c = LowerAscii(*c);
        scheme = copy;
        cursor = separator + 1;  // the first "/" of "//"
    } else {
        scheme = "http";
    }

    if (cursor[0] == '/' && cursor[1] == '/') {
        cursor += 2;
        if (!*cursor) return 0;
        char* hostStart = cursor;
        cursor += strcspn(cursor, ":/");
        if (*cursor == ':') {
            *cursor++ = '\0';
            if (IsDigit(*cursor)) port = PortAt(cursor);
            if (port < 0) return 0;
            cursor += strcspn(cursor, "/");
            if (*cursor == '/') cursor++;
        } else if (*cursor == '/') {
            *cursor++ = '\0';
        }
        if (!*hostStart) return 0;
        host = hostStart;
        if (!*cursor) return 1;
    }

    size_t length = strcspn(cursor, "#");
    if (length > kUrlPathBuffer - 2) return 0;
    path = static_cast<char*>(malloc(length + 2));
    if (!path) return 0;
    path[0] = '/';
    memcpy(path + 1, cursor, length);
    path[length + 1] = '\0';
    return 1;
}
