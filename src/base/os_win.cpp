// The system interface on Windows: thin wrappers over the Win32 calls the
// platform-free code needs.
#include <windows.h>

#include <ctime>
#include <new>
#include <string>
#include <utility>

#include "base/os.h"
#include "base/scoped_win.h"

// The Win32 file handle behind an OsFile.
struct OsFile {
    HANDLE handle;
};

namespace {

int32_t WinNow() {
    return static_cast<int32_t>(time(nullptr));
}

uint64_t WinMonotonic() {
    return GetTickCount64();
}

void WinDebugTrace(const char* text) {
    OutputDebugStringA(text);
}

OsFile* WrapHandle(ScopedHandle handle) {
    if (!handle) return nullptr;
    OsFile* file = new (std::nothrow) OsFile{handle.get()};
    if (file) handle.Release();
    return file;
}

// Only files on disk: every file the agent reads is one, and a device or a
// pipe named by another program could keep a read waiting for ever.
OsFile* WinOpenRead(const char* path) {
    ScopedHandle handle(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle && GetFileType(handle.get()) != FILE_TYPE_DISK) handle.Reset();
    return WrapHandle(std::move(handle));
}

OsFile* WinCreateWrite(const char* path) {
    return WrapHandle(ScopedHandle(
        CreateFileA(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
}

int WinRead(OsFile* file, void* buffer, uint32_t size, uint32_t* got) {
    DWORD count = 0;
    BOOL ok = ReadFile(file->handle, buffer, size, &count, nullptr);
    *got = count;
    return ok ? 1 : 0;
}

int WinWrite(OsFile* file, const void* data, uint32_t size, uint32_t* written) {
    DWORD count = 0;
    BOOL ok = WriteFile(file->handle, data, size, &count, nullptr);
    *written = count;
    return ok ? 1 : 0;
}

int WinFlush(OsFile* file) {
    return FlushFileBuffers(file->handle) ? 1 : 0;
}

void WinClose(OsFile* file) {
    CloseHandle(file->handle);
    delete file;
}

int WinReplaceFile(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}

int WinDeleteFile(const char* path) {
    return DeleteFileA(path) ? 1 : 0;
}

void WinListDir(const char* dir, const std::function<void(const char*)>& visit) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((std::string(dir) + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) visit(entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

int WinCreateDir(const char* path) {
    return CreateDirectoryA(path, nullptr) ? 1 : 0;
}

uint32_t WinGetProfileString(const char* section, const char* key, const char* def, char* out, uint32_t size,
                             const char* path) {
    return GetPrivateProfileStringA(section, key, def, out, size, path);
}

uint32_t WinGetProfileSection(const char* section, char* out, uint32_t size, const char* path) {
    return GetPrivateProfileSectionA(section, out, size, path);
}

int WinWriteProfileString(const char* section, const char* key, const char* value, const char* path) {
    return WritePrivateProfileStringA(section, key, value, path) ? 1 : 0;
}

void WinSetPriority(ProcessPriority process, ThreadPriority thread) {
    SetPriorityClass(GetCurrentProcess(),
                     process == ProcessPriority::Idle ? IDLE_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS);
    int level = THREAD_PRIORITY_NORMAL;
    if (thread == ThreadPriority::BelowNormal) level = THREAD_PRIORITY_BELOW_NORMAL;
    if (thread == ThreadPriority::Lowest) level = THREAD_PRIORITY_LOWEST;
    SetThreadPriority(GetCurrentThread(), level);
}

}  // namespace

OsInterface gOs = {
    WinNow,
    WinMonotonic,
    WinDebugTrace,
    WinOpenRead,
    WinCreateWrite,
    WinRead,
    WinWrite,
    WinFlush,
    WinClose,
    WinReplaceFile,
    WinDeleteFile,
    WinListDir,
    WinCreateDir,
    WinGetProfileString,
    WinGetProfileSection,
    WinWriteProfileString,
    WinSetPriority,
};
