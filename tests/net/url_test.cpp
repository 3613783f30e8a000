// URLs split into host, port and path; entities decoded; white space trimmed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/text.h"
#include "net/url.h"

TEST(CUrl, SplitsHostPortAndPath) {
    struct Case {
        const char* url;
        const char* scheme;
        const char* host;  // null: none
        int port;
        const char* path;  // null: none
    } cases[] = {
        {"http://host", "http", "host", 80, nullptr},
        {"http://host/", "http", "host", 80, nullptr},
        {"http://Host:8080/a/b?x=1#top", "http", "Host", 8080, "/a/b?x=1"},
        {"HTTP://h/x", "http", "h", 80, "/x"},
        {"ftp://h/x", "ftp", "h", 80, "/x"},
        {"http://h:abc/x", "http", "h", 80, "/x"},
        {"http://h:81junk/x", "http", "h", 81, "/x"},
        {"http://h/#frag", "http", "h", 80, "/"},
        {"http://h:8642", "http", "h", 8642, nullptr},
        {"http://127.0.0.1:8642/feeds/world.twl?Update&Have=5&AID=x", "http", "127.0.0.1", 8642,
         "/feeds/world.twl?Update&Have=5&AID=x"},
        {"files/x", "http", nullptr, 80, "/files/x"},
        {"files/x#y", "http", nullptr, 80, "/files/x"},
        {"http://h:65535/", "http", "h", 65535, nullptr},
    };
    for (const Case& c : cases) {
        CUrl url;
        ASSERT_EQ(1, url.Parse(c.url)) << c.url;
        EXPECT_STREQ(c.scheme, url.scheme) << c.url;
        if (c.host) {
            EXPECT_STREQ(c.host, url.host) << c.url;
        } else {
            EXPECT_EQ(nullptr, url.host) << c.url;
        }
        EXPECT_EQ(c.port, url.port) << c.url;
        if (c.path) {
            EXPECT_STREQ(c.path, url.path) << c.url;
        } else {
            EXPECT_EQ(nullptr, url.path) << c.url;
        }
    }
}

TEST(CUrl, RefusesWhatCannotBeFetched) {
    for (const char* bad : {"", "http://", "http://:80/", "http:///x", "http://:81/x", "http://h:65536/x",
                            "http://h:99999999999999999999/x"}) {
        CUrl url;
        EXPECT_EQ(0, url.Parse(bad)) << bad;
    }
    CUrl url;
    EXPECT_EQ(0, url.Parse(nullptr));
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
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
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
        {"no entity here", "no entity here"},
        {"trailing &", "trailing &"},
        {"", ""},
    };
    for (const Case& c : cases) {
        char text[64];
        strcpy(text, c.in);
        DecodeEntities(text);
        EXPECT_STREQ(c.out, text) << c.in;
    }
    DecodeEntities(nullptr);
}

TEST(TrimWhiteSpace, RemovesBothEndsInPlace) {
    struct Case {
        const char* in;
        const char* out;
        int result;
    } cases[] = {
        {"  a b\t", "a b", 1},
        {"a b", "a b", 1},
        {"   ", "", 1},
        {"\r\n\v\f x \r\n", "x", 1},
        {"\xa0x\xa0", "\xa0x\xa0", 1},  // bytes above 127 are never white space
        {"", "", 0},
    };
    for (const Case& c : cases) {
        char text[32];
        strcpy(text, c.in);
        EXPECT_EQ(c.result, TrimWhiteSpace(text)) << '"' << c.in << '"';
        EXPECT_STREQ(c.out, text) << '"' << c.in << '"';
    }
    EXPECT_EQ(0, TrimWhiteSpace(nullptr));
}
