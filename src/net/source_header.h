// The source header that a download writes at the top of its file: where the
// file came from and the response's header lines, in the comment syntax of
// the file's own format so that its consumer still reads it. INI files get
// lines starting with "; ", HTML files an HTML comment.
#pragma once

#include <cstdint>
#include <string>

enum class SourceHeaderStyle { Ini, Html };

// The first line(s): the address, with the port always written.
std::string SourceHeaderStart(SourceHeaderStyle style, const char* host, const char* path, int32_t port);
// One response header line.
std::string SourceHeaderLine(SourceHeaderStyle style, const char* line);
// What closes the header before the first body byte.
std::string SourceHeaderEnd(SourceHeaderStyle style);
