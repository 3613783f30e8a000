// The system interface for the native build (Linux, for tests, sanitizers and
// fuzzing). The platform-free code forms Windows paths ("dir\Msg.dat"); here
// every backslash becomes a slash before the path reaches the file system.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "base/os.h"
#include "base/profile.h"

// The descriptor behind an OsFile.
struct OsFile {
    int fd;
};

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

uint64_t PosixMonotonic() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
}

void PosixDebugTrace(const char* text) {
    fprintf(stderr, "%s\n", text);
}

OsFile* WrapDescriptor(int fd) {
    if (fd < 0) return nullptr;
    OsFile* file = new (std::nothrow) OsFile{fd};
    if (!file) close(fd);
    return file;
}

OsFile* PosixOpenRead(const char* path) {
    // Non-blocking, so that opening a FIFO does not wait for its writer.
    int descriptor = open(HostPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat status;
    if (descriptor >= 0 && (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))) {
        close(descriptor);
        descriptor = -1;
    }
    if (descriptor >= 0) fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return WrapDescriptor(descriptor);
}

OsFile* PosixCreateWrite(const char* path) {
    return WrapDescriptor(open(HostPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

int PosixRead(OsFile* file, void* buffer, uint32_t size, uint32_t* got) {
    uint32_t total = 0;
    while (total < size) {
        ssize_t count = read(file->fd, static_cast<char*>(buffer) + total, size - total);
        if (count < 0) {
            *got = total;
            return 0;
        }
        if (count == 0) break;
        total += static_cast<uint32_t>(count);
    }
    *got = total;
    return 1;
}

int PosixWrite(OsFile* file, const void* data, uint32_t size, uint32_t* written) {
    uint32_t total = 0;
    while (total < size) {
        ssize_t count = write(file->fd, static_cast<const char*>(data) + total, size - total);
        if (count <= 0) {
            *written = total;
            return 0;
        }
        total += static_cast<uint32_t>(count);
    }
    *written = total;
    return 1;
}

int PosixFlush(OsFile* file) {
    return fsync(file->fd) == 0;
}

void PosixClose(OsFile* file) {
    close(file->fd);
    delete file;
}

int PosixReplaceFile(const char* from, const char* to) {
    return rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0;
}

int PosixDeleteFile(const char* path) {
    return unlink(HostPath(path).c_str()) == 0;
}

void PosixListDir(const char* dir, const std::function<void(const char*)>& visit) {
    std::string host = HostPath(dir);
    DIR* listing = opendir(host.c_str());
    if (!listing) return;
    while (dirent* entry = readdir(listing)) {
        struct stat info;
        std::string path = host + "/" + entry->d_name;
        if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) visit(entry->d_name);
    }
    closedir(listing);
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

uint32_t PosixGetProfileSection(const char* section, char* out, uint32_t size, const char* path) {
    std::string text;
    ReadWholeFile(path, text);
    return ProfileGetSection(text.data(), text.size(), section, out, size);
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

// The native build runs tests and tools only; their priority stays as it is.
void PosixSetPriority(ProcessPriority, ThreadPriority) {}

}  // namespace

OsInterface gOs = {
    PosixNow,
    PosixMonotonic,
    PosixDebugTrace,
    PosixOpenRead,
    PosixCreateWrite,
    PosixRead,
    PosixWrite,
    PosixFlush,
    PosixClose,
    PosixReplaceFile,
    PosixDeleteFile,
    PosixListDir,
    PosixCreateDir,
    PosixGetProfileString,
    PosixGetProfileSection,
    PosixWriteProfileString,
    PosixSetPriority,
};
