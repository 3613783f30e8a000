// Bounded text helpers for the fixed-size, NUL-terminated buffers that every
// record of the agent uses. None of them ever writes past the size it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

template <typename T, size_t N>
constexpr size_t dimof(T (&)[N]) {
    return N;
}

// Copies at most size - 1 bytes of src into dst and terminates it. An absent
// src gives an empty text. Returns the length stored.
size_t StrCopy(char* dst, size_t size, const char* src);

// Appends src to the text in dst, keeping the whole within size bytes.
// Returns the length of the result.
size_t StrAppend(char* dst, size_t size, const char* src);

// Length of a text that may lack its terminator: never reads more than max bytes.
size_t StrLenBounded(const char* text, size_t max);

// Copies a field that another process may have left unterminated: at most
// srcSize bytes are read, and dst always ends with a NUL.
size_t StrCopyField(char* dst, size_t dstSize, const char* src, size_t srcSize);

// Case-insensitive comparisons in the C locale (ASCII letters only), as the
// system's names and keys are compared.
char LowerAscii(char c);
int StrCompareNoCase(const char* a, const char* b);
bool StrEndsWithNoCase(const char* text, const char* suffix);
// True when text begins with prefix; text may be shorter than prefix.
bool StrStartsWithNoCase(const char* text, const char* prefix);
void StrToUpper(char* text);

// The C library's isspace in the "C" locale: blank, tab, LF, VT, FF, CR.
// Bytes above 127 are never white space.
bool IsSpaceChar(char c);

// The text without its leading and trailing white space.
std::string Trimmed(const std::string& text);

// The leading decimal number of a text the way atoi/atol read it: leading
// white space, one optional sign, digits up to the first other character; 0
// when there is no digit. Out-of-range values are clamped to the 32-bit range
// so that the result is the same on every platform.
int32_t ParseLeadingInt(const char* text);

// The same leading number read into 32 bits the way the classic atol did it,
// by wrapping: "4000000000" stays 4000000000 and "-1" gives 0xFFFFFFFF. For
// numbers that are unsigned 32-bit values, such as message numbers.
uint32_t ParseLeadingNumber32(const char* text);
