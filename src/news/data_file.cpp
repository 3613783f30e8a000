// Loading and saving the message data file. A save writes a new file beside
// the old one and puts it in its place only once it is complete, so a save
// that fails part-way (a full disk, a crash) leaves the previous file intact.
#include "news/data_file.h"

#include <cstring>
#include <memory>

#include "base/os.h"
#include "base/strutil.h"
#include "base/trace.h"
#include "news/topic_array.h"

namespace {

const char kBanner[] = "Tidewell News message database. Do not edit.\r\nData File Version 14\r\n\x1A";
static_assert(sizeof kBanner < sizeof(DataFileHeader::banner), "the banner leaves at least one zero byte");

constexpr char kDataFileName[] = "Msg.dat";

// Hands out the fields of a file from pieces read many records at a time:
// one read call per record made loading a full database several times
// slower than reading its bytes (under Wine every call is a trip through the
// system). A field is handed out in place and lasts until the next one is
// asked for. Every field is a multiple of four bytes long, so each starts
// four-byte aligned in the piece, as the records' words need.
class FieldReader {
public:
    explicit FieldReader(OsFile* file) : file_(file) {}

    // The next size bytes (at most a piece), or raises the field's text for
    // a failed read or for a file that ends first.
    const void* Next(uint32_t size, const char* failed, const char* shortRead) {
        if (end_ - position_ < size) Refill(size, failed, shortRead);
        const unsigned char* field = piece_ + position_;
        position_ += size;
        return field;
    }

private:
    static constexpr uint32_t kPieceSize = 64 * 1024;
    static_assert(sizeof(DataFileHeader) <= kPieceSize, "the largest field fits a piece");

    // Moves what is left of the piece to its front and reads behind it until
    // the field is complete.
    void Refill(uint32_t size, const char* failed, const char* shortRead) {
        uint32_t kept = end_ - position_;
        memmove(piece_, piece_ + position_, kept);
        position_ = 0;
        end_ = kept;
        while (end_ < size) {
            uint32_t got = 0;
            if (!gOs.Read(file_, piece_ + end_, kPieceSize - end_, &got)) throw failed;
            if (got == 0) throw shortRead;
            end_ += got;
        }
    }

    OsFile* file_;
    uint32_t position_ = 0;
    uint32_t end_ = 0;
    alignas(8) unsigned char piece_[kPieceSize];
};

template <typename Field>
const Field& ReadField(FieldReader& in, const char* failed, const char* shortRead) {
    return *static_cast<const Field*>(in.Next(sizeof(Field), failed, shortRead));
}

void WriteField(OsFile* file, const void* data, uint32_t size, const char* failed, const char* shortWrite) {
    uint32_t written = 0;
    if (!gOs.Write(file, data, size, &written)) throw failed;
    if (written != size) throw shortWrite;
}

// The stored start count is one less than this run's.
void ApplyHeader(const DataFileHeader& header, CConfigData& cfg) {
    cfg.StartCount = header.StartCount + 1;
    cfg.Passive = header.Passive;
    memcpy(cfg.DisplaySettings, header.DisplaySettings, sizeof cfg.DisplaySettings);
    cfg.Pace = header.Pace;
    cfg.DisplayPreference = header.DisplayPreference;
    cfg.DisplayValue = header.DisplayValue;
    StrCopyField(cfg.AccountId, sizeof header.AccountId, header.AccountId, sizeof header.AccountId);
}

// A damaged file may hold texts without terminators; each is cut within its field.
void TerminateTexts(TopicRecord& record) {
    record.Title[sizeof record.Title - 1] = '\0';
    record.Hint[sizeof record.Hint - 1] = '\0';
    record.HomepageUrl[sizeof record.HomepageUrl - 1] = '\0';
    record.ConfigUrl[sizeof record.ConfigUrl - 1] = '\0';
    record.MsgBaseUrl[sizeof record.MsgBaseUrl - 1] = '\0';
}

// Fills the topic array from the file the way the agent takes it: every
// topic gets the id of the slot it lands in, and so do its messages.
class TopicArrayLoader : public DataFileReader {
public:
    TopicArrayLoader(TopicArray& topics, CConfigData& cfg, const KeepTopic& keep)
        : topics_(topics), cfg_(cfg), keep_(keep) {}

    void OnHeader(const DataFileHeader& header) override { ApplyHeader(header, cfg_); }

    void BeforeTopic() override {
        if (!keep_ && topics_.Size == TopicArray::kCapacity) throw "Too Many Topics";
    }

    void OnTopic(const TopicRecord& stored) override {
        topic_ = nullptr;
        if (keep_ && !keep_(stored)) return;
        std::unique_ptr<CTopic> topic(new (std::nothrow) CTopic(stored));
        if (!topic) throw "Out of memory allocating topic record";
        TerminateTexts(topic->record());
        topics_.Add(topic.get());
        topic_ = topic.release();
        lastMsg_ = 0;
    }

    void OnMsg(const MsgRecord& record) override {
        if (!topic_) return;  // of a topic left out
        CMsg* msg = CMsg::Create(record);
        if (!msg) throw "Out of memory allocating msg rec";
        msg->ridTopic = topic_->ridTopic;  // the stored id is the slot of the last run
        try {
            topic_->msgList.InsertHead(topic_->msgList.last(), msg);
        } catch (...) {
            CMsg::Destroy(msg);
            throw;
        }
        lastMsg_ = record.ridMsg;
    }

    void AfterTopic() override {
        if (topic_) topic_->ridLastMsg = lastMsg_;
    }

private:
    TopicArray& topics_;
    CConfigData& cfg_;
    const KeepTopic& keep_;
    CTopic* topic_ = nullptr;
    uint32_t lastMsg_ = 0;
};

void ReadRecords(OsFile* file, DataFileReader& reader) {
    FieldReader in(file);
    const auto& header =
        ReadField<DataFileHeader>(in, "Could not read data file Header", "Read wrong size for data file Header");
    if (header.version != kDataFileVersion) throw "Unsupported version of data file";
    reader.OnHeader(header);
    uint32_t topics = ReadField<uint32_t>(in, "Could not read dwNumTopics", "Read wrong size for dwNumTopics");
    for (uint32_t t = 0; t < topics; t++) {
        reader.BeforeTopic();
        reader.OnTopic(ReadField<TopicRecord>(in, "Error Reading Topic", "Invalid topic record size"));
        uint32_t msgs = ReadField<uint32_t>(in, "Could not read dwNumMsgs", "Read wrong size for dwNumMsgs");
        for (uint32_t m = 0; m < msgs; m++) {
            reader.OnMsg(ReadField<MsgRecord>(in, "Error Reading Msg", "Invalid msg record size"));
        }
        reader.AfterTopic();
    }
}

void SaveTopic(OsFile* file, const CTopic& topic) {
    WriteField(file, &topic.record(), sizeof(TopicRecord), "Failed writing msg", "Invalid msg record size");
    uint32_t count = topic.msgList.count();
    WriteField(file, &count, sizeof count, "Failed writing msg", "Invalid dwNumSize size written");
    uint32_t written = 0;
    for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node)) {
        MsgRecord record;
        memset(&record, 0, sizeof record);
        node->value->ToRecord(record);
        WriteField(file, &record, sizeof record, "Failed writing msg", "Invalid msg record size");
        written++;
    }
    if (written != count) throw "Invalid number of msgs writen";
}

void SaveAll(OsFile* file, const TopicArray& topics, const CConfigData& cfg) {
    DataFileHeader header;
    BuildDataFileHeader(cfg, header);
    WriteField(file, &header, sizeof header, "Failed writing Header", "Read wrong size for data file Header");
    uint32_t count = topics.Size;
    WriteField(file, &count, sizeof count, "Failed writing dwNumTopics", "Invalid dwNumTopic size written");
    uint32_t written = 0;
    topics.ForEach([&](const CTopic& topic) {
        SaveTopic(file, topic);
        written++;
    });
    if (written != count) throw "Invalid number of topics writen";
    if (!gOs.Flush(file)) throw "Could not flush the data file";
}

}  // namespace

void BuildDataFileHeader(const CConfigData& cfg, DataFileHeader& header) {
    memset(&header, 0, sizeof header);
    memcpy(header.banner, kBanner, sizeof kBanner - 1);
    header.version = kDataFileVersion;
    header.StartCount = cfg.StartCount;
    header.Passive = cfg.Passive;
    header.Pace = cfg.Pace;
    header.DisplayPreference = cfg.DisplayPreference;
    header.DisplayValue = cfg.DisplayValue;
    StrCopyField(header.AccountId, sizeof header.AccountId, cfg.AccountId, sizeof cfg.AccountId);
    memcpy(header.DisplaySettings, cfg.DisplaySettings, sizeof header.DisplaySettings);
}

std::string DataFilePath() {
    return DataDirPath(kDataFileName);
}

int ReadDataFile(const char* path, DataFileReader& reader) {
    OsFile* file = gOs.OpenRead(path);
    if (!file) {
        Trace("TopicArray::Load(): Could not open %s", path);
        return 0;
    }
    int result = 1;
    try {
        ReadRecords(file, reader);
    } catch (const char* text) {
        Trace("TopicArray::Load() Error: %s", text);
        result = 0;
    } catch (...) {
        TraceCaught("TopicArray::Load()");
        result = 0;
    }
    gOs.Close(file);
    return result;
}

int LoadDataFile(const char* path, TopicArray& topics, CConfigData& cfg, const KeepTopic& keep) {
    TopicArrayLoader loader(topics, cfg, keep);
    return ReadDataFile(path, loader);
}

int SaveDataFile(const char* path, const TopicArray& topics, const CConfigData& cfg) {
    std::string newPath = std::string(path) + ".new";
    OsFile* file = gOs.CreateWrite(newPath.c_str());
    if (!file) {
        Trace("TopicArray::Save(): Could not create %s", newPath.c_str());
        return 0;
    }
    bool saved = false;
    try {
        SaveAll(file, topics, cfg);
        saved = true;
    } catch (const char* text) {
        Trace("TopicArray::Load() Error: %s", text);  // the same text as for loading
    } catch (...) {
        TraceCaught("TopicArray::Save()");
    }
    if (!saved) {
        gOs.Close(file);
        gOs.DeleteFile(newPath.c_str());
        return 0;
    }
    gOs.Close(file);
    if (!gOs.ReplaceFile(newPath.c_str(), path)) {
        Trace("TopicArray::Save(): Could not replace %s", path);
        gOs.DeleteFile(newPath.c_str());
        return 0;
    }
    return 1;
}

int TopicArray::Load() {
    return LoadDataFile(DataFilePath().c_str(), *this, *gConfig);
}

int TopicArray::Save() {
    if (gConfig->Passive) return 1;
    return SaveDataFile(DataFilePath().c_str(), *this, *gConfig);
}
