// Starting, watching and closing the programs a figure measures, with
// bounded waits (see launch_win.h).
#include "launch_win.h"

#include <psapi.h>

#include "measure.h"

std::string ProgramDir() {
    char path[MAX_PATH];
    DWORD len = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, len);
    return dir.substr(0, dir.rfind('\\'));
}

Launched::Launched(const std::string& program, const std::string& arguments) {
    std::string commandLine = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    startTime_ = Now();
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return;
    }
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    id_ = process.dwProcessId;
}

Launched::~Launched() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
}

HWND Launched::WaitForWindow(const char* className, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window = FindWindowExA(nullptr, nullptr, className, nullptr); window;
                 window = FindWindowExA(nullptr, window, className, nullptr)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == id_) found = window;
            }
            return found != nullptr || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
        },
        timeoutMs);
    return found;
}

bool Launched::WaitForAnswer(HWND window, DWORD timeoutMs) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &answer) != 0;
}

double Launched::SinceStart() const {
    return Now() - startTime_;
}

namespace {

// The committed private memory of a process, region by region. Wine leaves
// PrivateUsage of GetProcessMemoryInfo at 0, so it is added up here, as
// Windows counts its "private bytes".
double CommittedPrivateBytes(HANDLE process) {
    double total = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* address = nullptr;
    while (VirtualQueryEx(process, address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += static_cast<double>(region.RegionSize);
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

}  // namespace

bool Launched::Memory(MemoryUse& use) const {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process_, &counters, sizeof counters)) return false;
    use.workingSet = static_cast<double>(counters.WorkingSetSize);
    use.privateBytes = CommittedPrivateBytes(process_);
    return use.privateBytes > 0;
}

bool Launched::Close(HWND window) {
    if (!process_) return false;
    if (window) PostMessageA(window, WM_CLOSE, 0, 0);
    return WaitForSingleObject(process_, kExitTimeoutMs) == WAIT_OBJECT_0;
}
