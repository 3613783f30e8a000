// The one narrow interface through which the platform-free code reaches the
// operating system: the clock, the diagnostic trace, directories and the
// profile (INI) files. os_win.cpp fills it with Win32 calls, os_posix.cpp with
// their POSIX equivalents for the native build. Tests replace single entries
// (a fake clock, a captured trace, a profile write that fails) and put the
// saved table back afterwards.
#pragma once

#include <cstdint>

struct OsInterface {
    // Calendar time in whole seconds since 1970.
    int32_t (*Now)();

    // Hands one finished line of the diagnostic trace to the system.
    void (*DebugTrace)(const char* text);

    // Creates a directory; non-zero on success. An existing directory is a failure
    // the callers ignore.
    int (*CreateDir)(const char* path);

    // GetPrivateProfileStringA: copies the value of key in section of the
    // profile file at path (or def when it is missing) into out, cut to
    // size - 1 characters, and returns the number of characters stored.
    uint32_t (*GetProfileString)(const char* section, const char* key, const char* def, char* out, uint32_t size,
                                 const char* path);

    // WritePrivateProfileStringA: sets key in section to value, creating the
    // file, the section or the key as needed. Non-zero on success.
    int (*WriteProfileString)(const char* section, const char* key, const char* value, const char* path);
};

// The table in use. Platform-free code calls through it; only tests change it.
extern OsInterface gOs;
