#include "base/profile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Get(const std::string& text, const char* section, const char* key, const char* def = "",
                uint32_t size = 260) {
    char out[300];
    uint32_t len = ProfileGetString(text.data(), text.size(), section, key, def, out, size);
    EXPECT_EQ(len, std::string(out).size());
    return out;
}

}  // namespace

TEST(ProfileGetString, FindsKeysWithoutRegardToCaseAndTrimsValues) {
    const std::string text =
        "; a comment\r\n"
        "[Tidewell Settings]\r\n"
        "  HttpProxy =  proxy.example  \r\n"
        "httpproxyport=8080abc\r\n"
        "Quoted=\"  spaced  \"\r\n"
        "Single='x'\r\n"
        "Lonely\r\n"
        "Empty=\r\n";
    EXPECT_EQ("proxy.example", Get(text, "tidewell settings", "HTTPPROXY"));
    EXPECT_EQ("8080abc", Get(text, "Tidewell Settings", "HttpProxyPort"));
    EXPECT_EQ("  spaced  ", Get(text, "Tidewell Settings", "Quoted"));
    EXPECT_EQ("x", Get(text, "Tidewell Settings", "Single"));
    EXPECT_EQ("dflt", Get(text, "Tidewell Settings", "Lonely", "dflt"));  // no "=": the default
    EXPECT_EQ("", Get(text, "Tidewell Settings", "Empty", "dflt"));
    EXPECT_EQ("99", Get(text, "Tidewell Settings", "Missing", "99  "));  // the default loses trailing blanks
    EXPECT_EQ("99", Get(text, "Other", "HttpProxy", "99"));
}

TEST(ProfileGetString, CutsToTheBufferAndReportsTheStoredLength) {
    const std::string text = "[S]\nKey=0123456789\n";
    EXPECT_EQ("0123", Get(text, "S", "Key", "", 5));
    EXPECT_EQ("", Get(text, "S", "Key", "", 1));
    char out[4] = "abc";
    EXPECT_EQ(0u, ProfileGetString(text.data(), text.size(), "S", "Key", "", out, 0));
    EXPECT_STREQ("abc", out);  // nothing written without room
}

TEST(ProfileGetString, ReadsTheFirstSectionAndKeyOfAName) {
    const std::string text = "[S]\nA=1\nA=2\n[T]\nB=3\n[s]\nA=4\nC=5\n";
    EXPECT_EQ("1", Get(text, "S", "A"));
    EXPECT_EQ("3", Get(text, "T", "B"));
    EXPECT_EQ("none", Get(text, "S", "C", "none"));
}

TEST(ProfileGetString, SurvivesTextThatIsNotAProfile) {
    static const char kGarbage[] = "\0\xff[\n]=[=\r\r\n[[]]\n=x\n;[S]\nK=v";
    const std::string garbage(kGarbage, sizeof kGarbage - 1);
    EXPECT_EQ("d", Get(garbage, "S", "K", "d"));
    EXPECT_EQ("d", Get("", "S", "K", "d"));
    EXPECT_EQ("v", Get("[S]\nK=v", "S", "K"));  // no final line end
}

TEST(ProfileSetString, ReplacesAddsAndCreates) {
    std::string text = ProfileSetString("", "S", "A", "1");
    EXPECT_EQ("[S]\r\nA=1\r\n", text);
    text = ProfileSetString(text, "s", "a", "2");
    EXPECT_EQ("[S]\r\na=2\r\n", text);
    text = ProfileSetString(text, "S", "B", "3");
    EXPECT_EQ("[S]\r\na=2\r\nB=3\r\n", text);
    text = ProfileSetString(text, "T", "C", "4");
    EXPECT_EQ("[S]\r\na=2\r\nB=3\r\n[T]\r\nC=4\r\n", text);
    text = ProfileSetString(text, "S", "D", "5");
    EXPECT_EQ("[S]\r\na=2\r\nB=3\r\nD=5\r\n[T]\r\nC=4\r\n", text);
    EXPECT_EQ("5", Get(text, "S", "D"));
    EXPECT_EQ("4", Get(text, "T", "C"));
}

TEST(ProfileSetString, KeepsOtherLinesAndEndsAnUnfinishedLastLine) {
    std::string text = ProfileSetString("; note\n[S]\nA=1", "S", "B", "2");
    EXPECT_EQ("; note\n[S]\nA=1\r\nB=2\r\n", text);
}

// Found by fuzzing: behind a UTF-8 byte-order mark an edit missed the section
// a read finds there and appended a second one, so the value set was never
// read back (natively, every settings write-back to such a file was lost).
TEST(ProfileSetString, EditsTheLinesAReadSeesBehindAByteOrderMark) {
    std::string text =
        ProfileSetString("\xEF\xBB\xBF[Tidewell Settings]\r\nMsgPurge=3\r\n", "Tidewell Settings", "MsgPurge", "7");
    EXPECT_EQ("\xEF\xBB\xBF[Tidewell Settings]\r\nMsgPurge=7\r\n", text);
    text = ProfileSetString(text, "Tidewell Settings", "MsgExpire", "1");
    EXPECT_EQ("\xEF\xBB\xBF[Tidewell Settings]\r\nMsgPurge=7\r\nMsgExpire=1\r\n", text);
    EXPECT_EQ("\xEF\xBB\xBF[S]\r\nK=v\r\n", ProfileSetString("\xEF\xBB\xBF", "S", "K", "v"));

    // The fuzzer's input (fuzz/corpus/profile/crash-edit-behind-byte-order-mark).
    const std::string found =
        "\xef\xbb\xbf[Tidewell Settings]\r\nHttpPr\xfaxyEnabled=1\r=8080abC\r\n; comment\r\n[Tidewell Settin "
        "Settings]\r\nMsPuregg=3\r\nline without equals\r\n=no name\r\n[unclosed\r\nkey=a\x8d\n";
    EXPECT_EQ("a1.html x",
              Get(ProfileSetString(found, "Tidewell Settings", "Msg7", "a1.html x"), "Tidewell Settings", "Msg7"));
}
