// URLs split into host, port and path; entities decoded; white space trimmed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "net/text.h"
#include "net/url.h"

namespace {

// "scheme host port path" ("-" when absent), or "refused".
std::string Split(const char* text) {
    CUrl url;
    if (!url.Parse(text)) return "refused";
    return std::string(url.scheme) + " " + (url.host ? url.host : "-") + " " + std::to_string(url.port) + " " +
           (url.path ? url.path : "-");
}

std::string Decode(const char* text) {
    char copy[64];
    DecodeEntities(strcpy(copy, text));
    return copy;
}

std::string Trim(const char* text) {
    char copy[64];
    int result = TrimWhiteSpace(strcpy(copy, text));
    return std::to_string(result) + ":" + copy;
}

}  // namespace

TEST(NetText, UrlsEntitiesAndWhiteSpace) {
    // The longest path its 260-byte buffer holds, and one more byte: refused, not cut.
    const std::string longest = "http://h/" + std::string(258, 'p'), tooLong = longest + "p",
                      split = "http h 80 /" + std::string(258, 'p');
    const std::tuple<std::string (*)(const char*), const char*, const char*> cases[] = {
        {Split, "http://host", "http host 80 -"},
        {Split, "http://host/", "http host 80 -"},
        {Split, "http://Host:8080/a/b?x=1#top", "http Host 8080 /a/b?x=1"},
        {Split, "HTTP://h/x", "http h 80 /x"},
        {Split, "ftp://h/x", "ftp h 80 /x"},
        {Split, "http://h:abc/x", "http h 80 /x"},
        {Split, "http://h:81junk/x", "http h 81 /x"},
        {Split, "http://h/#frag", "http h 80 /"},
        {Split, "http://h:8642", "http h 8642 -"},
        {Split, "files/x#y", "http - 80 /files/x"},
        {Split, "http://h:65535/", "http h 65535 -"},
        {Split, "", "refused"},
        {Split, "http://", "refused"},
        {Split, "http://:80/", "refused"},
        {Split, "http://h:65536/x", "refused"},
        {Split, "http://h:99999999999999999999/x", "refused"},
        {Split, longest.c_str(), split.c_str()},
        {Split, tooLong.c_str(), "refused"},
        // No blank, control byte or DEL reaches a request, wherever it stands.
        {Split, "http://h/a.bmp\r\nX-Injected: yes", "refused"},
        {Split, "http://h/a b", "refused"},
        {Split, "http://h\t/x", "refused"},
        {Split, " http://h/x", "refused"},
        {Split, "http://h/x\x7f", "refused"},
        {Split, "http://h/x#a b", "refused"},
        {Split, "http://h/caf\xe9", "http h 80 /caf\xe9"},
        {Decode, "a &lt;b&gt; &AMP; c", "a <b> & c"},
        {Decode, "&#65;&#321;", "AA"},  // numbers wrap at 256
        {Decode, "&x;", "&x;"},
        {Decode, "&abcdefgh;", "&"},             // the longest name taken: an unknown entity, dropped
        {Decode, "&abcdefghi;", "&abcdefghi;"},  // one letter more: no entity, the text stays
        {Decode, "&copy;", "&"},
        {Decode, "&amp;lt;", "&lt;"},
        {Decode, "&quot;quoted&quot;&nbsp;", "\"quoted\" "},
        {Decode, "&#-191;", "A"},
        {Decode, "&#x41;", "&"},                          // reads as 0, which is no character
        {Decode, "fish & chips; today", "fish & today"},  // a ";" close enough makes any "&" an entity
        {Decode, "fish & chips and more; today", "fish & chips and more; today"},
        {Decode, "trailing &", "trailing &"},
        {Decode, "", ""},
        {Trim, "  a b\t", "1:a b"},
        {Trim, "   ", "1:"},
        {Trim, "", "0:"},
        {Trim, "\r\n\v\f x \r\n", "1:x"},
        {Trim, "\xa0x\xa0", "1:\xa0x\xa0"},  // bytes above 127 are never white space
    };
    for (auto [function, in, out] : cases) EXPECT_EQ(out, function(in)) << '"' << in << '"';
    EXPECT_EQ(0, CUrl().Parse(nullptr));
    DecodeEntities(nullptr);
    EXPECT_EQ(0, TrimWhiteSpace(nullptr));
}
