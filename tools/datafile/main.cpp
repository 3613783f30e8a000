// twldata: looks into and makes message data files ("Msg.dat") with the
// agent's own loading and saving code.
//
//   twldata dump FILE [--json]    the header, the topics and their messages
//   twldata create FILE [JSON]    a new file: empty, or as the JSON describes
//                                 (a file name, or - for standard input)
//
// The JSON that dump writes is the JSON that create reads. Texts of the agent
// are single bytes; bytes above 127 travel as \u00XX, so that the JSON stays
// ASCII and every byte comes back as it was.
//
// dump fails (exit 1) for a file the agent's start-up would not take as it
// is, so that the agent would start its repair installer; create says so
// when it made such a file.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/os.h"
#include "base/strutil.h"
#include "nlohmann/json.hpp"
#include "news/data_file.h"
#include "news/database.h"
#include "news/topic_array.h"

namespace {

using Json = nlohmann::json;

enum ExitCode { kOk = 0, kFailed = 1, kUsage = 2 };

// The loader's trace texts are this tool's error messages.
void PrintTrace(const char* text) {
    fprintf(stderr, "twldata: %s\n", text);
}

bool ReadAll(const std::string& name, std::string& bytes) {
    if (name == "-") {
        std::ostringstream in;
        in << std::cin.rdbuf();
        bytes = in.str();
        return true;
    }
    std::ifstream in(name, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    bytes = content.str();
    return true;
}

std::string Hex(const uint8_t* bytes, size_t size) {
    std::string hex;
    char pair[3];
    for (size_t i = 0; i < size; i++) {
        snprintf(pair, sizeof pair, "%02x", bytes[i]);
        hex += pair;
    }
    return hex;
}

bool AllZero(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; i++) {
        if (bytes[i]) return false;
    }
    return true;
}

std::string Field(const char* text, size_t size) {
    return std::string(text, StrLenBounded(text, size));
}

// A text of single bytes as a quoted ASCII JSON string: each byte is the
// character of that number.
std::string JsonQuote(const std::string& bytes) {
    std::string utf8;
    for (unsigned char byte : bytes) {
        if (byte < 0x80) {
            utf8 += static_cast<char>(byte);
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return Json(utf8).dump(-1, ' ', true);
}

// The other way: characters above 255, which no byte holds, become "?".
std::string SingleBytes(const std::string& utf8) {
    std::string bytes;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (int k = 1; k < length && i + k < utf8.size(); k++) code = (code << 6) | (utf8[i + k] & 0x3F);
        bytes += code <= 0xFF ? static_cast<char>(code) : '?';
        i += length;
    }
    return bytes;
}

// --- dump ---

// The records exactly as the file holds them.
struct StoredTopic {
    TopicRecord record;
    std::vector<MsgRecord> msgs;
};

class RecordCollector : public DataFileReader {
public:
    void OnHeader(const DataFileHeader& header) override {
        header_ = header;
        haveHeader_ = true;
    }
    void OnTopic(const TopicRecord& record) override { topics_.push_back({record, {}}); }
    void OnMsg(const MsgRecord& record) override { topics_.back().msgs.push_back(record); }

    bool haveHeader_ = false;
    DataFileHeader header_;
    std::vector<StoredTopic> topics_;
};

#define FIELD(record, name) Field((record).name, sizeof(record).name)

void DumpHeaderJson(const DataFileHeader& header, std::ostream& out) {
    out << "  \"header\": {\"version\": " << header.version << ", \"StartCount\": " << header.StartCount
        << ", \"Passive\": " << header.Passive << ", \"Pace\": " << header.Pace
        << ", \"DisplayPreference\": " << header.DisplayPreference << ", \"DisplayValue\": " << header.DisplayValue
        << ", \"AccountId\": " << JsonQuote(FIELD(header, AccountId));
    if (!AllZero(header.DisplaySettings, sizeof header.DisplaySettings))
        out << ", \"DisplaySettings\": \"" << Hex(header.DisplaySettings, sizeof header.DisplaySettings) << "\"";
    out << "},\n";
}

void DumpMsgJson(const MsgRecord& msg, std::ostream& out) {
    out << "       {\"ridTopic\": " << msg.ridTopic << ", \"ridMsg\": " << msg.ridMsg
        << ", \"tmReceived\": " << msg.tmReceived << ", \"dwViews\": " << msg.dwViews
        << ", \"dwReserved1\": " << msg.dwReserved1 << ", \"dwReserved2\": " << msg.dwReserved2
        << ", \"dwReserved3\": " << msg.dwReserved3 << ", \"Title\": " << JsonQuote(FIELD(msg, Title))
        << ", \"File\": " << JsonQuote(FIELD(msg, File)) << ", \"Url\": " << JsonQuote(FIELD(msg, Url)) << "}";
}

void DumpTopicJson(const StoredTopic& stored, std::ostream& out) {
    const TopicRecord& topic = stored.record;
    out << "    {\"ridTopic\": " << topic.ridTopic << ", \"ridLastMsg\": " << topic.ridLastMsg
        << ", \"dwType\": " << topic.dwType << ", \"dwMsgLifetime\": " << topic.dwMsgLifetime
        << ", \"dwInterval\": " << topic.dwInterval << ", \"tmLastUpdate\": " << topic.tmLastUpdate
        << ", \"dwReserved1\": " << topic.dwReserved1 << ", \"dwReserved2\": " << topic.dwReserved2
        << ", \"bActive\": " << topic.bActive << ", \"Category\": " << topic.Category
        << ",\n     \"Title\": " << JsonQuote(FIELD(topic, Title)) << ", \"Hint\": " << JsonQuote(FIELD(topic, Hint))
        << ",\n     \"HomepageUrl\": " << JsonQuote(FIELD(topic, HomepageUrl))
        << ",\n     \"ConfigUrl\": " << JsonQuote(FIELD(topic, ConfigUrl))
        << ",\n     \"MsgBaseUrl\": " << JsonQuote(FIELD(topic, MsgBaseUrl)) << ",\n     \"messages\": [";
    const char* separator = "\n";
    for (const MsgRecord& msg : stored.msgs) {
        out << separator;
        DumpMsgJson(msg, out);
        separator = ",\n";
    }
    out << (stored.msgs.empty() ? "]}" : "\n     ]}");
}

void DumpJson(const RecordCollector& file, std::ostream& out) {
    out << "{\n";
    DumpHeaderJson(file.header_, out);
    out << "  \"topics\": [";
    const char* separator = "\n";
    for (const StoredTopic& topic : file.topics_) {
        out << separator;
        DumpTopicJson(topic, out);
        separator = ",\n";
    }
    out << (file.topics_.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

std::string TimeText(int32_t seconds) {
    if (seconds <= 0) return std::to_string(seconds);
    time_t when = seconds;
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", gmtime(&when));
    return text;
}

void DumpText(const RecordCollector& file, std::ostream& out) {
    const DataFileHeader& header = file.header_;
    out << "Data file version " << header.version << ", StartCount " << header.StartCount << ", Passive "
        << header.Passive << ", Pace " << header.Pace << ", DisplayPreference " << header.DisplayPreference
        << ", DisplayValue " << header.DisplayValue << ", AccountId \"" << FIELD(header, AccountId) << "\"\n"
        << file.topics_.size() << " topics\n";
    for (const StoredTopic& stored : file.topics_) {
        const TopicRecord& topic = stored.record;
        out << "\nTopic " << topic.ridTopic << ": \"" << FIELD(topic, Title) << "\" (" << TopicTypeName(topic.dwType)
            << ", " << (topic.bActive ? "on" : "off") << ", category " << topic.Category << ")\n"
            << "  interval " << topic.dwInterval << " s, message lifetime " << topic.dwMsgLifetime << " s, last update "
            << TimeText(topic.tmLastUpdate) << ", last message " << topic.ridLastMsg << "\n";
        if (*topic.Hint) out << "  hint      " << FIELD(topic, Hint) << "\n";
        if (*topic.HomepageUrl) out << "  homepage  " << FIELD(topic, HomepageUrl) << "\n";
        if (*topic.ConfigUrl) out << "  config    " << FIELD(topic, ConfigUrl) << "\n";
        if (*topic.MsgBaseUrl) out << "  base      " << FIELD(topic, MsgBaseUrl) << "\n";
        out << "  " << stored.msgs.size() << " messages\n";
        for (const MsgRecord& msg : stored.msgs) {
            out << "  #" << msg.ridMsg << " \"" << FIELD(msg, Title) << "\"  " << FIELD(msg, Url) << "  (received "
                << TimeText(msg.tmReceived) << ", " << msg.dwViews << " views)\n";
        }
    }
}

// Whether the agent's start-up would take the file as it is; the loader's
// texts (the agent's own) go to standard error.
bool AgentTakes(const std::string& path) {
    CConfigData cfg = {};
    TopicArray topics;
    bool takes = Database::Open(path.c_str(), topics, cfg) != 0;
    if (!takes)
        fprintf(stderr, "twldata: %s: the agent would not start with this file: it would run its repair installer\n",
                path.c_str());
    return takes;
}

void Silent(const char*) {}

int Dump(const std::string& path, bool json) {
    RecordCollector file;
    gOs.DebugTrace = Silent;  // the agent's own check below says what is wrong
    ReadDataFile(path.c_str(), file);
    gOs.DebugTrace = PrintTrace;
    if (file.haveHeader_) {
        if (json) {
            DumpJson(file, std::cout);
        } else {
            DumpText(file, std::cout);
        }
    }
    std::cout.flush();
    return AgentTakes(path) ? kOk : kFailed;
}

// --- create ---

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the description; a mistake names the member it is in.
class Description {
public:
    explicit Description(std::string& error) : error_(error) {}

    int64_t Number(const Json& object, const char* name, int64_t fallback) {
        const Json* member = Find(object, name);
        if (!member) return fallback;
        if (!member->is_number_integer()) {
            Fail(name, "is not a whole number");
            return fallback;
        }
        return member->get<int64_t>();
    }

    void Text(const Json& object, const char* name, char* field, size_t size) {
        const Json* member = Find(object, name);
        if (!member) return;
        if (!member->is_string()) return Fail(name, "is not a string");
        std::string text = SingleBytes(member->get<std::string>());
        if (text.size() >= size) return Fail(name, "is longer than its field");
        StrCopy(field, size, text.c_str());
    }

    void Bytes(const Json& object, const char* name, uint8_t* field, size_t size) {
        const Json* member = Find(object, name);
        if (!member) return;
        if (!member->is_string() || member->get_ref<const std::string&>().size() != size * 2)
            return Fail(name, "is not hex of its field");
        const std::string& hex = member->get_ref<const std::string&>();
        for (size_t i = 0; i < size; i++) {
            int high = HexDigit(hex[i * 2]), low = HexDigit(hex[i * 2 + 1]);
            if (high < 0 || low < 0) return Fail(name, "is not hex of its field");
            field[i] = static_cast<uint8_t>((high << 4) | low);
        }
    }

    // The member of that name of an object, or null (also for a non-object).
    static const Json* Find(const Json& object, const char* name) {
        if (!object.is_object()) return nullptr;
        auto member = object.find(name);
        return member == object.end() ? nullptr : &*member;
    }

    bool ok() const { return error_.empty(); }

private:
    void Fail(const char* name, const char* what) {
        if (error_.empty()) error_ = std::string("\"") + name + "\" " + what;
    }
    std::string& error_;
};

void ReadHeader(const Json& root, Description& read, CConfigData& cfg) {
    const Json* header = Description::Find(root, "header");
    if (!header) return;
    cfg.StartCount = static_cast<uint32_t>(read.Number(*header, "StartCount", 0));
    cfg.Passive = static_cast<uint32_t>(read.Number(*header, "Passive", 0));
    cfg.Pace = static_cast<int32_t>(read.Number(*header, "Pace", 1));
    cfg.DisplayPreference = static_cast<int32_t>(read.Number(*header, "DisplayPreference", 1));
    cfg.DisplayValue = static_cast<int32_t>(read.Number(*header, "DisplayValue", 0));
    read.Text(*header, "AccountId", cfg.AccountId, 100);
    read.Bytes(*header, "DisplaySettings", cfg.DisplaySettings, sizeof cfg.DisplaySettings);
}

void ReadMessages(const Json& object, Description& read, CTopic& topic) {
    const Json* messages = Description::Find(object, "messages");
    if (!messages || !messages->is_array()) return;
    for (const Json& item : *messages) {
        MsgRecord record;
        memset(&record, 0, sizeof record);
        record.ridTopic = static_cast<uint32_t>(read.Number(item, "ridTopic", topic.ridTopic));
        record.ridMsg = static_cast<uint32_t>(read.Number(item, "ridMsg", topic.msgList.count() + 1));
        record.tmReceived = static_cast<int32_t>(read.Number(item, "tmReceived", 0));
        record.dwViews = static_cast<uint32_t>(read.Number(item, "dwViews", 0));
        record.dwReserved1 = static_cast<uint32_t>(read.Number(item, "dwReserved1", 0));
        record.dwReserved2 = static_cast<uint32_t>(read.Number(item, "dwReserved2", 0));
        record.dwReserved3 = static_cast<uint32_t>(read.Number(item, "dwReserved3", 0));
        read.Text(item, "Title", record.Title, sizeof record.Title);
        read.Text(item, "File", record.File, sizeof record.File);
        read.Text(item, "Url", record.Url, kMsgUrlMax + 1);
        CMsg* msg = CMsg::Create(record);
        if (!msg) throw "out of memory";
        topic.msgList.InsertHead(topic.msgList.last(), msg);
    }
}

void ReadTopic(const Json& object, Description& read, TopicArray& topics) {
    std::unique_ptr<CTopic> owned(new CTopic());
    topics.Add(owned.get());
    CTopic* topic = owned.release();
    // Stored ids are written as given: the agent renumbers topics when it loads them.
    topic->ridTopic = static_cast<uint32_t>(read.Number(object, "ridTopic", topic->ridTopic));
    topic->dwType = static_cast<uint32_t>(read.Number(object, "dwType", TOPIC_SUBSCRIPTION));
    topic->dwMsgLifetime = static_cast<uint32_t>(read.Number(object, "dwMsgLifetime", topic->dwMsgLifetime));
    topic->dwInterval = static_cast<uint32_t>(read.Number(object, "dwInterval", topic->dwInterval));
    topic->tmLastUpdate = static_cast<int32_t>(read.Number(object, "tmLastUpdate", topic->tmLastUpdate));
    topic->dwReserved1 = static_cast<uint32_t>(read.Number(object, "dwReserved1", 0));
    topic->dwReserved2 = static_cast<uint32_t>(read.Number(object, "dwReserved2", 0));
    topic->bActive = static_cast<uint32_t>(read.Number(object, "bActive", topic->bActive));
    topic->Category = static_cast<uint32_t>(read.Number(object, "Category", 0));
    read.Text(object, "Title", topic->Title, sizeof topic->Title);
    read.Text(object, "Hint", topic->Hint, sizeof topic->Hint);
    read.Text(object, "HomepageUrl", topic->HomepageUrl, sizeof topic->HomepageUrl);
    read.Text(object, "ConfigUrl", topic->ConfigUrl, sizeof topic->ConfigUrl);
    read.Text(object, "MsgBaseUrl", topic->MsgBaseUrl, sizeof topic->MsgBaseUrl);
    ReadMessages(object, read, *topic);
    uint32_t lastMsg = topic->msgList.count() ? topic->msgList.last()->value->ridMsg : 0;
    topic->ridLastMsg = static_cast<uint32_t>(read.Number(object, "ridLastMsg", lastMsg));
}

// Fills the record and the array from the JSON in source; an empty text
// when all went well, else what was wrong.
std::string ReadDescription(const std::string& source, CConfigData& cfg, TopicArray& topics) {
    std::string json, error;
    if (!ReadAll(source, json)) return "cannot read " + source;
    Json root;
    try {
        root = Json::parse(json);
    } catch (const Json::parse_error& bad) {
        return source + ": not JSON at offset " + std::to_string(bad.byte - 1);  // counted from 1
    }
    Description read(error);
    ReadHeader(root, read, cfg);
    const Json* list = Description::Find(root, "topics");
    try {
        for (size_t i = 0; read.ok() && list && list->is_array() && i < list->size(); i++)
            ReadTopic((*list)[i], read, topics);
    } catch (const char* raised) {
        return raised;
    }
    return error;
}

int Create(const std::string& path, const std::string& source) {
    CConfigData cfg = {};
    cfg.Pace = 1;
    cfg.DisplayPreference = 1;
    TopicArray topics;
    std::string error = source.empty() ? "" : ReadDescription(source, cfg, topics);
    if (!error.empty()) {
        fprintf(stderr, "twldata: %s\n", error.c_str());
        return kFailed;
    }
    if (!SaveDataFile(path.c_str(), topics, cfg)) return kFailed;
    AgentTakes(path);  // such a file is made on purpose, for the repair path
    return kOk;
}

int Usage() {
    fprintf(stderr,
            "usage: twldata dump FILE [--json]    show a data file\n"
            "       twldata create FILE [JSON]    make a data file, empty or as JSON describes (- reads stdin)\n");
    return kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    gOs.DebugTrace = PrintTrace;
    if (argc >= 3 && strcmp(argv[1], "dump") == 0) {
        if (argc > 4 || (argc == 4 && strcmp(argv[3], "--json") != 0)) return Usage();
        return Dump(argv[2], argc == 4);
    }
    if (argc >= 3 && strcmp(argv[1], "create") == 0 && argc <= 4) return Create(argv[2], argc == 4 ? argv[3] : "");
    return Usage();
}
