// The portable profile reader, which the native build uses, against the system's.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/profile.h"
#include "temp_dir.h"

namespace {

const std::pair<const char*, std::string> kCorpus[] = {
    {"plain", "[General]\r\nConfigVersion=2\r\n[Subscription1]\r\nTitle=News / World\r\nMsg5=a.html \"Five\"\r\n"},
    {"case and blanks", "[ general ]\r\n  configversion =  2  \r\n[SUBSCRIPTION1]\r\n\tTITLE\t=\t News / X \t\r\n"},
    {"comments", "; top\r\n[S]\r\n;Title=commented\r\n  ; indented comment\r\nTitle=real\r\n"},
    {"repeated", "[S]\r\nk=first\r\nk=second\r\n[T]\r\nt=1\r\n[S]\r\nk=third\r\nlater=4\r\n[s]\r\nlow=5\r\n"},
    {"long values", "[S]\r\nk=" + std::string(3000, 'v') + "\r\nm=" + std::string(70, 'w') + "\r\n"},
    {"no equals", "[S]\r\nlonely\r\nk=v\r\n=no name\r\n==twice\r\n"},
    {"line ends", "[S]\nlf=1\r\ncrlf=2\rcr=3\n\rmixed=4\r\n"},
    {"no final newline", "[S]\r\nk=last"},
    {"empty", ""},
    {"quotes", "[S]\r\nd=\"double\"\r\ns='single'\r\nb=\"a\" \"b\"\r\nu=\"open\r\ne=\"\"\r\none=\"\r\nmix='a\"\r\n"},
    {"odd headers", "[S]x\r\na=1\r\n[U\r\nu=2\r\n[ ]\r\nblank=3\r\n[]\r\nnone=4\r\n[[W]]\r\nw=5\r\n"},
    {"before any section", "k=top\r\n[S]\r\nk=in\r\n"},
    {"bom", "\xEF\xBB\xBF[S]\r\nk=v\r\n"},
    {"nul", std::string("[S]\r\nk=a\0b\r\nm=after\r\n", 22)},
    {"messages",
     "[Subscription1]\r\nMsgRange=1-4000000000\r\nmsg1=a \"A\"\r\nMSG2=b \"B\"\r\nMsg02=c \"C\"\r\nMsg-3=d\r\n"},
    {"spaces in keys", "[S]\r\nmy key = my value \r\n key  =x\r\n"},
    {"inline semicolon", "[S]\r\nk = v ; not a comment\r\n"},
};

const char* kKeys[] = {
    "ConfigVersion", "Title", "k",     "m",     "t",        "later",  "low",   "lonely", "",  "lf",    "crlf", "cr",
    "mixed",         "d",     "s",     "b",     "u",        "e",      "one",   "mix",    "a", "blank", "none", "w",
    "msg1",          "Msg2",  "Msg02", "Msg-3", "MsgRange", "my key", " key ", "Missing"};
const char* kSections[] = {"General", "Subscription1", "S", "s", " S ", "T", "U", "", "W", "[W]", "Missing"};

}  // namespace

TEST(ProfileReader, AgreesWithGetPrivateProfileStringAAndSectionA) {
    TempDir dir("profile-compare");
    for (const auto& [name, text] : kCorpus) {
        dir.Write("sample.ini", text);
        std::string path = dir.File("sample.ini");
        for (const char* section : kSections) {
            for (auto [size, stringSize] : {std::pair{4096u, 64u}, {12u, 8u}, {2u, 1u}}) {
                SCOPED_TRACE(std::string(name) + " [" + section + "] " + std::to_string(size));
                std::vector<char> real(size, 'x'), portable(size, 'x');
                uint32_t realLength = GetPrivateProfileSectionA(section, real.data(), size, path.c_str());
                uint32_t portableLength = ProfileGetSection(text.data(), text.size(), section, portable.data(), size);
                ASSERT_EQ(realLength, portableLength);
                ASSERT_EQ(std::string(real.data(), realLength + 1), std::string(portable.data(), portableLength + 1));
                for (const char* key : kKeys) {
                    realLength =
                        GetPrivateProfileStringA(section, key, "fallback  ", real.data(), stringSize, path.c_str());
                    portableLength = ProfileGetString(text.data(), text.size(), section, key, "fallback  ",
                                                      portable.data(), stringSize);
                    ASSERT_EQ(realLength, portableLength) << key;
                    ASSERT_STREQ(real.data(), portable.data()) << key;
                }
            }
        }
    }
}
