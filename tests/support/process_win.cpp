#include "process_win.h"

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

ChildProcess::ChildProcess(const std::string& program, const std::string& arguments) {
    std::string commandLine = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return;
    }
    CloseHandle(process.hThread);
    handle_ = process.hProcess;
    id_ = process.dwProcessId;
}

ChildProcess::~ChildProcess() {
    Kill();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), id_(std::exchange(other.id_, 0)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    Kill();
    handle_ = std::exchange(other.handle_, nullptr);
    id_ = std::exchange(other.id_, 0);
    return *this;
}

DWORD ChildProcess::Wait(DWORD timeoutMs) {
    if (!handle_) return STILL_ACTIVE;
    DWORD exitCode = STILL_ACTIVE;
    WaitFor([&] { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }, timeoutMs);
    if (WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0) GetExitCodeProcess(handle_, &exitCode);
    return exitCode;
}

void ChildProcess::Kill() {
    if (!handle_) return;
    if (WaitForSingleObject(handle_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(handle_, 99);
        WaitForSingleObject(handle_, 5000);
    }
    CloseHandle(handle_);
    handle_ = nullptr;
}

namespace {

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

}  // namespace

DWORD RunCapturingOutput(const std::string& program, const std::string& arguments, DWORD timeoutMs,
                         std::string& output) {
    output.clear();
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return STILL_ACTIVE;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::string commandLine = "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                  &process);
    CloseHandle(writeEnd);
    DWORD exitCode = STILL_ACTIVE;
    if (started) {
        CloseHandle(process.hThread);
        bool ended = WaitFor(
            [&] {
                DrainPipe(readEnd, output);
                return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0;
            },
            timeoutMs);
        if (ended) {
            GetExitCodeProcess(process.hProcess, &exitCode);
        } else {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
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
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        PumpMessages(20);
    }
}

namespace {

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

HWND WaitForWindow(const char* className, DWORD processId, DWORD timeoutMs) {
    WindowSearch search = {className, processId, nullptr};
    WaitFor(
        [&] {
            EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}
