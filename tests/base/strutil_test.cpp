#include "base/strutil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <utility>

TEST(StrCopy, CutsToTheBufferAndAlwaysTerminatesAndAppendStaysWithinIt) {
    char buffer[8] = "xy";
    EXPECT_EQ(0u, StrCopy(buffer, 0, "abc"));  // nothing written at all
    EXPECT_STREQ("xy", buffer);
    EXPECT_EQ(0u, StrCopy(buffer, 1, "abc"));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(0u, StrCopy(buffer, 6, nullptr));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(5u, StrCopy(buffer, 6, "abcdefgh"));
    EXPECT_STREQ("abcde", buffer);
    EXPECT_EQ(6u, StrAppend(buffer, sizeof buffer, "f"));
    EXPECT_EQ(7u, StrAppend(buffer, sizeof buffer, "ghijk"));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_EQ(7u, StrAppend(buffer, sizeof buffer, "more"));
    EXPECT_STREQ("abcdefg", buffer);
}

TEST(StrCopyField, NeverReadsPastAnUnterminatedField) {
    char field[4] = {'w', 'x', 'y', 'z'};  // no terminator, as another process may leave it
    char out[16];
    EXPECT_EQ(4u, StrCopyField(out, sizeof out, field, sizeof field));
    EXPECT_STREQ("wxyz", out);
    EXPECT_EQ(2u, StrCopyField(out, 3, field, sizeof field));
    EXPECT_STREQ("wx", out);
    const char terminated[8] = "ab";
    EXPECT_EQ(2u, StrCopyField(out, sizeof out, terminated, sizeof terminated));
    EXPECT_STREQ("ab", out);
}

TEST(ParseLeadingInt, ReadsLikeAtoiAndClampsToThirtyTwoBits) {
    const std::pair<const char*, int32_t> cases[] = {
        {"8080abc", 8080}, {"abc", 0},        {"", 0},      {"  -12", -12}, {"\t+7", 7},
        {"- 5", 0},        {"--5", 0},        {"007", 7},   {"12 34", 12},  {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},            {"-2147483648", INT32_MIN},   {"-99999999999999999999", INT32_MIN},
        {"99999999999999999999999", INT32_MAX},
    };
    for (auto [text, expected] : cases) EXPECT_EQ(expected, ParseLeadingInt(text)) << '"' << text << '"';
}

TEST(ParseLeadingNumber32, WrapsLikeTheClassicAtol) {
    EXPECT_EQ(4000000000u, ParseLeadingNumber32("4000000000"));
    EXPECT_EQ(0xFFFFFFFFu, ParseLeadingNumber32("-1"));
    EXPECT_EQ(135u, ParseLeadingNumber32(" 135-140"));
    EXPECT_EQ(0u, ParseLeadingNumber32("4294967296"));
    EXPECT_EQ(0u, ParseLeadingNumber32("x1"));
}
