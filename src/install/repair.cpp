// Salvaging a message data file that the agent refused, with the agent's own
// judgement, reading and writing code: the loader keeps what it read before
// it met any damage, as many topics of it as start-up takes, and that is
// what the new file holds.
#include "install/repair.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/os.h"
#include "base/trace.h"
#include "news/data_file.h"
#include "news/database.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

namespace {

constexpr char kDataFileName[] = "Msg.dat";
constexpr char kRestartFileName[] = "Restarted.txt";
// Set-aside names tried for one second before giving up.
constexpr int kAsideTries = 100;

std::string InDir(const std::string& dir, const char* name) {
    return dir + "\\" + name;
}

bool FileListed(const std::string& dir, const char* name) {
    bool found = false;
    gOs.ListDir(dir.c_str(), [&](const char* entry) { found = found || strcmp(entry, name) == 0; });
    return found;
}

// Notes the header and counts what reads.
struct FileProbe : DataFileReader {
    bool headerRead = false;
    DataFileHeader header;
    uint32_t topics = 0, messages = 0;
    void OnHeader(const DataFileHeader& read) override {
        header = read;
        headerRead = true;
    }
    void OnTopic(const TopicRecord&) override { topics++; }
    void OnMsg(const MsgRecord&) override { messages++; }
};

// "Msg-2026-12-06-021500.dat", with "-2", "-3"... when that name is taken.
std::string AsideName(const std::string& dataDir, int32_t now, int attempt) {
    time_t when = now;
    const struct tm* local = localtime(&when);
    char name[64];
    if (local) {
        strftime(name, sizeof name, "Msg-%Y-%m-%d-%H%M%S", local);
    } else {
        snprintf(name, sizeof name, "Msg-%ld", static_cast<long>(now));
    }
    std::string result = name;
    if (attempt > 1) result += "-" + std::to_string(attempt);
    result += ".dat";
    return FileListed(dataDir, result.c_str()) ? "" : result;
}

// Renames the damaged file; the name it got, or empty when it could not be moved.
std::string SetAside(const std::string& dataDir, int32_t now) {
    for (int attempt = 1; attempt <= kAsideTries; attempt++) {
        std::string name = AsideName(dataDir, now, attempt);
        if (name.empty()) continue;
        if (gOs.ReplaceFile(InDir(dataDir, kDataFileName).c_str(), InDir(dataDir, name.c_str()).c_str())) return name;
        Trace("Repair(): Could not rename the data file to %s", name.c_str());
        return "";
    }
    return "";
}

void DefaultRecord(CConfigData& cfg) {
    memset(&cfg, 0, sizeof cfg);
    cfg.Pace = cfg.DisplayPreference = 1;
}

int WriteEmpty(const std::string& path) {
    TopicArray none;
    CConfigData cfg;
    DefaultRecord(cfg);
    return SaveDataFile(path.c_str(), none, cfg);
}

// Loads into topics and cfg what the refused file still gives and start-up
// takes: the first ad-stream topic, and the first other topics that leave it
// its slot.
void LoadWhatFits(const std::string& path, const FileProbe& probe, TopicArray& topics, CConfigData& cfg) {
    DefaultRecord(cfg);
    bool adStreamKept = false;
    uint32_t others = 0;
    LoadDataFile(path.c_str(), topics, cfg, [&](const TopicRecord& record) {
        if (record.dwType == TOPIC_ADSTREAM && !adStreamKept) {
            adStreamKept = true;
            return true;
        }
        if (others == TopicArray::kCapacity - 1) return false;
        others++;
        return true;
    });
    if (probe.headerRead) cfg.StartCount = probe.header.StartCount;  // the load counted one start on
}

// The judgement of the agent's start-up.
bool StartUpTakes(const std::string& path) {
    TopicArray topics;
    CConfigData cfg;
    DefaultRecord(cfg);
    return Database::Open(path.c_str(), topics, cfg) != 0;
}

// "1 topic", "2 topics".
std::string Counted(uint32_t count, const char* thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

}  // namespace

RepairOutcome RepairDataFile(const std::string& dataDir, int32_t now) {
    RepairOutcome outcome;
    std::string path = InDir(dataDir, kDataFileName);
    if (!FileListed(dataDir, kDataFileName)) {
        outcome.kind = WriteEmpty(path) ? RepairOutcome::kMissing : RepairOutcome::kFailed;
        return outcome;
    }
    if (StartUpTakes(path)) {
        outcome.kind = RepairOutcome::kIntact;
        return outcome;
    }
    FileProbe probe;
    bool whole = ReadDataFile(path.c_str(), probe) != 0;
    TopicArray topics;
    CConfigData cfg;
    LoadWhatFits(path, probe, topics, cfg);

    outcome.asideName = SetAside(dataDir, now);
    if (outcome.asideName.empty()) return outcome;  // kFailed: a new file would take the refused one's place
    if ((probe.headerRead || topics.Size > 0) && SaveDataFile(path.c_str(), topics, cfg) && StartUpTakes(path)) {
        outcome.kind = whole ? RepairOutcome::kTrimmed : RepairOutcome::kSalvaged;
        outcome.topics = topics.Size;
        topics.ForEach([&](const CTopic& topic) { outcome.messages += topic.msgList.count(); });
        outcome.droppedTopics = probe.topics - outcome.topics;
        outcome.droppedMessages = probe.messages - outcome.messages;
        return outcome;
    }
    outcome.kind = WriteEmpty(path) ? RepairOutcome::kEmptied : RepairOutcome::kFailed;
    return outcome;
}

bool RestartAllowed(const std::string& dataDir, int32_t now) {
    OsFile* file = gOs.OpenRead(InDir(dataDir, kRestartFileName).c_str());
    if (!file) return true;
    char text[32] = "";
    uint32_t got = 0;
    gOs.Read(file, text, sizeof text - 1, &got);
    gOs.Close(file);
    text[got] = '\0';
    long last = strtol(text, nullptr, 10);
    // A clock set back makes the note look young; that only costs one restart.
    return !(now >= last && now - last < kRestartGuardSeconds);
}

void NoteRestart(const std::string& dataDir, int32_t now) {
    OsFile* file = gOs.CreateWrite(InDir(dataDir, kRestartFileName).c_str());
    if (!file) return;
    std::string text = std::to_string(now) + "\r\n";
    uint32_t written = 0;
    gOs.Write(file, text.data(), static_cast<uint32_t>(text.size()), &written);
    gOs.Close(file);
}

std::string RepairMessage(const RepairOutcome& outcome, bool restarted) {
    std::string text;
    std::string kept = "it kept " + Counted(outcome.topics, "topic") + " and " + Counted(outcome.messages, "message");
    std::string dropped = "left out " + Counted(outcome.droppedTopics, "topic") + " with " +
                          Counted(outcome.droppedMessages, "message") + " that did not fit";
    std::string aside = "The damaged file was kept as Data\\" + outcome.asideName + ".";
    switch (outcome.kind) {
        case RepairOutcome::kIntact:
            if (restarted) return "";
            text = "Tidewell Agent could not start, and starting it again did not help.";
            break;
        case RepairOutcome::kMissing: text = "Tidewell found no news database and made a new, empty one."; break;
        case RepairOutcome::kSalvaged:
            text = "Tidewell repaired its damaged news database: " + kept +
                   (outcome.droppedTopics ? " and " + dropped : "") + ". " + aside;
            break;
        case RepairOutcome::kTrimmed:
            text = "Tidewell's news database held more topics than it can take: " + kept + " and " + dropped +
                   ". The whole file was kept as Data\\" + outcome.asideName + ".";
            break;
        case RepairOutcome::kEmptied:
            text =
                "Tidewell could not read anything from its damaged news database and made a new, empty one. " + aside;
            break;
        case RepairOutcome::kFailed: text = "Tidewell could not repair its news database in its Data folder."; break;
    }
    if (outcome.kind != RepairOutcome::kIntact && !restarted) {
        text += " Start Tidewell again from the Start menu.";
    }
    return text;
}
