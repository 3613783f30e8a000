#include "json.h"

#include <cstdio>

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}

    bool Document(JsonValue& value, std::string& error) {
        bool ok = Value(value, 0) && (SkipBlanks(), at_ == text_.size());
        if (!ok) error = "not JSON at offset " + std::to_string(at_);
        return ok;
    }

private:
    static constexpr int kMaxDepth = 64;

    void SkipBlanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            at_++;
    }

    bool Take(char c) {
        SkipBlanks();
        if (at_ < text_.size() && text_[at_] == c) {
            at_++;
            return true;
        }
        return false;
    }

    bool Word(const char* word) {
        std::string expected(word);
        if (text_.compare(at_, expected.size(), expected) != 0) return false;
        at_ += expected.size();
        return true;
    }

    bool Value(JsonValue& value, int depth) {
        SkipBlanks();
        if (at_ >= text_.size() || depth > kMaxDepth) return false;
        char c = text_[at_];
        if (c == '{') return Object(value, depth);
        if (c == '[') return Array(value, depth);
        if (c == '"') {
            value.type = JsonValue::Type::String;
            return String(value.text);
        }
        if (c == '-' || (c >= '0' && c <= '9')) return Number(value);
        if (Word("true")) {
            value.type = JsonValue::Type::Bool;
            value.boolean = true;
            return true;
        }
        if (Word("false")) {
            value.type = JsonValue::Type::Bool;
            return true;
        }
        if (Word("null")) return true;
        return false;
    }

    bool Number(JsonValue& value) {
        bool negative = text_[at_] == '-';
        if (negative) at_++;
        size_t start = at_;
        uint64_t magnitude = 0;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
            magnitude = magnitude * 10 + static_cast<uint64_t>(text_[at_++] - '0');
            if (magnitude > (1ull << 40)) return false;  // far beyond any field
        }
        if (at_ == start) return false;
        value.type = JsonValue::Type::Number;
        value.number = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
        return true;
    }

    static int HexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool Escape(std::string& out) {
        if (at_ >= text_.size()) return false;
        char c = text_[at_++];
        switch (c) {
            case '"': case '\\': case '/': out += c; return true;
            case 'b': out += '\b'; return true;
            case 'f': out += '\f'; return true;
            case 'n': out += '\n'; return true;
            case 'r': out += '\r'; return true;
            case 't': out += '\t'; return true;
            case 'u': break;
            default: return false;
        }
        if (at_ + 4 > text_.size()) return false;
        int code = 0;
        for (int i = 0; i < 4; i++) {
            int digit = HexDigit(text_[at_++]);
            if (digit < 0) return false;
            code = code * 16 + digit;
        }
        out += code <= 0xFF ? static_cast<char>(code) : '?';  // single-byte texts
        return true;
    }

    bool String(std::string& out) {
        at_++;  // the opening quote
        while (at_ < text_.size()) {
            char c = text_[at_++];
            if (c == '"') return true;
            if (c == '\\') {
                if (!Escape(out)) return false;
            } else {
                out += c;
            }
        }
        return false;
    }

    bool Array(JsonValue& value, int depth) {
        value.type = JsonValue::Type::Array;
        at_++;
        if (Take(']')) return true;
        do {
            value.items.emplace_back();
            if (!Value(value.items.back(), depth + 1)) return false;
        } while (Take(','));
        return Take(']');
    }

    bool Object(JsonValue& value, int depth) {
        value.type = JsonValue::Type::Object;
        at_++;
        if (Take('}')) return true;
        do {
            SkipBlanks();
            std::string name;
            if (at_ >= text_.size() || text_[at_] != '"' || !String(name) || !Take(':')) return false;
            value.members.emplace_back(name, JsonValue());
            if (!Value(value.members.back().second, depth + 1)) return false;
        } while (Take(','));
        return Take('}');
    }

    const std::string& text_;
    size_t at_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(const std::string& name) const {
    for (const auto& member : members) {
        if (member.first == name) return &member.second;
    }
    return nullptr;
}

bool ParseJson(const std::string& text, JsonValue& value, std::string& error) {
    value = JsonValue();
    return Parser(text).Document(value, error);
}

std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}
