#include "base/program_win.h"

std::string ProgramPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return length == 0 || length >= sizeof path ? "" : std::string(path, length);
}

std::string ProgramFolder() {
    std::string path = ProgramPath();
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
}

ScopedHandle StartProgram(const std::string& commandLine, DWORD flags, const char* folder) {
    std::string writable = commandLine;  // CreateProcessA may write into it
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, flags, nullptr, folder, &startup, &started)) {
        return ScopedHandle();
    }
    ScopedProcess process(started);
    return std::move(process.process);
}
