// Fuzzes the profile (INI) reader and the subscription file read through it.
// The input is the file. Its last bytes also choose the section, key and
// buffer size of the direct profile calls, and the key an edit sets, which a
// read must then give back; a section's list and its values read one by one
// must agree. Every input starts from the same database (a subscription
// holding two messages, and the ad stream), so that both a new and an
// existing topic, and the ad stream's purge, can be reached.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/profile.h"
#include "base/strutil.h"
#include "jobs/config_file.h"
#include "memory_os.h"
#include "news/topic_array.h"

namespace {

const char* const kSections[] = {"General", "Subscription1", "Tidewell Settings", "", " general ", "[x]", "a=b"};
const char* const kKeys[] = {"ConfigVersion", "Title", "MsgRange", "Msg1", "", " title ", ";c", "=", "Msg2147483647"};
// Names and values an edit can be read back by: nothing the format would take
// apart (blanks at the ends, "=", quotes, line ends, a leading ";" or "[").
const char* const kPlainSections[] = {"General", "Subscription1", "Tidewell Settings"};
const char* const kPlainKeys[] = {"ConfigVersion", "Title", "MsgPurge", "Msg7"};
const char* const kPlainValues[] = {"1", "News / World", "a1.html x", ""};

template <typename T, size_t N>
const T& Pick(FuzzedDataProvider& choices, const T (&table)[N]) {
    return table[choices.ConsumeIntegralInRange<size_t>(0, N - 1)];
}

void AddTopic(uint32_t type, const char* title, uint32_t lastMsg) {
    CTopic* topic = new CTopic();
    topic->dwType = type;
    strcpy(topic->Title, title);
    gTopicArray.Add(topic);
    for (uint32_t n = lastMsg - 1; n <= lastMsg; n++) {
        MsgRecord record;
        memset(&record, 0, sizeof record);
        record.ridTopic = topic->ridTopic;
        record.ridMsg = n;
        strcpy(record.Title, type == TOPIC_ADSTREAM ? "A0000001.bmp" : "headline");
        topic->msgList.InsertHead(topic->msgList.last(), CMsg::Create(record));
    }
    topic->ridLastMsg = lastMsg;
}

// A subscription's message lines are read as one section list, its other
// values one by one: for the first line of each key both must agree.
void CompareListWithValues(const char* text, size_t size, const char* section) {
    std::vector<char> list(size + 16);  // a list is never longer than its text and two NULs
    ProfileGetSection(text, size, section, list.data(), static_cast<uint32_t>(list.size()));
    std::set<std::string> seen;
    for (const char* entry = list.data(); *entry; entry += strlen(entry) + 1) {
        const char* equals = strchr(entry, '=');
        std::string name(entry, equals ? static_cast<size_t>(equals - entry) : strlen(entry));
        std::string folded = name;
        for (char& c : folded)
            c = LowerAscii(c);
        if (name.empty() || !seen.insert(folded).second) continue;
        std::string expected = equals ? equals + 1 : "(none)";
        if (equals && expected.size() >= 2 && (expected[0] == '"' || expected[0] == '\'') &&
            expected.back() == expected[0]) {
            expected = expected.substr(1, expected.size() - 2);
        }
        char value[256];
        ProfileGetString(text, size, section, name.c_str(), "(none)", value, sizeof value);
        FUZZ_CHECK(expected.substr(0, sizeof value - 1) == value);
    }
}

void ReadDirectly(const char* text, size_t size, FuzzedDataProvider& choices) {
    const uint32_t outSize = choices.ConsumeIntegralInRange<uint32_t>(1, 300);
    std::unique_ptr<char[]> out(new char[outSize]);
    uint32_t got =
        ProfileGetString(text, size, Pick(choices, kSections), Pick(choices, kKeys), " def  ", out.get(), outSize);
    FUZZ_CHECK(got < outSize && strlen(out.get()) == got);

    // The list ends in two NULs: the one after its last line and the one at
    // the count, or, when it was cut to size - 2, that one and the last byte.
    got = ProfileGetSection(text, size, Pick(choices, kSections), out.get(), outSize);
    FUZZ_CHECK(got + 2 <= outSize || (outSize == 1 && got == 0));
    FUZZ_CHECK(out[got] == '\0');
    FUZZ_CHECK(got == 0 || out[got - 1] == '\0' || (got + 2 == outSize && out[got + 1] == '\0'));

    const char* section = Pick(choices, kPlainSections);
    const char* key = Pick(choices, kPlainKeys);
    const char* value = Pick(choices, kPlainValues);
    std::string edited = ProfileSetString(std::string(text, size), section, key, value);
    char back[64];
    ProfileGetString(edited.data(), edited.size(), section, key, "(missing)", back, sizeof back);
    FUZZ_CHECK(strcmp(back, value) == 0);

    CompareListWithValues(text, size, section);
}

// Messages are only ever appended above the highest number a topic held.
void CheckTopics() {
    FUZZ_CHECK(gTopicArray.Size <= TopicArray::kCapacity);
    gTopicArray.ForEach([](const CTopic& topic) {
        uint32_t previous = 0;
        bool first = true;
        for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node)) {
            const CMsg& msg = *node->value;
            FUZZ_CHECK(first || msg.ridMsg > previous);
            FUZZ_CHECK(msg.ridMsg <= topic.ridLastMsg);
            FUZZ_CHECK(strlen(msg.lpszTitle) < sizeof(MsgRecord::Title) && strlen(msg.lpszUrl) <= kMsgUrlMax);
            previous = msg.ridMsg;
            first = false;
        }
    });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::UseMemoryOs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact copy, so that a read past the end of the text is caught.
    std::unique_ptr<char[]> text(new char[size]);
    if (size) memcpy(text.get(), data, size);
    FuzzedDataProvider choices(data, size);
    ReadDirectly(text.get(), size, choices);

    fuzz::ResetNews();
    AddTopic(TOPIC_SUBSCRIPTION, "News / World", 6);
    AddTopic(TOPIC_ADSTREAM, "AdStream", 2);
    fuzz::Serve(reinterpret_cast<const uint8_t*>(text.get()), size);
    try {
        EngineUpdate::ParseConfigFile(fuzz::kPath);
    } catch (const char*) {
        // a full array or no memory: the caller's business
    }
    FUZZ_CHECK(fuzz::OpenFiles() == 0);
    CheckTopics();
    fuzz::ResetNews();
    return 0;
}
