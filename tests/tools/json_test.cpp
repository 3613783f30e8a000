// The data-file tool's JSON: what it accepts, what it refuses, and that every
// byte of a text comes back as it went in.
#include "json.h"

#include <gtest/gtest.h>

#include <string>

TEST(Json, ReadsTheDescriptionsShape) {
    JsonValue root;
    std::string error;
    ASSERT_TRUE(ParseJson(R"( {"header": {"StartCount": 41, "Passive": -1},
                              "topics": [{"Title": "a \"b\" \\ c\u00e9\n", "on": true, "off": false, "x": null}, []]} )",
                          root, error))
        << error;
    const JsonValue* header = root.Find("header");
    ASSERT_NE(nullptr, header);
    EXPECT_EQ(41, header->Find("StartCount")->number);
    EXPECT_EQ(-1, header->Find("Passive")->number);
    const JsonValue& topic = root.Find("topics")->items[0];
    EXPECT_EQ("a \"b\" \\ c\xe9\n", topic.Find("Title")->text);
    EXPECT_TRUE(topic.Find("on")->boolean);
    EXPECT_FALSE(topic.Find("off")->boolean);
    EXPECT_EQ(JsonValue::Type::Null, topic.Find("x")->type);
    EXPECT_EQ(nullptr, topic.Find("missing"));
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
