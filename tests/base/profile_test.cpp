// The profile reader and writer. What a read finds is also checked against
// the system's own reader under Wine, on a corpus of awkward files.
#include "base/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::string Get(const std::string& text, const char* section, const char* key, const char* def = "",
                uint32_t size = 260) {
    char out[300];
    uint32_t len = ProfileGetString(text.data(), text.size(), section, key, def, out, size);
    EXPECT_EQ(len, std::string(out).size());
    return out;
}

}  // namespace

TEST(ProfileGetString, ReadsSettingsCutsToTheBufferAndSurvivesWhatIsNotAProfile) {
    const std::string text = "; a comment\r\n[Tidewell Settings]\r\n  HttpProxy =  proxy.example  \r\n"
                             "Quoted=\"  spaced  \"\r\nLonely\r\n";
    EXPECT_EQ("proxy.example", Get(text, "tidewell settings", "HTTPPROXY"));
    EXPECT_EQ("  spaced  ", Get(text, "Tidewell Settings", "Quoted"));
    EXPECT_EQ("dflt", Get(text, "Tidewell Settings", "Lonely", "dflt"));  // no "=": the default
    EXPECT_EQ("99", Get(text, "Other", "HttpProxy", "99  "));            // the default loses trailing blanks
    EXPECT_EQ("prox", Get(text, "Tidewell Settings", "HttpProxy", "", 5));
    char out[4] = "abc";
    EXPECT_EQ(0u, ProfileGetString(text.data(), text.size(), "Tidewell Settings", "HttpProxy", "", out, 0));
    EXPECT_STREQ("abc", out);  // nothing written without room
    static const char kGarbage[] = "\0\xff[\n]=[=\r\r\n[[]]\n=x\n;[S]\nK=v";
    EXPECT_EQ("d", Get(std::string(kGarbage, sizeof kGarbage - 1), "S", "K", "d"));
}

// Found by fuzzing: behind a UTF-8 byte-order mark an edit missed the section
// a read finds there and appended a second one, so the value set was never
// read back (natively, every settings write-back to such a file was lost).
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
        {general + "7\r\n", "Tidewell Settings", "MsgExpire", "1", general + "7\r\nMsgExpire=1\r\n"},
        {bom, "S", "K", "v", bom + "[S]\r\nK=v\r\n"},
        // The fuzzer's input (fuzz/corpus/profile/crash-edit-behind-byte-order-mark), now edited in place.
        {bom + "[Tidewell Settings]\r\nHttpPr\xfaxyEnabled=1\r=8080abC\r\n; comment\r\n[Tidewell Settin Settings]\r\n"
               "MsPuregg=3\r\nline without equals\r\n=no name\r\n[unclosed\r\nkey=a\x8d\n",
         "Tidewell Settings", "Msg7", "a1.html x",
         bom + "[Tidewell Settings]\r\nHttpPr\xfaxyEnabled=1\r=8080abC\r\n; comment\r\nMsg7=a1.html x\r\n"
               "[Tidewell Settin Settings]\r\nMsPuregg=3\r\nline without equals\r\n=no name\r\n[unclosed\r\nkey=a\x8d\n"},
    };
    for (const auto& [before, section, key, value, after] : cases) {
        SCOPED_TRACE(before);
        EXPECT_EQ(after, ProfileSetString(before, section, key, value));
        EXPECT_EQ(value, Get(after, section, key));
    }
}
