#include "base/strutil.h"

#include <climits>
#include <cstring>

size_t StrCopy(char* dst, size_t size, const char* src) {
    if (size == 0) return 0;
    size_t len = src ? StrLenBounded(src, size - 1) : 0;
    memmove(dst, src ? src : "", len);
    dst[len] = '\0';
    return len;
}

size_t StrAppend(char* dst, size_t size, const char* src) {
    if (size == 0) return 0;
    size_t used = StrLenBounded(dst, size - 1);
    return used + StrCopy(dst + used, size - used, src);
}

size_t StrLenBounded(const char* text, size_t max) {
    const void* nul = memchr(text, '\0', max);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : max;
}

size_t StrCopyField(char* dst, size_t dstSize, const char* src, size_t srcSize) {
    if (dstSize == 0) return 0;
    size_t len = StrLenBounded(src, srcSize);
    if (len > dstSize - 1) len = dstSize - 1;
    memmove(dst, src, len);
    dst[len] = '\0';
    return len;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int StrCompareNoCase(const char* a, const char* b) {
    for (;; a++, b++) {
        int diff = static_cast<unsigned char>(LowerAscii(*a)) - static_cast<unsigned char>(LowerAscii(*b));
        if (diff != 0 || *a == '\0') return diff;
    }
}

bool StrEndsWithNoCase(const char* text, const char* suffix) {
    size_t textLen = strlen(text);
    size_t suffixLen = strlen(suffix);
    return textLen >= suffixLen && StrCompareNoCase(text + textLen - suffixLen, suffix) == 0;
}

bool StrStartsWithNoCase(const char* text, const char* prefix) {
    for (; *prefix; text++, prefix++) {
        if (LowerAscii(*text) != LowerAscii(*prefix)) return false;
    }
    return true;
}

void StrToUpper(char* text) {
    for (; *text; text++) {
        if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
    }
}

bool IsSpaceChar(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string Trimmed(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && IsSpaceChar(text[first])) first++;
    while (last > first && IsSpaceChar(text[last - 1])) last--;
    return text.substr(first, last - first);
}

int32_t ParseLeadingInt(const char* text) {
    while (IsSpaceChar(*text)) text++;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') text++;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int32_t>(value);
}

uint32_t ParseLeadingNumber32(const char* text) {
    while (IsSpaceChar(*text)) text++;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') text++;
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; text++) value = value * 10 + static_cast<uint32_t>(*text - '0');
    return negative ? 0u - value : value;
}
