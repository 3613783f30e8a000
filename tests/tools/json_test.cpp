// The data-file tool's JSON: what it accepts, what it refuses, and that every
// byte of a text comes back as it went in.
#include "json.h"

#include <gtest/gtest.h>

#include <string>

// Objects, numbers and texts travel in datafile_tool_test; here what its
// descriptions do not hold.
TEST(Json, ReadsTheDescriptionsShape) {
    JsonValue root;
    std::string error;
    ASSERT_TRUE(ParseJson(R"( {"n": -1, "s": "a \"b\" \\ c\u00e9\n", "t": [true, false, null, []]} )", root, error))
        << error;
    EXPECT_EQ(-1, root.Find("n")->number);
    EXPECT_EQ("a \"b\" \\ c\xe9\n", root.Find("s")->text);
    const std::vector<JsonValue>& items = root.Find("t")->items;
    ASSERT_EQ(4u, items.size());
    EXPECT_TRUE(items[0].boolean);
    EXPECT_EQ(JsonValue::Type::Bool, items[1].type);
    EXPECT_FALSE(items[1].boolean);
    EXPECT_EQ(JsonValue::Type::Null, items[2].type);
    EXPECT_EQ(JsonValue::Type::Array, items[3].type);
    EXPECT_EQ(nullptr, root.Find("missing"));
}

TEST(Json, RefusesWhatIsNotJsonAndSaysWhere) {
    const std::string bad[] = {"", "{", "{\"a\" 1}", "[1,]", "{\"a\": 1.5}", "\"open", "\"\\x\"", "\"\\u12\"", "tru",
                               "[1] 2", "{1: 2}", "99999999999999999999",
                               std::string(100, '[') + std::string(100, ']')};  // nesting is bounded
    for (const std::string& text : bad) {
        JsonValue value;
        std::string error;
        EXPECT_FALSE(ParseJson(text, value, error)) << text;
        EXPECT_NE(std::string::npos, error.find("offset")) << text;
    }
}

TEST(Json, QuotedTextsComeBackByteForByte) {
    std::string every;
    for (int byte = 1; byte < 256; byte++) every += static_cast<char>(byte);
    std::string quoted = JsonQuote(every);
    for (char c : quoted) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << int(c);  // plain ASCII on the way
    JsonValue value;
    std::string error;
    ASSERT_TRUE(ParseJson(quoted, value, error)) << error;
    EXPECT_EQ(every, value.text);
}
