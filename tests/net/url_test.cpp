// URLs split into host, port and path; entities decoded; white space trimmed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/text.h"
#include "net/url.h"

namespace {

// "scheme host port path" ("-" for an absent part), or "refused".
std::string Split(const char* text) {
    CUrl url;
    if (!url.Parse(text)) return "refused";
    return std::string(url.scheme) + " " + (url.host ? url.host : "-") + " " + std::to_string(url.port) + " " +
           (url.path ? url.path : "-");
}

}  // namespace

TEST(CUrl, SplitsHostPortAndPathOrRefuses) {
    const char* cases[][2] = {
        {"http://host", "http host 80 -"},
        {"http://host/", "http host 80 -"},
        {"http://Host:8080/a/b?x=1#top", "http Host 8080 /a/b?x=1"},
        {"HTTP://h/x", "http h 80 /x"},
        {"ftp://h/x", "ftp h 80 /x"},
        {"http://h:abc/x", "http h 80 /x"},
        {"http://h:81junk/x", "http h 81 /x"},
        {"http://h/#frag", "http h 80 /"},
        {"http://h:8642", "http h 8642 -"},
        {"http://127.0.0.1:8642/f.twl?Update&Have=5&AID=x", "http 127.0.0.1 8642 /f.twl?Update&Have=5&AID=x"},
        {"files/x", "http - 80 /files/x"},
        {"files/x#y", "http - 80 /files/x"},
        {"http://h:65535/", "http h 65535 -"},
        {"", "refused"},
        {"http://", "refused"},
        {"http://:80/", "refused"},
        {"http:///x", "refused"},
        {"http://h:65536/x", "refused"},
        {"http://h:99999999999999999999/x", "refused"},
    };
    for (auto& c : cases) EXPECT_EQ(c[1], Split(c[0])) << c[0];
    EXPECT_EQ(0, CUrl().Parse(nullptr));
}

TEST(CUrl, PathFillsItsBufferAndNoMore) {
    CUrl url;
    std::string longest = "http://h/" + std::string(258, 'p');
    ASSERT_EQ(1, url.Parse(longest.c_str()));
    EXPECT_EQ(259u, strlen(url.path));
    EXPECT_EQ(0, url.Parse((longest + "p").c_str()));  // one more would not fit: refused, not cut
    EXPECT_EQ(nullptr, url.path);
    ASSERT_EQ(1, url.Parse("http://again/x"));  // a refused parse leaves the object usable
    EXPECT_STREQ("again", url.host);
}

TEST(DecodeEntities, ReplacesKnownEntitiesAndShrinksOthers) {
    const char* cases[][2] = {
        {"a &lt;b&gt; &AMP; c", "a <b> & c"},
        {"&#65;&#321;", "AA"},
        {"&#0;", "&"},
        {"&#256;", "&"},
        {"&x;", "&x;"},
        {"&verylongname;", "&verylongname;"},
        {"&copy;", "&"},
        {"&amp;lt;", "&lt;"},
        {"&quot;quoted&quot;&nbsp;", "\"quoted\" "},
        {"&#-191;", "A"},
        {"&#x41;", "&"},
        {"fish & chips; today", "fish & today"},  // a ";" close enough makes any "&" an entity
        {"fish & chips and more; today", "fish & chips and more; today"},
        {"trailing &", "trailing &"},
        {"", ""},
    };
    for (auto& c : cases) {
        char text[64];
        strcpy(text, c[0]);
        DecodeEntities(text);
        EXPECT_STREQ(c[1], text) << c[0];
    }
    DecodeEntities(nullptr);
}

TEST(TrimWhiteSpace, RemovesBothEndsInPlace) {
    const char* cases[][2] = {
        {"  a b\t", "a b"},
        {"a b", "a b"},
        {"   ", ""},
        {"\r\n\v\f x \r\n", "x"},
        {"\xa0x\xa0", "\xa0x\xa0"},  // bytes above 127 are never white space
    };
    for (auto& c : cases) {
        char text[32];
        strcpy(text, c[0]);
        EXPECT_EQ(1, TrimWhiteSpace(text)) << '"' << c[0] << '"';
        EXPECT_STREQ(c[1], text) << '"' << c[0] << '"';
    }
    char empty[1] = "";
    EXPECT_EQ(0, TrimWhiteSpace(empty));
    EXPECT_EQ(0, TrimWhiteSpace(nullptr));
}
