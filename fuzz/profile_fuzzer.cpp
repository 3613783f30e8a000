// Fuzzes the profile (INI) reader and the subscription file read through it.
// The input's last bytes choose the section, key and buffer size of direct
// calls and an edit, which a read must give back; a section's list and its
// values read one by one must agree. The database holds a subscription and
// the ad stream, so that new and existing topics and the ad purge are reached.
#include <fuzzer/FuzzedDataProvider.h>

#include <set>

#include "base/strutil.h"
#include "jobs/config_file.h"
#include "memory_os.h"

namespace {

const char* const kSections[] = {"General", "Subscription1", "Tidewell Settings", "", " general ", "[x]", "a=b"};
const char* const kKeys[] = {"ConfigVersion", "Title", "MsgRange", "Msg1", "", " title ", ";c", "=", "Msg2147483647"};
// Nothing the format would take apart (blanks at the ends, "=", quotes, line ends, a leading ";" or "[").
const char* const kPlainSections[] = {"General", "Subscription1", "Tidewell Settings"};
const char* const kPlainKeys[] = {"ConfigVersion", "Title", "MsgPurge", "Msg7"};
const char* const kPlainValues[] = {"1", "News / World", "a1.html x", ""};

template <size_t N>
const char* Pick(FuzzedDataProvider& choices, const char* const (&table)[N]) {
    return table[choices.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

void ReadDirectly(const char* text, size_t size, FuzzedDataProvider& choices) {
    const uint32_t outSize = choices.ConsumeIntegralInRange<uint32_t>(1, 300);
    std::unique_ptr<char[]> out(new char[outSize]);
    uint32_t got =
        ProfileGetString(text, size, Pick(choices, kSections), Pick(choices, kKeys), " def  ", out.get(), outSize);
    FUZZ_CHECK(got < outSize && strlen(out.get()) == got);
    // Two NULs end the list: after its last line and at the count, or, cut to size - 2, that one and the last byte.
    got = ProfileGetSection(text, size, Pick(choices, kSections), out.get(), outSize);
    FUZZ_CHECK((got + 2 <= outSize || (outSize == 1 && got == 0)) && out[got] == '\0');
    FUZZ_CHECK(got == 0 || out[got - 1] == '\0' || (got + 2 == outSize && out[got + 1] == '\0'));

    const char* section = Pick(choices, kPlainSections);
    const char* key = Pick(choices, kPlainKeys);
    const char* value = Pick(choices, kPlainValues);
    std::string edited = ProfileSetString(std::string(text, size), section, key, value);
    char back[256];
    ProfileGetString(edited.data(), edited.size(), section, key, "(missing)", back, sizeof back);
    FUZZ_CHECK(strcmp(back, value) == 0);

    // Message lines are read as one list, other values one by one: the first line of each key must agree.
    std::vector<char> list(size + 16);  // a list is never longer than its text and two NULs
    ProfileGetSection(text, size, section, list.data(), static_cast<uint32_t>(list.size()));
    std::set<std::string> seen;
    for (const char* entry = list.data(); *entry; entry += strlen(entry) + 1) {
        const char* equals = strchr(entry, '=');
        std::string name(entry, equals ? equals - entry : strlen(entry)), folded = name;
        for (char& c : folded) c = LowerAscii(c);
        if (name.empty() || !seen.insert(folded).second) continue;
        std::string expected = equals ? equals + 1 : "(none)";
        if (equals && expected.size() >= 2 && (expected[0] == '"' || expected[0] == '\'') &&
            expected.back() == expected[0])
            expected = expected.substr(1, expected.size() - 2);
        ProfileGetString(text, size, section, name.c_str(), "(none)", back, sizeof back);
        FUZZ_CHECK(expected.substr(0, sizeof back - 1) == back);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> text(new char[size]);
    if (size) memcpy(text.get(), data, size);
    FuzzedDataProvider choices(data, size);
    ReadDirectly(text.get(), size, choices);

    fuzz::Reset();
    fuzz::AddTopic(TOPIC_SUBSCRIPTION, "News / World", {"headline", "headline"}, 5);
    fuzz::AddTopic(TOPIC_ADSTREAM, "AdStream", {"A0000001.bmp", "A0000001.bmp"}, 1);
    fuzz::Serve(text.get(), size);
    try {
        EngineUpdate::ParseConfigFile(fuzz::kPath);
    } catch (const char*) {
        // a full array or no memory: the caller's business
    }
    FUZZ_CHECK(fuzz::openFiles == 0);
    fuzz::CheckTopics(true);
    fuzz::Reset();
    return 0;
}
