#include "host_cpu_win.h"

#include <windows.h>

#include <cstdio>

#include "base/scoped_win.h"

namespace {

constexpr double kClockTicks = 100;  // Linux's USER_HZ, the unit of /proc/N/stat

std::string ReadSmallFile(const std::string& path) {
    ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return "";
    char buffer[4096];
    DWORD read = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) read = 0;
    return std::string(buffer, read);
}

}  // namespace

double HostCpuSeconds(const std::string& programPath) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE) return -1;
    double seconds = -1;
    do {
        std::string name = found.cFileName;
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::string dir = "Z:\\proc\\" + name;
        if (ReadSmallFile(dir + "\\cmdline").find(programPath) == std::string::npos) continue;
        std::string stat = ReadSmallFile(dir + "\\stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos) continue;
        unsigned long long utime = 0, stime = 0;
        if (sscanf(stat.c_str() + close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                   &stime) == 2) {
            seconds = (utime + stime) / kClockTicks;
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return seconds;
}
