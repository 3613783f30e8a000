// Stands in for a program beside the agent: appends its name and command line
// to "standin.log" in its folder.
#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    char module[MAX_PATH];
    DWORD len = GetModuleFileNameA(nullptr, module, sizeof module);
    std::string path(module, len);
    size_t slash = path.rfind('\\');
    std::string line = path.substr(slash + 1) + " " + commandLine + "\r\n";
    std::string log = path.substr(0, slash) + "\\standin.log";

    HANDLE file = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
    }
    return 0;
}
