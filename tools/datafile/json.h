// A small JSON reader and the string escaping for writing it: enough for the
// data-file tool's descriptions. Texts of the agent are single bytes; bytes
// above 127 travel as \u00XX so that the JSON stays ASCII and every byte
// comes back as it was.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct JsonValue {
    enum class Type { Null, Bool, Number, String, Array, Object };
    Type type = Type::Null;
    bool boolean = false;
    int64_t number = 0;  // integers only: the records hold nothing else
    std::string text;
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    // The member of that name, or null.
    const JsonValue* Find(const std::string& name) const;
};

// Parses a whole document. False with a message naming the offset when the
// text is not JSON (or holds a fraction or an exponent).
bool ParseJson(const std::string& text, JsonValue& value, std::string& error);

// The text as a quoted JSON string.
std::string JsonQuote(const std::string& text);
