// The in-memory system interface of the fuzz targets. Reads come from the
// served bytes; a save goes to a string that replaces the served file once
// it is complete, as the real replace does. The trace is measured and
// dropped: printing thousands of lines a second would only slow the fuzzer.
#include "memory_os.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/os.h"
#include "base/profile.h"
#include "base/trace.h"
#include "jobs/quote_reader.h"
#include "news/purge.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

struct OsFile {
    size_t position;
    bool writing;
};

namespace fuzz {
namespace {

const char* gServed = "";
size_t gServedSize = 0;
std::string gWriting;
std::string gSaved;
int gOpen = 0;
CConfigData gRecord;

void DropTrace(const char* text) {
    FUZZ_CHECK(strlen(text) <= kTraceLineMax);
}

OsFile* OpenRead(const char*) {
    gOpen++;
    return new OsFile{0, false};
}

OsFile* CreateWrite(const char*) {
    gOpen++;
    gWriting.clear();
    return new OsFile{0, true};
}

int Read(OsFile* file, void* buffer, uint32_t size, uint32_t* got) {
    FUZZ_CHECK(!file->writing);
    size_t count = std::min<size_t>(size, gServedSize - file->position);
    memcpy(buffer, gServed + file->position, count);
    file->position += count;
    *got = static_cast<uint32_t>(count);
    return 1;
}

int Write(OsFile* file, const void* data, uint32_t size, uint32_t* written) {
    FUZZ_CHECK(file->writing);
    gWriting.append(static_cast<const char*>(data), size);
    *written = size;
    return 1;
}

void Close(OsFile* file) {
    gOpen--;
    delete file;
}

int Replace(const char*, const char*) {
    gSaved = gWriting;
    Serve(reinterpret_cast<const uint8_t*>(gSaved.data()), gSaved.size());
    return 1;
}

uint32_t GetString(const char* section, const char* key, const char* def, char* out, uint32_t size, const char*) {
    return ProfileGetString(gServed, gServedSize, section, key, def, out, size);
}

uint32_t GetSection(const char* section, char* out, uint32_t size, const char*) {
    return ProfileGetSection(gServed, gServedSize, section, out, size);
}

}  // namespace

void UseMemoryOs() {
    gOs.Now = [] { return kNow; };
    gOs.DebugTrace = DropTrace;
    gOs.OpenRead = OpenRead;
    gOs.CreateWrite = CreateWrite;
    gOs.Read = Read;
    gOs.Write = Write;
    gOs.Flush = [](OsFile*) { return 1; };
    gOs.Close = Close;
    gOs.ReplaceFile = Replace;
    gOs.DeleteFile = [](const char*) { return 1; };
    gOs.ListDir = [](const char*, const std::function<void(const char*)>&) {};
    gOs.CreateDir = [](const char*) { return 0; };
    gOs.GetProfileString = GetString;
    gOs.GetProfileSection = GetSection;
    gOs.WriteProfileString = [](const char*, const char*, const char*, const char*) { return 0; };
    gOs.SetPriority = [](ProcessPriority, ThreadPriority) {};
}

void Serve(const uint8_t* data, size_t size) {
    gServed = data ? reinterpret_cast<const char*>(data) : "";
    gServedSize = size;
}

const std::string& SavedFile() {
    return gSaved;
}

int OpenFiles() {
    return gOpen;
}

void ResetNews() {
    memset(&gRecord, 0, sizeof gRecord);
    strcpy(gRecord.DataDir, "C:\\Fuzz\\Data");
    gRecord.AdTopicId = kNoId;
    gRecord.Pace = 1;
    gRecord.DisplayPreference = 1;
    gConfig = &gRecord;
    gTopicArray.Clear();
    gTopicArray.Reset();
    Purge::lastPurgedTopic = kNoId;
    gQuoteReader.CloseFile();
}

std::unique_ptr<char[]> Text(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size) memcpy(text.get(), data, size);
    text[size] = '\0';
    return text;
}

void Fail(const char* condition, const char* file, int line) {
    fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    abort();
}

}  // namespace fuzz
