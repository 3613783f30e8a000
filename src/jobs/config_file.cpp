#include "jobs/config_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "base/os.h"
#include "base/strutil.h"
#include "base/trace.h"
#include "net/text.h"
#include "news/purge.h"
#include "news/topic_array.h"

namespace {

constexpr char kGeneralSection[] = "General";
constexpr char kSubscriptionSection[] = "Subscription1";  // one file defines one topic
constexpr uint32_t kDefaultInterval = 1800;
constexpr uint32_t kScratchSize = 999;
constexpr uint32_t kMessageValueSize = 1224;
// A section is read whole into a buffer that grows to at most this.
constexpr uint32_t kMostSectionBytes = 32 * 1024 * 1024;

struct TopicDefinition {
    CTopic topic;  // the new-topic values, then the file's
    SubscriptionFile::Range range = {0, 0};
    bool purgeOutOfRange = false;
};

uint32_t ReadValue(const char* path, const char* key, char* out, uint32_t size) {
    return gOs.GetProfileString(kSubscriptionSection, key, "", out, size, path);
}

bool IsValidTitle(const char* title) {
    return StrCompareNoCase(title, "AdStream") == 0 || strstr(title, " / ") != nullptr;
}

void ReadDefinition(const char* path, TopicDefinition& definition) {
    CTopic& topic = definition.topic;
    char scratch[kScratchSize];
    ReadValue(path, "Title", topic.Title, sizeof topic.Title - 1);
    TrimWhiteSpace(topic.Title);
    if (!topic.Title[0]) throw "Title";
    if (!IsValidTitle(topic.Title)) throw "Title Format";
    ReadValue(path, "Hint", topic.Hint, sizeof topic.Hint - 1);
    ReadValue(path, "HomepageUrl", topic.HomepageUrl, sizeof topic.HomepageUrl - 1);
    ReadValue(path, "ConfigUrl", topic.ConfigUrl, sizeof topic.ConfigUrl - 1);
    ReadValue(path, "MsgBaseUrl", topic.MsgBaseUrl, sizeof topic.MsgBaseUrl - 1);
    ReadValue(path, "Category", scratch, sizeof scratch);
    topic.Category = SubscriptionFile::Category(scratch);
    ReadValue(path, "Schedule", scratch, sizeof scratch);
    topic.dwInterval = SubscriptionFile::Interval(scratch);
    if (!ReadValue(path, "MsgRange", scratch, sizeof scratch)) throw "ArticleRange";
    definition.range = SubscriptionFile::MessageRange(scratch);
    ReadValue(path, "PurgeOutOfRange", scratch, sizeof scratch);
    definition.purgeOutOfRange = StrCompareNoCase(scratch, "True") == 0;
}

CTopic* FindByTitle(const char* title) {
    CTopic* found = nullptr;
    gTopicArray.ForEach([&](CTopic& topic) {
        if (!found && strcmp(topic.Title, title) == 0) found = &topic;
    });
    return found;
}

// An existing topic takes the file's addresses and schedule; its title,
// type, switch, range and messages stay.
void UpdateTopic(CTopic& topic, const CTopic& file) {
    StrCopy(topic.Hint, sizeof topic.Hint, file.Hint);
    StrCopy(topic.HomepageUrl, sizeof topic.HomepageUrl, file.HomepageUrl);
    StrCopy(topic.ConfigUrl, sizeof topic.ConfigUrl, file.ConfigUrl);
    StrCopy(topic.MsgBaseUrl, sizeof topic.MsgBaseUrl, file.MsgBaseUrl);
    if (file.Category != 0) topic.Category = file.Category;
    topic.dwInterval = file.dwInterval;
}

CTopic* AddTopic(const CTopic& file) {
    std::unique_ptr<CTopic> topic(new (std::nothrow) CTopic(file.record()));
    if (!topic) throw "Out of memory allocating topic record";
    topic->dwType = TOPIC_SUBSCRIPTION;
    if (!gTopicArray.RoomForSubscription()) throw "Array Full!";
    gTopicArray.Add(topic.get());
    return topic.release();
}

// The whole subscription section as the system lists it.
std::vector<char> ReadSection(const char* path) {
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        uint32_t size = static_cast<uint32_t>(buffer.size());
        uint32_t length = gOs.GetProfileSection(kSubscriptionSection, buffer.data(), size, path);
        if (length < size - 2 || size >= kMostSectionBytes) {
            buffer.resize(std::min(length + 2u, size));
            return buffer;
        }
        buffer.resize(std::min<size_t>(size * 8u, kMostSectionBytes));  // each try reads the whole section again
    }
}

// The value as GetPrivateProfileStringA would give it: one pair of matching
// surrounding quotes removed, cut to the buffer.
std::string ProfileValue(const char* raw) {
    std::string value(raw);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kMessageValueSize - 1) value.resize(kMessageValueSize - 1);
    return value;
}

// The message lines of the newest numbers of the range, at most `most` of
// them, by number. The section is read once and only the lines kept become
// texts, so neither a range of billions nor a file of a million lines costs
// more than the file's bytes.
std::map<uint32_t, std::string> MessageLines(const char* path, uint32_t first, uint32_t last, uint32_t most) {
    std::map<uint32_t, const char*> newest;
    if (most == 0) return {};
    std::vector<char> section = ReadSection(path);
    for (const char* entry = section.data(); *entry; entry += strlen(entry) + 1) {
        const char* equals = strchr(entry, '=');
        uint32_t n;
        if (!equals || !SubscriptionFile::MessageNumber(std::string(entry, equals), n) || n < first || n > last)
            continue;
        newest.emplace(n, equals + 1);  // the first line of a key counts
        if (newest.size() > most) newest.erase(newest.begin());
    }
    std::map<uint32_t, std::string> lines;
    for (const auto& line : newest) lines.emplace(line.first, ProfileValue(line.second));
    return lines;
}

// Appends message n from its line; false when memory ran out and the lines
// after it are not read.
bool AddMessage(CTopic& topic, uint32_t n, const std::string& value, int32_t now) {
    if (value.empty()) return true;  // a missing line is no error
    size_t quote = value.find(" \"");
    if (quote == std::string::npos) {
        Trace("EngineUpdate::ParseConfigFile(): Error bad msg format: %s", value.c_str());
        return true;
    }
    std::string file = value.substr(0, quote);
    char headline[kMessageValueSize];
    StrCopy(headline, sizeof headline, value.c_str() + quote + 2);
    size_t length = strlen(headline);
    if (length && headline[length - 1] == '"') headline[length - 1] = '\0';
    DecodeEntities(headline);
    TrimWhiteSpace(headline);
    if (file.empty() || !headline[0]) {
        Trace("EngineUpdate::ParseConfigFile(): Error bad msg format: %s", file.c_str());
        return true;
    }
    MsgRecord record;
    memset(&record, 0, sizeof record);
    record.ridTopic = topic.ridTopic;
    record.ridMsg = n;
    record.tmReceived = now;
    StrCopy(record.Title, sizeof record.Title, headline);
    StrCopy(record.File, sizeof record.File, file.c_str());
    std::string url = std::string(topic.MsgBaseUrl) + file;
    StrCopy(record.Url, kMsgUrlMax + 1, url.c_str());
    CMsg* msg = CMsg::Create(record);
    if (!msg) return false;
    try {
        topic.msgList.InsertHead(topic.msgList.last(), msg);
    } catch (...) {
        CMsg::Destroy(msg);
        throw;
    }
    return true;
}

bool FileExists(const char* path) {
    OsFile* file = gOs.OpenRead(path);
    if (file) gOs.Close(file);
    return file != nullptr;
}

}  // namespace

namespace SubscriptionFile {

uint32_t Category(const char* value) {
    uint32_t category = ParseLeadingNumber32(value);
    return category < 14 ? category : 0;
}

uint32_t Interval(const char* value) {
    char start[10];
    StrCopy(start, sizeof start, value);
    if (StrCompareNoCase(start, "Interval ") != 0) return kDefaultInterval;
    int32_t minutes = ParseLeadingInt(value + 9);
    return minutes >= 5 && minutes <= 999 ? static_cast<uint32_t>(minutes) * 60 : kDefaultInterval;
}

Range MessageRange(const char* value) {
    Range range;
    range.first = ParseLeadingNumber32(value);
    const char* rest = value;
    while (*rest >= '0' && *rest <= '9') rest++;
    while (*rest && !(*rest >= '0' && *rest <= '9')) rest++;
    range.last = *rest ? ParseLeadingNumber32(rest) : 0;
    return range;
}

bool MessageNumber(const std::string& key, uint32_t& n) {
    if (key.size() < 4 || key.size() > 14 || StrCompareNoCase(key.substr(0, 3).c_str(), "Msg") != 0) return false;
    long long number = atoll(key.c_str() + 3);
    if (number < INT32_MIN || number > INT32_MAX) return false;
    char canonical[16];
    snprintf(canonical, sizeof canonical, "%d", static_cast<int>(number));  // the key the parser would ask for
    if (key.compare(3, std::string::npos, canonical) != 0) return false;
    n = static_cast<uint32_t>(static_cast<int32_t>(number));
    return true;
}

}  // namespace SubscriptionFile

namespace EngineUpdate {

int ParseConfigFile(const char* path, bool* understood) {
    if (understood) *understood = false;
    if (!path || !FileExists(path)) return 0;
    char version[100];
    gOs.GetProfileString(kGeneralSection, "ConfigVersion", "UNDEFINED", version, sizeof version, path);
    if (!version[0]) return 0;

    std::unique_ptr<TopicDefinition> definition(new (std::nothrow) TopicDefinition());
    if (!definition) return 0;
    try {
        ReadDefinition(path, *definition);
    } catch (const char* text) {
        Trace("CTopic::LoadFrom ConfigFile() Error: %s", text);
        return 0;
    }
    if (understood) *understood = true;
    CTopic* topic = FindByTitle(definition->topic.Title);
    if (topic) {
        UpdateTopic(*topic, definition->topic);
    } else {
        topic = AddTopic(definition->topic);
    }

    SubscriptionFile::Range range = definition->range;
    uint32_t held = topic->ridLastMsg;
    if (range.last <= held) return 0;
    uint32_t first = std::max(range.first, held + 1);
    topic->ridLastMsg = range.last;  // missing lines are never asked for again
    int32_t now = gOs.Now();
    for (const auto& line : MessageLines(path, first, range.last, Purge::MostKept(*topic))) {
        if (!AddMessage(*topic, line.first, line.second, now)) break;
    }

    if (range.first && range.last && definition->purgeOutOfRange)
        Purge::PurgeOutOfRange(*topic, range.first, range.last);
    return 1;
}

}  // namespace EngineUpdate
