// What every fuzz target shares: a system interface serving the input from
// memory under every path and keeping saves in memory, a fresh database for
// each input, a standing clock, and FUZZ_CHECK for what a reader promises.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "base/os.h"
#include "base/profile.h"
#include "base/trace.h"
#include "fresh_database.h"
#include "jobs/quote_reader.h"

// Reports the failed condition and aborts, so that libFuzzer keeps the input.
#define FUZZ_CHECK(c) ((c) ? (void)0 : (fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #c), abort()))

struct OsFile {
    size_t position;
    bool writing;
};

namespace fuzz {

constexpr char kPath[] = "C:\\Fuzz\\Data\\input.dat";
inline std::string_view served = "";  // what every read sees; it must outlive the reader
inline std::string writing, saved;    // the save under way, and the last one completed
inline int openFiles = 0;

inline void Serve(const void* data, size_t size) {
    served = data ? std::string_view(static_cast<const char*>(data), size) : "";
}

// As after a restart, on the in-memory system.
inline void Reset() {
    gOs.Now = [] { return int32_t{1800000000}; };
    gOs.Monotonic = [] { return uint64_t{3600000}; };
    gOs.DebugTrace = [](const char* text) { FUZZ_CHECK(strlen(text) <= kTraceLineMax); };  // measured, dropped
    gOs.OpenRead = [](const char*) { return openFiles++, new OsFile{0, false}; };
    gOs.CreateWrite = [](const char*) { return openFiles++, writing.clear(), new OsFile{0, true}; };
    gOs.Read = [](OsFile* file, void* buffer, uint32_t size, uint32_t* got) {
        FUZZ_CHECK(!file->writing);
        file->position += * got = static_cast<uint32_t>(served.copy(static_cast<char*>(buffer), size, file->position));
        return 1;
    };
    gOs.Write = [](OsFile* file, const void* data, uint32_t size, uint32_t* written) {
        FUZZ_CHECK(file->writing);
        writing.append(static_cast<const char*>(data), *written = size);
        return 1;
    };
    gOs.Flush = [](OsFile*) { return 1; };
    gOs.Close = [](OsFile* file) { openFiles--, delete file; };
    // As the real replace: the new file takes the old one's place only once it is complete.
    gOs.ReplaceFile = [](const char*, const char*) { return saved = writing, Serve(saved.data(), saved.size()), 1; };
    gOs.DeleteFile = [](const char*) { return 1; };
    gOs.ListDir = [](const char*, const std::function<void(const char*)>&) {};
    gOs.CreateDir = [](const char*) { return 0; };
    gOs.GetProfileString = [](const char* section, const char* key, const char* def, char* out, uint32_t size,
                              const char*) {
        return ProfileGetString(served.data(), served.size(), section, key, def, out, size);
    };
    gOs.GetProfileSection = [](const char* section, char* out, uint32_t size, const char*) {
        return ProfileGetSection(served.data(), served.size(), section, out, size);
    };
    gOs.WriteProfileString = [](const char*, const char*, const char*, const char*) { return 0; };
    gOs.SetPriority = [](ProcessPriority, ThreadPriority) {};
    static CConfigData record;
    ResetDatabase(record);
    record.MsgPurge = 10;  // a subscription file adds only what the purge lets its topic keep
    strcpy(gDirs.DataDir, "C:\\Fuzz\\Data");
    gQuoteReader.CloseFile();
}

// Adds a topic with messages of the given titles, numbered up from first.
inline CTopic& AddTopic(uint32_t type, const char* title, std::initializer_list<const char*> messages, uint32_t first) {
    CTopic& topic = ::AddTopic(type, title);
    for (const char* text : messages) ::AddMsg(topic, topic.ridLastMsg = first++, text);
    return topic;
}

// Every topic and message within its fields; with ordered, the messages
// ascend and none lies above its topic's highest number.
inline void CheckTopics(bool ordered) {
    FUZZ_CHECK(gTopicArray.Size <= TopicArray::kCapacity);
    gTopicArray.ForEach([&](const CTopic& topic) {
        FUZZ_CHECK(strlen(topic.Title) < sizeof topic.Title && strlen(topic.MsgBaseUrl) < sizeof topic.MsgBaseUrl);
        for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node)) {
            const CMsg& msg = *node->value;
            FUZZ_CHECK(msg.ridTopic == topic.ridTopic && strlen(msg.lpszUrl) <= kMsgUrlMax &&
                       strlen(msg.lpszTitle) < sizeof(MsgRecord::Title));
            FUZZ_CHECK(!ordered ||
                       (msg.ridMsg <= topic.ridLastMsg &&
                        (node == topic.msgList.begin() || msg.ridMsg > MsgList::prev(node)->value->ridMsg)));
        }
    });
}

// The input as a text in a block of exactly its size: a read past the terminator is caught.
inline std::unique_ptr<char[]> Text(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size) memcpy(text.get(), data, size);
    text[size] = '\0';
    return text;
}

}  // namespace fuzz
