#include "net/text.h"

#include <cstring>

#include "base/strutil.h"

namespace {

struct Entity {
    const char* name;
    char replacement;
};

constexpr Entity kEntities[] = {
    {"&quot;", '"'}, {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&nbsp;", ' '},
};

// The character of "&#n;": the low 8 bits of n read as atoi reads it; 0 for none.
char NumericEntity(const char* digits) {
    return static_cast<char>(ParseLeadingInt(digits) & 0xFF);
}

// The character that replaces the entity at amp, or 0 when the "&" stays.
char Replacement(const char* amp) {
    for (const Entity& entity : kEntities) {
        if (StrStartsWithNoCase(amp, entity.name)) return entity.replacement;
    }
    if (amp[1] == '#') return NumericEntity(amp + 2);
    return 0;
}

}  // namespace

void DecodeEntities(char* text) {
    if (!text) return;
    for (char* c = text; *c; c++) {
        if (*c != '&') continue;
        const char* semicolon = strchr(c + 1, ';');
        if (!semicolon) continue;
        ptrdiff_t distance = semicolon - c;
        if (distance < 3 || distance > 9) continue;
        if (char replacement = Replacement(c)) *c = replacement;
        memmove(c + 1, semicolon + 1, strlen(semicolon + 1) + 1);
    }
}

int TrimWhiteSpace(char* text) {
    if (!text || !*text) return 0;
    char* first = text;
    while (*first && IsSpaceChar(*first)) first++;
    size_t length = strlen(first);
    while (length > 0 && IsSpaceChar(first[length - 1])) length--;
    first[length] = '\0';
    if (first != text) memmove(text, first, length + 1);
    return 1;
}
