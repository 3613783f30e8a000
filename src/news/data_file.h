// The message data file "Msg.dat": a 4768-byte header carrying the persisted
// fields of the shared record, then the topics, each followed by its
// messages. Little-endian, no padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "shared/config_data.h"

constexpr uint32_t kDataFileVersion = 14;

struct DataFileHeader {
    char banner[256];  // a notice, "Data File Version 14", 0x1A, zeros
    uint32_t version;
    uint32_t StartCount;
    uint32_t Passive;
    int32_t Pace;
    int32_t DisplayPreference;
    int32_t DisplayValue;
    char AccountId[100];
    uint8_t DisplaySettings[388];
    uint8_t reserved[4000];
};

#define HEADER_OFFSET(field, offset) \
    static_assert(offsetof(DataFileHeader, field) == (offset), "DataFileHeader::" #field " must sit at " #offset)
HEADER_OFFSET(version, 256);
HEADER_OFFSET(StartCount, 260);
HEADER_OFFSET(Passive, 264);
HEADER_OFFSET(Pace, 268);
HEADER_OFFSET(DisplayPreference, 272);
HEADER_OFFSET(DisplayValue, 276);
HEADER_OFFSET(AccountId, 280);
HEADER_OFFSET(DisplaySettings, 380);
HEADER_OFFSET(reserved, 768);
#undef HEADER_OFFSET
static_assert(sizeof(DataFileHeader) == 4768, "the data file header is 4768 bytes");

class TopicArray;
struct TopicRecord;
struct MsgRecord;

// Takes the records of a data file as they are read, in file order. Any of
// them may raise a text to stop the reading. A record handed over lasts only
// for the call: keep a copy, not the reference.
class DataFileReader {
public:
    virtual ~DataFileReader() = default;
    virtual void OnHeader(const DataFileHeader& header) = 0;
    // Before each topic record is read.
    virtual void BeforeTopic() {}
    virtual void OnTopic(const TopicRecord& record) = 0;
    virtual void OnMsg(const MsgRecord& record) = 0;
    // After the last message of a topic.
    virtual void AfterTopic() {}
};

// Reads the data file at path into the reader. A file that cannot be opened,
// ends early, has another version or whose reader raises a text gives 0,
// with the text in the trace.
int ReadDataFile(const char* path, DataFileReader& reader);

// The header as a save writes it, from the record.
void BuildDataFileHeader(const CConfigData& cfg, DataFileHeader& header);

// "%s\Msg.dat" in the agent's own data directory.
std::string DataFilePath();

// Decides, topic by topic in file order, which topics a load keeps; a topic
// left out is left out with its messages.
using KeepTopic = std::function<bool(const TopicRecord& record)>;

// Loads the data file at path into an empty array and applies its header to
// the record. 1 on success; on failure, 0 with what was read before it kept.
// Without keep, a file of more topics than the array holds fails; with it,
// keep must admit no more than the array holds.
int LoadDataFile(const char* path, TopicArray& topics, CConfigData& cfg, const KeepTopic& keep = nullptr);

// Writes the array and the record's persisted fields to the data file at
// path: first to path + ".new", which then replaces the file, so that a save
// that fails part-way leaves the previous file as it was. 1 on success.
int SaveDataFile(const char* path, const TopicArray& topics, const CConfigData& cfg);
