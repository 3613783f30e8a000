#include "base/profile.h"

#include <cstring>
#include <vector>

#include "base/strutil.h"

namespace {

// One line of the text, without its line end.
struct Line {
    size_t begin;
    size_t end;   // the text of the line ends here (at its line end or its first NUL)
    size_t next;  // start of the following line
};

Line LineAt(const std::string& text, size_t pos) {
    size_t stop = text.find_first_of("\r\n", pos);
    if (stop == std::string::npos) stop = text.size();
    size_t next = stop;
    if (next < text.size() && text[next] == '\r') next++;
    if (next < text.size() && text[next] == '\n' && (next == stop || text[stop] == '\r')) next++;
    const void* nul = memchr(text.data() + pos, '\0', stop - pos);
    size_t end = nul ? static_cast<size_t>(static_cast<const char*>(nul) - text.data()) : stop;
    return {pos, end, next};
}

void TrimRange(const std::string& text, size_t& begin, size_t& end) {
    while (begin < end && IsSpaceChar(text[begin])) begin++;
    while (end > begin && IsSpaceChar(text[end - 1])) end--;
}

// A section's or key's name as it is compared; an absent one is empty.
std::string NameOf(const char* name) {
    return Trimmed(name ? name : "");
}

bool EqualNoCase(const std::string& text, size_t begin, size_t end, const std::string& name) {
    if (end - begin != name.size()) return false;
    for (size_t i = 0; i < name.size(); i++) {
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
        const char* close = nullptr;
        for (size_t i = end; i > begin + 1; i--) {
            if (text[i - 1] == ']') {
                close = text.data() + i - 1;
                break;
            }
        }
        if (close) {
            parsed.kind = LineKind::Section;
            parsed.nameBegin = begin + 1;
            parsed.nameEnd = static_cast<size_t>(close - text.data());
            TrimRange(text, parsed.nameBegin, parsed.nameEnd);
            return parsed;
        }
    }
    parsed.kind = LineKind::Key;
    const void* found = memchr(text.data() + begin, '=', end - begin);
    parsed.nameBegin = begin;
    parsed.nameEnd = end;
    if (!found) return parsed;
    size_t eq = static_cast<size_t>(static_cast<const char*>(found) - text.data());
    parsed.nameEnd = eq;
    TrimRange(text, parsed.nameBegin, parsed.nameEnd);
    parsed.valueBegin = eq + 1;
    parsed.valueEnd = end;
    TrimRange(text, parsed.valueBegin, parsed.valueEnd);
    parsed.hasValue = true;
    return parsed;
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The length of the UTF-8 byte-order mark the text starts with: 3 or 0.
size_t MarkLength(const std::string& text) {
    return text.compare(0, 3, kByteOrderMark) == 0 ? 3 : 0;
}

// The text without a UTF-8 byte-order mark.
std::string ProfileText(const char* bytes, size_t length) {
    std::string text(bytes ? bytes : "", bytes ? length : 0);
    text.erase(0, MarkLength(text));
    return text;
}

// Calls visit(line, parsed) for every line of the first section of the name.
// Returns whether that section exists; sectionEnd is set just after its last
// non-blank line (or its header).
template <typename Visit>
bool VisitSection(const std::string& text, const std::string& section, Visit visit, size_t* sectionEnd = nullptr) {
    bool inSection = section.empty();  // keys before any header belong to ""
    bool found = inSection;
    if (sectionEnd) *sectionEnd = 0;
    for (size_t pos = 0; pos < text.size();) {
        Line line = LineAt(text, pos);
        ParsedLine parsed = ParseLine(text, line);
        pos = line.next;
        if (parsed.kind == LineKind::Section) {
            if (found) break;  // only the first section of the name counts
            inSection = EqualNoCase(text, parsed.nameBegin, parsed.nameEnd, section);
            found = inSection;
            if (inSection && sectionEnd) *sectionEnd = line.next;
            continue;
        }
        if (!inSection) continue;
        if (parsed.kind != LineKind::Blank && sectionEnd) *sectionEnd = line.next;
        if (!visit(line, parsed)) break;
    }
    return found;
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
    std::string text = ProfileText(bytes, length);
    std::string wanted = NameOf(key);
    bool found = false;
    size_t begin = 0, end = 0;
    VisitSection(text, NameOf(section), [&](const Line&, const ParsedLine& parsed) {
        if (parsed.kind != LineKind::Key || !EqualNoCase(text, parsed.nameBegin, parsed.nameEnd, wanted)) return true;
        found = parsed.hasValue;  // the first key of the name decides, with or without a value
        begin = parsed.valueBegin;
        end = parsed.valueEnd;
        return false;
    });
    if (found) {
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

uint32_t ProfileGetSection(const char* bytes, size_t length, const char* section, char* out, uint32_t size) {
    if (!out || size == 0) return 0;
    std::string text = ProfileText(bytes, length);
    std::string lines;  // each entry followed by its NUL
    bool unnamedListed = false;
    // Unlike a single value, a whole section is asked for by its exact name.
    VisitSection(text, section ? section : "", [&](const Line&, const ParsedLine& parsed) {
        if (parsed.kind != LineKind::Key) return true;
        bool unnamed = parsed.nameBegin == parsed.nameEnd;
        if (unnamed && unnamedListed) return true;  // the system lists one key without a name only
        unnamedListed = unnamedListed || unnamed;
        lines.append(text, parsed.nameBegin, parsed.nameEnd - parsed.nameBegin);
        if (parsed.hasValue) lines += "=" + text.substr(parsed.valueBegin, parsed.valueEnd - parsed.valueBegin);
        lines += '\0';
        return true;
    });
    // The system wants room for one more character than the final NUL.
    if (lines.size() + 2 <= size) {
        memcpy(out, lines.data(), lines.size());
        out[lines.size()] = '\0';
        return static_cast<uint32_t>(lines.size());
    }
    if (size < 2) {
        out[0] = '\0';
        return 0;
    }
    memcpy(out, lines.data(), size - 2);
    out[size - 2] = '\0';
    out[size - 1] = '\0';
    return size - 2;
}

std::string ProfileSetString(const std::string& file, const char* section, const char* key, const char* value) {
    // The edit must see the lines a read sees: behind the mark, which stays.
    const std::string mark = file.substr(0, MarkLength(file));
    const std::string text = file.substr(mark.size());
    std::string entry = std::string(key) + "=" + value + "\r\n";
    std::string wanted = NameOf(key);
    size_t sectionEnd = 0;
    bool replaced = false;
    std::string result;
    bool found = VisitSection(
        text, NameOf(section),
        [&](const Line& line, const ParsedLine& parsed) {
            if (parsed.kind != LineKind::Key || !EqualNoCase(text, parsed.nameBegin, parsed.nameEnd, wanted)) {
                return true;
            }
            result = text.substr(0, line.begin) + entry + text.substr(line.next);
            replaced = true;
            return false;
        },
        &sectionEnd);
    if (replaced) return mark + result;
    if (found && !NameOf(section).empty()) {
        std::string head = text.substr(0, sectionEnd);
        if (!head.empty() && head.back() != '\n') head += "\r\n";
        return mark + head + entry + text.substr(sectionEnd);
    }
    result = text;
    if (!result.empty() && result.back() != '\n') result += "\r\n";
    return mark + result + "[" + section + "]\r\n" + entry;
}
