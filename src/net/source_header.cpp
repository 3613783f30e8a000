#include "net/source_header.h"

#include <cstdio>

std::string SourceHeaderStart(SourceHeaderStyle style, const char* host, const char* path, int32_t port) {
    // The line is formatted into at most 1000 bytes.
    char line[1000];
    host = host ? host : "";
    path = path ? path : "/";
    if (style == SourceHeaderStyle::Ini) {
        snprintf(line, sizeof line, "; http://%s:%u%s\r\n", host, static_cast<unsigned>(port), path);
    } else {
        snprintf(line, sizeof line, "<!--\r\nhttp://%s:%u%s\r\n", host, static_cast<unsigned>(port), path);
    }
    return line;
}

std::string SourceHeaderLine(SourceHeaderStyle style, const char* line) {
    if (!line) return "";
    return (style == SourceHeaderStyle::Ini ? "; " : "") + std::string(line) + "\r\n";
}

std::string SourceHeaderEnd(SourceHeaderStyle style) {
    return style == SourceHeaderStyle::Ini ? "\r\n" : "-->\r\n";
}
