// The system interface on Windows: thin wrappers over the Win32 calls the
// platform-free code needs.
#include <windows.h>

#include <ctime>

#include "base/os.h"

namespace {

int32_t WinNow() {
    return static_cast<int32_t>(time(nullptr));
}

void WinDebugTrace(const char* text) {
    OutputDebugStringA(text);
}

int WinCreateDir(const char* path) {
    return CreateDirectoryA(path, nullptr) ? 1 : 0;
}

uint32_t WinGetProfileString(const char* section, const char* key, const char* def, char* out, uint32_t size,
                             const char* path) {
    return GetPrivateProfileStringA(section, key, def, out, size, path);
}

int WinWriteProfileString(const char* section, const char* key, const char* value, const char* path) {
    return WritePrivateProfileStringA(section, key, value, path) ? 1 : 0;
}

}  // namespace

OsInterface gOs = {
    WinNow, WinDebugTrace, WinCreateDir, WinGetProfileString, WinWriteProfileString,
};
