#include "base/profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

namespace {

// The value read, checked against the length the read reports.
std::string Get(const std::string& text, const char* section, const char* key, const char* def = "") {
    char out[300];
    uint32_t length = ProfileGetString(text.data(), text.size(), section, key, def, out, sizeof out);
    EXPECT_EQ(length, strlen(out));
    return out;
}

}  // namespace

// Reads are compared with the system's reader in profile_compare_test.
TEST(ProfileGetString, WritesNothingWithoutRoom) {
    const std::string text = "[S]\r\nKey=value\r\n";
    char out[4] = "abc";
    EXPECT_EQ(0u, ProfileGetString(text.data(), text.size(), "S", "Key", "", out, 0));
    EXPECT_STREQ("abc", out);
}

// Found by fuzzing: behind a UTF-8 byte-order mark an edit appended a second section that reads never saw.
TEST(ProfileSetString, EditsTheLinesAReadSeesAndLeavesTheRest) {
    const std::string bom = "\xEF\xBB\xBF", general = bom + "[Tidewell Settings]\r\nMsgPurge=";
    const std::tuple<std::string, const char*, const char*, const char*, std::string> cases[] = {
        {"", "S", "A", "1", "[S]\r\nA=1\r\n"},
        {"[S]\r\nA=1\r\n", "s", "a", "2", "[S]\r\na=2\r\n"},
        {"[S]\r\na=2\r\n", "S", "B", "3", "[S]\r\na=2\r\nB=3\r\n"},
        {"[S]\r\na=2\r\n", "T", "C", "4", "[S]\r\na=2\r\n[T]\r\nC=4\r\n"},
        {"[S]\r\na=2\r\n[T]\r\nC=4\r\n", "S", "D", "5", "[S]\r\na=2\r\nD=5\r\n[T]\r\nC=4\r\n"},
        {"; note\n[S]\nA=1", "S", "B", "2", "; note\n[S]\nA=1\r\nB=2\r\n"},  // an unfinished last line is ended
        {general + "3\r\n", "Tidewell Settings", "MsgPurge", "7", general + "7\r\n"},
        {bom, "S", "K", "v", bom + "[S]\r\nK=v\r\n"},
        // The fuzzer's input (fuzz/corpus/profile/crash-edit-behind-byte-order-mark), now edited in place.
        {bom + "[Tidewell Settings]\r\nHttpPr\xfaxyEnabled=1\r=8080abC\r\n; comment\r\n[Tidewell Settin Settings]\r\n"
               "MsPuregg=3\r\nline without equals\r\n=no name\r\n[unclosed\r\nkey=a\x8d\n",
         "Tidewell Settings", "Msg7", "a1.html x",
         bom +
             "[Tidewell Settings]\r\nHttpPr\xfaxyEnabled=1\r=8080abC\r\n; comment\r\nMsg7=a1.html x\r\n"
             "[Tidewell Settin Settings]\r\nMsPuregg=3\r\nline without equals\r\n=no name\r\n[unclosed\r\nkey=a\x8d\n"},
    };
    for (const auto& [before, section, key, value, after] : cases) {
        SCOPED_TRACE(before);
        EXPECT_EQ(after, ProfileSetString(before, section, key, value));
        EXPECT_EQ(value, Get(after, section, key));
    }
}
