// The one narrow interface through which the platform-free code reaches the
// operating system: the clock, the diagnostic trace, files and directories,
// the profile (INI) files and the process priority. os_win.cpp fills it with
// Win32 calls, os_posix.cpp with their POSIX equivalents for the native
// build. Tests replace single entries (a fake clock, a captured trace, a
// write that fails half-way) and put the saved table back afterwards.
#pragma once

#include <cstdint>
#include <functional>

// An open file; what it holds is the implementation's business.
struct OsFile;

enum class ProcessPriority { Normal, Idle };
enum class ThreadPriority { Normal, BelowNormal, Lowest };

struct OsInterface {
    // Calendar time in whole seconds since 1970.
    int32_t (*Now)();

    // Milliseconds since an arbitrary start that never goes back when the
    // calendar clock is set: for spacing runs and watching for stalls.
    uint64_t (*Monotonic)();

    // Hands one finished line of the diagnostic trace to the system.
    void (*DebugTrace)(const char* text);

    // Opens an existing file on disk for reading, shared with other readers
    // only. Null when it cannot be opened or is no plain file (a directory,
    // a device, a pipe), whose reads could wait for ever.
    OsFile* (*OpenRead)(const char* path);

    // Creates a file for writing, emptying one that exists, shared with other
    // writers only. Null when it cannot be created.
    OsFile* (*CreateWrite)(const char* path);

    // Reads up to size bytes; *got tells how many arrived (fewer at the end of
    // the file). Non-zero on success.
    int (*Read)(OsFile* file, void* buffer, uint32_t size, uint32_t* got);

    // Writes size bytes; *written tells how many were taken. Non-zero on success.
    int (*Write)(OsFile* file, const void* data, uint32_t size, uint32_t* written);

    // Pushes what was written through to the disk. Non-zero on success.
    int (*Flush)(OsFile* file);

    void (*Close)(OsFile* file);

    // Puts the file at from in the place of the file at to, in one step that
    // either happens completely or not at all. Non-zero on success.
    int (*ReplaceFile)(const char* from, const char* to);

    // Deletes a file. Non-zero on success.
    int (*DeleteFile)(const char* path);

    // Calls visit with the name of every file (not directory) in dir.
    void (*ListDir)(const char* dir, const std::function<void(const char* name)>& visit);

    // Creates a directory; non-zero on success. An existing directory is a
    // failure the callers ignore.
    int (*CreateDir)(const char* path);

    // GetPrivateProfileStringA: copies the value of key in section of the
    // profile file at path (or def when it is missing) into out, cut to
    // size - 1 characters, and returns the number of characters stored.
    uint32_t (*GetProfileString)(const char* section, const char* key, const char* def, char* out, uint32_t size,
                                 const char* path);

    // GetPrivateProfileSectionA: the lines of section as "key=value" texts,
    // each ending in a NUL, then one more NUL; the number of characters
    // stored without the last NUL, or size - 2 when they did not all fit.
    uint32_t (*GetProfileSection)(const char* section, char* out, uint32_t size, const char* path);

    // WritePrivateProfileStringA: sets key in section to value, creating the
    // file, the section or the key as needed. Non-zero on success.
    int (*WriteProfileString)(const char* section, const char* key, const char* value, const char* path);

    // Sets the priority of this process and of the calling thread.
    void (*SetPriority)(ProcessPriority process, ThreadPriority thread);
};

// The table in use. Platform-free code calls through it; only tests change it.
extern OsInterface gOs;
