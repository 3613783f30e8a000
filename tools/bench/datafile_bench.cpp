// The data-file figure: the full database (every one of the 100 slots
// taken) saved and loaded by the agent's own SaveDataFile and LoadDataFile,
// against the same bytes written and read with one call each through the
// same system interface. The baseline write is flushed and put in place as
// a save does, so the ratio shows what the record-by-record format costs,
// not what keeping the previous file safe costs; the baseline read reads
// the file the load reads, so both find it equally warm in the caches.
// Platform-free: it runs under Wine and natively.
//
//   bench_datafile [--quick] [--label TEXT]   rows for the table, exit code 0 when every run worked
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "base/os.h"
#include "full_database.h"
#include "measure.h"
#include "news/data_file.h"
#include "news/topic_array.h"
#include "report.h"
#include "shared/config_data.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    int rounds = 15;
    std::string label;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--quick") == 0) options.rounds = 2;
        if (strcmp(argv[i], "--label") == 0 && i + 1 < argc) options.label = argv[++i];
    }
    return options;
}

// A failed run ends the program: a figure from a broken run means nothing.
void Require(bool condition, const char* what) {
    if (condition) return;
    fprintf(stderr, "bench_datafile: %s\n", what);
    exit(1);
}

// Counts the system calls a save or a load makes.
int gWriteCalls = 0;
int gReadCalls = 0;
int (*gRealWrite)(OsFile*, const void*, uint32_t, uint32_t*) = nullptr;
int (*gRealRead)(OsFile*, void*, uint32_t, uint32_t*) = nullptr;

int CountingWrite(OsFile* file, const void* data, uint32_t size, uint32_t* written) {
    gWriteCalls++;
    return gRealWrite(file, data, size, written);
}

int CountingRead(OsFile* file, void* buffer, uint32_t size, uint32_t* got) {
    gReadCalls++;
    return gRealRead(file, buffer, size, got);
}

class NullReader : public DataFileReader {
public:
    void OnHeader(const DataFileHeader&) override {}
    void OnTopic(const TopicRecord&) override {}
    void OnMsg(const MsgRecord&) override {}
};

class Bench {
public:
    explicit Bench(const fs::path& dir) : path_((dir / "Msg.dat").string()), rawPath_((dir / "Raw.dat").string()) {
        MakeBenchConfig(cfg_);
        MakeFullDatabase(topics_, kFileTopics);
    }

    // The file as a save writes it, kept as the baseline's bytes.
    void Prepare() {
        Require(SaveDataFile(path_.c_str(), topics_, cfg_) == 1, "the first save failed");
        OsFile* file = gOs.OpenRead(path_.c_str());
        Require(file != nullptr, "the saved file cannot be opened");
        bytes_.resize(FullDatabaseFileBytes(kFileTopics) + 1);
        uint32_t got = 0;
        gOs.Read(file, bytes_.data(), static_cast<uint32_t>(bytes_.size()), &got);
        gOs.Close(file);
        Require(got == FullDatabaseFileBytes(kFileTopics), "the saved file is not the size its records make");
        bytes_.resize(got);
    }

    double Save() {
        double start = Now();
        int saved = SaveDataFile(path_.c_str(), topics_, cfg_);
        double seconds = Now() - start;
        Require(saved == 1, "a save failed");
        return seconds;
    }

    // The baseline: the same bytes in one write, flushed and put in place as
    // a save does; without those two steps only for the notes.
    double WriteOnce(bool likeASave = true) {
        std::string newPath = rawPath_ + ".new";
        double start = Now();
        OsFile* file = gOs.CreateWrite(newPath.c_str());
        Require(file != nullptr, "the baseline file cannot be created");
        uint32_t written = 0;
        int ok = gOs.Write(file, bytes_.data(), static_cast<uint32_t>(bytes_.size()), &written);
        ok = ok && (!likeASave || gOs.Flush(file));
        gOs.Close(file);
        ok = ok && (!likeASave || gOs.ReplaceFile(newPath.c_str(), rawPath_.c_str()));
        double seconds = Now() - start;
        Require(ok && written == bytes_.size(), "the baseline write failed");
        return seconds;
    }

    double Load() {
        TopicArray loaded;
        CConfigData cfg;
        MakeBenchConfig(cfg);
        double start = Now();
        int ok = LoadDataFile(path_.c_str(), loaded, cfg);
        double seconds = Now() - start;
        Require(ok == 1 && loaded.Size == kFileTopics, "a load failed");
        return seconds;  // freeing the topics is not part of the load
    }

    double ReadOnce() {
        std::vector<char>& buffer = readBuffer_;
        buffer.resize(bytes_.size());
        double start = Now();
        OsFile* file = gOs.OpenRead(path_.c_str());  // the very file the load reads
        Require(file != nullptr, "the baseline file cannot be opened");
        uint32_t got = 0;
        int ok = gOs.Read(file, buffer.data(), static_cast<uint32_t>(buffer.size()), &got);
        gOs.Close(file);
        double seconds = Now() - start;
        Require(ok && got == bytes_.size(), "the baseline read failed");
        return seconds;
    }

    // The load's reading alone: every record read and checked, none kept.
    double ReadRecordsOnly() {
        NullReader reader;
        double start = Now();
        int ok = ReadDataFile(path_.c_str(), reader);
        double seconds = Now() - start;
        Require(ok == 1, "reading the records failed");
        return seconds;
    }

    // The heap blocks a load makes (a topic, and for each message its block
    // and its list node), allocated bare: what the heap alone charges.
    double AllocateLikeLoad() {
        std::vector<void*> blocks;
        blocks.reserve(2 * FullDatabaseMessages(kFileTopics) + kFileTopics);
        double start = Now();
        topics_.ForEach([&](const CTopic& topic) {
            blocks.push_back(malloc(sizeof(CTopic)));
            for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node)) {
                blocks.push_back(malloc(node->value->cbSize));
                blocks.push_back(malloc(sizeof(MsgList::Node)));
            }
        });
        double seconds = Now() - start;
        for (void* block : blocks) free(block);
        return seconds;
    }

    // How many system calls one save and one load make.
    void CountCalls(int& writes, int& reads) {
        gRealWrite = gOs.Write;
        gRealRead = gOs.Read;
        gOs.Write = CountingWrite;
        gOs.Read = CountingRead;
        gWriteCalls = gReadCalls = 0;
        Save();
        Load();
        gOs.Write = gRealWrite;
        gOs.Read = gRealRead;
        writes = gWriteCalls;
        reads = gReadCalls;
    }

    size_t bytes() const { return bytes_.size(); }

private:
    std::string path_;
    std::string rawPath_;
    CConfigData cfg_;
    TopicArray topics_;
    std::vector<char> bytes_;
    std::vector<char> readBuffer_;
};

std::string Figure(const char* number, const Options& options) {
    return options.label.empty() ? number : std::string(number) + " (" + options.label + ")";
}

void Report(Bench& bench, const Options& options) {
    Paired save = Interleave(
        options.rounds, [&] { return bench.Save(); }, [&] { return bench.WriteOnce(); });
    Paired load = Interleave(
        options.rounds, [&] { return bench.Load(); }, [&] { return bench.ReadOnce(); });
    Paired reading = Interleave(
        options.rounds, [&] { return bench.ReadRecordsOnly(); }, [&] { return bench.ReadOnce(); });
    Paired heap = Interleave(
        options.rounds, [&] { return bench.AllocateLikeLoad(); }, [&] { return bench.ReadOnce(); });
    Paired writing = Interleave(
        options.rounds, [&] { return bench.WriteOnce(false); }, [&] { return bench.WriteOnce(); });
    std::string size = std::to_string(bench.bytes()) + " bytes";
    PrintRow({Figure("2a", options), "save of the full database: " + Millis(save.subject, 2),
              "one flushed write of the same " + size + ": " + Millis(save.baseline, 2), Times(save.Ratio()), "<= 2x",
              YesNo(save.Ratio() <= 2)});
    PrintRow({Figure("2b", options), "load of the full database: " + Millis(load.subject, 2),
              "one read of the same file, " + size + ": " + Millis(load.baseline, 2), Times(load.Ratio()), "<= 2x",
              YesNo(load.Ratio() <= 2)});
    int writes = 0, reads = 0;
    bench.CountCalls(writes, reads);
    std::string figure = Figure("2", options);
    PrintNote("figure %s: 100 topics, %u messages; a save makes %d write calls, a load %d read calls", figure.c_str(),
              FullDatabaseMessages(kFileTopics), writes, reads);
    PrintNote(
        "figure %s: of the load, reading and checking every record, keeping none, takes %s, %s one read "
        "alongside (%s); the rest is making the topics and messages in memory",
        figure.c_str(), Millis(reading.subject, 2).c_str(), Times(reading.Ratio()).c_str(),
        Millis(reading.baseline, 2).c_str());
    PrintNote("figure %s: the heap alone: allocating the load's %u blocks bare takes %s, %s one read alongside (%s)",
              figure.c_str(), 2 * FullDatabaseMessages(kFileTopics) + kFileTopics, Millis(heap.subject, 2).c_str(),
              Times(heap.Ratio()).c_str(), Millis(heap.baseline, 2).c_str());
    PrintNote("figure %s: the baseline write without its flush and replace takes %s of its %s", figure.c_str(),
              Millis(writing.subject, 2).c_str(), Millis(writing.baseline, 2).c_str());
}

ScratchDir gWorkDir;

}  // namespace

int main(int argc, char** argv) {
    Options options = ParseOptions(argc, argv);
    gWorkDir.path = fs::temp_directory_path() / ("tidewell-bench-datafile-" + std::to_string(Now()));
    fs::create_directories(gWorkDir.path);
    Bench bench(gWorkDir.path);
    bench.Prepare();
    Report(bench, options);
    return 0;
}
