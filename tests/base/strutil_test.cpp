#include "base/strutil.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <tuple>

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

// ParseLeadingInt reads like atoi and clamps to 32 bits; ParseLeadingNumber32
// wraps like the classic atol.
TEST(ParseLeading, IntClampsAndNumber32Wraps) {
    const std::tuple<const char*, int32_t, uint32_t> cases[] = {
        {"8080abc", 8080, 8080},
        {"abc", 0, 0},
        {"", 0, 0},
        {"  -12", -12, 0xFFFFFFF4},
        {"\t+7", 7, 7},
        {"- 5", 0, 0},
        {" 135-140", 135, 135},
        {"-1", -1, 0xFFFFFFFF},
        {"2147483647", INT32_MAX, 2147483647u},
        {"2147483648", INT32_MAX, 2147483648u},
        {"-2147483648", INT32_MIN, 2147483648u},
        {"4000000000", INT32_MAX, 4000000000u},
        {"4294967296", INT32_MAX, 0},
        {"-99999999999999999999", INT32_MIN, 2632974337u},
        {"99999999999999999999999", INT32_MAX, 4135583743u},  // the wrapped ones: modulo 2 to the 32
    };
    for (auto [text, clamped, wrapped] : cases) {
        EXPECT_EQ(clamped, ParseLeadingInt(text)) << '"' << text << '"';
        EXPECT_EQ(wrapped, ParseLeadingNumber32(text)) << '"' << text << '"';
    }
}
