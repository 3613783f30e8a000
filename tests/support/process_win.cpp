#include "process_win.h"

#include <psapi.h>

#include <cstring>
#include <utility>

std::string ProgramDir() {
    char path[MAX_PATH];
    DWORD len = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, len);
    return dir.substr(0, dir.rfind('\\'));
}

void CopyProgram(const std::string& dir, const std::string& program, const std::string& as) {
    std::string from = ProgramDir() + "\\" + program;
    std::string to = dir + "\\" + (as.empty() ? program : as);
    CopyFileA(from.c_str(), to.c_str(), FALSE);
}

namespace {

// Handles are inherited when startup hands some over.
bool Start(const std::string& program, const std::string& arguments, STARTUPINFOA& startup,
           PROCESS_INFORMATION& process) {
    std::string commandLine = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    startup.cb = sizeof startup;
    BOOL inherit = (startup.dwFlags & STARTF_USESTDHANDLES) != 0;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, inherit, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    return true;
}

void EndUnlessEnded(HANDLE process) {
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return;
    TerminateProcess(process, 99);
    WaitForSingleObject(process, 5000);
}

// Windows' "private bytes", region by region: Wine leaves PrivateUsage at 0.
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

// Reads what the pipe holds now, without waiting for more.
void DrainPipe(HANDLE pipe, std::string& output) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available) {
        char chunk[4096];
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, sizeof chunk, &got, nullptr)) return;
        output.append(chunk, got);
    }
}

struct WindowSearch {
    const char* className;
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    char name[256];
    if (!GetClassNameA(window, name, sizeof name) || strcmp(name, search->className) != 0) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId && owner != search->processId) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::string& arguments) {
    STARTUPINFOA startup = {};
    PROCESS_INFORMATION process;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    startTicks_ = now.QuadPart;
    if (!Start(program, arguments, startup, process)) return;
    handle_ = process.hProcess;
    id_ = process.dwProcessId;
}

ChildProcess::~ChildProcess() {
    Kill();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      id_(std::exchange(other.id_, 0)),
      startTicks_(other.startTicks_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    Kill();
    handle_ = std::exchange(other.handle_, nullptr);
    id_ = std::exchange(other.id_, 0);
    startTicks_ = other.startTicks_;
    return *this;
}

DWORD ChildProcess::Wait(DWORD timeoutMs) {
    DWORD exitCode = STILL_ACTIVE;
    if (handle_ && WaitFor([&] { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }, timeoutMs))
        GetExitCodeProcess(handle_, &exitCode);
    return exitCode;
}

void ChildProcess::Kill() {
    if (!handle_) return;
    EndUnlessEnded(handle_);
    CloseHandle(handle_);
    handle_ = nullptr;
}

bool ChildProcess::Close(HWND window, DWORD timeoutMs) {
    if (!handle_) return false;
    if (window) PostMessageA(window, WM_CLOSE, 0, 0);
    return Wait(timeoutMs) != STILL_ACTIVE;
}

double ChildProcess::SinceStart() const {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - startTicks_) / static_cast<double>(frequency.QuadPart);
}

bool ChildProcess::Memory(MemoryUse& use) const {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!handle_ || !GetProcessMemoryInfo(handle_, &counters, sizeof counters)) return false;
    use.workingSet = static_cast<double>(counters.WorkingSetSize);
    use.privateBytes = CommittedPrivateBytes(handle_);
    return use.privateBytes > 0;
}

DWORD RunCapturingOutput(const std::string& program, const std::string& arguments, DWORD timeoutMs,
                         std::string& output) {
    output.clear();
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return STILL_ACTIVE;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process;
    bool started = Start(program, arguments, startup, process);
    CloseHandle(writeEnd);
    DWORD exitCode = STILL_ACTIVE;
    if (started) {
        bool ended = WaitFor(
            [&] {
                DrainPipe(readEnd, output);
                return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
            },
            timeoutMs);
        if (ended) GetExitCodeProcess(process.hProcess, &exitCode);
        EndUnlessEnded(process.hProcess);
        DrainPipe(readEnd, output);  // what it wrote just before it ended
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return exitCode;
}

void PumpMessages(DWORD ms) {
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms < 10 ? ms : 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        PumpMessages(pollMs);
    }
}

bool WaitForAnswer(HWND window, DWORD timeoutMs) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &answer) != 0;
}

HWND WaitForWindow(const char* className, DWORD processId, DWORD timeoutMs, DWORD pollMs) {
    WindowSearch search = {className, processId, nullptr};
    WaitFor(
        [&] {
            EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs, pollMs);
    return search.found;
}
