// Processes and windows for tests under Wine. Every wait is bounded, and a
// process a test started is killed when the test ends without closing it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The directory of the running test program, where every built program lies.
std::string ProgramDir();

// Copies a built program into dir, optionally under another name.
void CopyProgram(const std::string& dir, const std::string& program, const std::string& as = "");

class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(const std::string& program, const std::string& arguments);
    ~ChildProcess();
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;

    bool started() const { return handle_ != nullptr; }
    DWORD id() const { return id_; }
    // The exit code, or STILL_ACTIVE when the process outlives the wait.
    DWORD Wait(DWORD timeoutMs);
    void Kill();

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

// Runs a program to its end with its standard output and error in output;
// its exit code, or STILL_ACTIVE when it had to be killed after the time-out.
DWORD RunCapturingOutput(const std::string& program, const std::string& arguments, DWORD timeoutMs,
                         std::string& output);

// Waits for the condition, handling this thread's window messages meanwhile
// so that the test's own windows keep answering. True when it came true.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);

// The first top-level window of the class that belongs to the process (any
// process when processId is 0), or 0 after the time-out.
HWND WaitForWindow(const char* className, DWORD processId, DWORD timeoutMs);

// Pumps this thread's messages for the given time.
void PumpMessages(DWORD ms);
