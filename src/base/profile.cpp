#include "base/profile.h"

#include <cstring>

#include "base/strutil.h"

namespace {

// One line of the text, without its line end.
struct Line {
    size_t begin;
    size_t end;
    size_t next;  // start of the following line
};

Line LineAt(const std::string& text, size_t pos) {
    size_t nl = text.find('\n', pos);
    size_t next = nl == std::string::npos ? text.size() : nl + 1;
    size_t end = nl == std::string::npos ? text.size() : nl;
    if (end > pos && text[end - 1] == '\r') end--;
    return {pos, end, next};
}

void TrimRange(const std::string& text, size_t& begin, size_t& end) {
    while (begin < end && IsSpaceChar(text[begin])) begin++;
    while (end > begin && IsSpaceChar(text[end - 1])) end--;
}

bool EqualNoCase(const std::string& text, size_t begin, size_t end, const char* name) {
    size_t len = strlen(name);
    if (end - begin != len) return false;
    for (size_t i = 0; i < len; i++) {
        if (LowerAscii(text[begin + i]) != LowerAscii(name[i])) return false;
    }
    return true;
}

enum class LineKind { Blank, Comment, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Blank;
    size_t nameBegin = 0, nameEnd = 0;    // section or key name
    size_t valueBegin = 0, valueEnd = 0;  // key value
    bool hasValue = false;
};

ParsedLine ParseLine(const std::string& text, const Line& line) {
    ParsedLine parsed;
    size_t begin = line.begin, end = line.end;
    TrimRange(text, begin, end);
    if (begin == end) return parsed;
    if (text[begin] == ';') {
        parsed.kind = LineKind::Comment;
        return parsed;
    }
    if (text[begin] == '[') {
        size_t close = text.rfind(']', end - 1);
        if (close != std::string::npos && close > begin) {
            parsed.kind = LineKind::Section;
            parsed.nameBegin = begin + 1;
            parsed.nameEnd = close;
            return parsed;
        }
    }
    parsed.kind = LineKind::Key;
    const void* found = memchr(text.data() + begin, '=', end - begin);
    if (!found) {
        parsed.nameBegin = begin;
        parsed.nameEnd = end;
        return parsed;
    }
    size_t eq = static_cast<size_t>(static_cast<const char*>(found) - text.data());
    parsed.nameBegin = begin;
    parsed.nameEnd = eq;
    TrimRange(text, parsed.nameBegin, parsed.nameEnd);
    parsed.valueBegin = eq + 1;
    parsed.valueEnd = end;
    TrimRange(text, parsed.valueBegin, parsed.valueEnd);
    parsed.hasValue = true;
    return parsed;
}

// Where a key sits, or where it would go.
struct KeyPlace {
    bool sectionFound = false;
    bool keyFound = false;
    Line keyLine{};
    ParsedLine key;
    size_t sectionEnd = 0;  // just after the last non-blank line of the section
};

KeyPlace FindKey(const std::string& text, const char* section, const char* key) {
    KeyPlace place;
    bool inSection = false;
    for (size_t pos = 0; pos < text.size();) {
        Line line = LineAt(text, pos);
        ParsedLine parsed = ParseLine(text, line);
        pos = line.next;
        if (parsed.kind == LineKind::Section) {
            if (place.sectionFound) break;  // only the first section of the name counts
            inSection = EqualNoCase(text, parsed.nameBegin, parsed.nameEnd, section);
            place.sectionFound = inSection;
            place.sectionEnd = line.next;
            continue;
        }
        if (!inSection) continue;
        if (parsed.kind != LineKind::Blank) place.sectionEnd = line.next;
        if (parsed.kind == LineKind::Key && EqualNoCase(text, parsed.nameBegin, parsed.nameEnd, key)) {
            place.keyFound = true;
            place.keyLine = line;
            place.key = parsed;
            return place;
        }
    }
    return place;
}

uint32_t CopyOut(const char* value, size_t len, char* out, uint32_t size) {
    if (len > size - 1) len = size - 1;
    memcpy(out, value, len);
    out[len] = '\0';
    return static_cast<uint32_t>(len);
}

}  // namespace

uint32_t ProfileGetString(const char* bytes, size_t length, const char* section, const char* key, const char* def,
                          char* out, uint32_t size) {
    if (!out || size == 0) return 0;
    std::string text(bytes ? bytes : "", bytes ? length : 0);
    KeyPlace place = FindKey(text, section, key);
    if (place.keyFound && place.key.hasValue) {
        size_t begin = place.key.valueBegin, end = place.key.valueEnd;
        if (end - begin >= 2 && (text[begin] == '"' || text[begin] == '\'') && text[end - 1] == text[begin]) {
            begin++;
            end--;
        }
        return CopyOut(text.data() + begin, end - begin, out, size);
    }
    if (!def) def = "";
    size_t len = strlen(def);
    while (len > 0 && def[len - 1] == ' ') len--;
    return CopyOut(def, len, out, size);
}

std::string ProfileSetString(const std::string& text, const char* section, const char* key, const char* value) {
    std::string entry = std::string(key) + "=" + value + "\r\n";
    KeyPlace place = FindKey(text, section, key);
    if (place.keyFound) {
        return text.substr(0, place.keyLine.begin) + entry + text.substr(place.keyLine.next);
    }
    if (place.sectionFound) {
        std::string head = text.substr(0, place.sectionEnd);
        if (!head.empty() && head.back() != '\n') head += "\r\n";
        return head + entry + text.substr(place.sectionEnd);
    }
    std::string result = text;
    if (!result.empty() && result.back() != '\n') result += "\r\n";
    return result + "[" + section + "]\r\n" + entry;
}
