// The system interface for the native build (Linux, for tests, sanitizers and
// fuzzing). The platform-free code forms Windows paths ("dir\Msg.dat"); here
// every backslash becomes a slash before the path reaches the file system.
#include <sys/stat.h>

#include <ctime>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "base/os.h"
#include "base/profile.h"

namespace {

std::string HostPath(const char* path) {
    std::string host(path);
    for (char& c : host) {
        if (c == '\\') c = '/';
    }
    return host;
}

bool ReadWholeFile(const char* path, std::string& text) {
    std::ifstream in(HostPath(path), std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
}

int32_t PosixNow() {
    return static_cast<int32_t>(time(nullptr));
}

void PosixDebugTrace(const char* text) {
    fprintf(stderr, "%s\n", text);
}

int PosixCreateDir(const char* path) {
    return mkdir(HostPath(path).c_str(), 0777) == 0;
}

uint32_t PosixGetProfileString(const char* section, const char* key, const char* def, char* out, uint32_t size,
                               const char* path) {
    std::string text;
    ReadWholeFile(path, text);  // a missing file reads as an empty one
    return ProfileGetString(text.data(), text.size(), section, key, def, out, size);
}

int PosixWriteProfileString(const char* section, const char* key, const char* value, const char* path) {
    std::string text;
    ReadWholeFile(path, text);
    std::string updated = ProfileSetString(text, section, key, value);
    std::ofstream out(HostPath(path), std::ios::binary | std::ios::trunc);
    out << updated;
    out.close();
    return out ? 1 : 0;
}

}  // namespace

OsInterface gOs = {
    PosixNow, PosixDebugTrace, PosixCreateDir, PosixGetProfileString, PosixWriteProfileString,
};
