// Processes and windows for tests and benchmarks under Wine. Every wait is
// bounded, and a process started here is killed when its owner goes without
// closing it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The directory of the running test program, where every built program lies.
std::string ProgramDir();

// Copies a built program into dir, optionally under another name.
void CopyProgram(const std::string& dir, const std::string& program, const std::string& as = "");

struct MemoryUse {
    double workingSet = 0;    // bytes resident
    double privateBytes = 0;  // committed bytes of its own
};

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
    // Posts WM_CLOSE to the window and waits for the process to end; true
    // when it ended by itself within the time.
    bool Close(HWND window, DWORD timeoutMs);
    // Seconds from the request to start the process until now.
    double SinceStart() const;
    bool Memory(MemoryUse& use) const;

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
    LONGLONG startTicks_ = 0;
};

// Runs a program to its end with its standard output and error in output;
// its exit code, or STILL_ACTIVE when it had to be killed after the time-out.
DWORD RunCapturingOutput(const std::string& program, const std::string& arguments, DWORD timeoutMs,
                         std::string& output);

// Waits for the condition, asked every pollMs, handling this thread's window
// messages meanwhile so that its own windows keep answering. True when it
// came true. A benchmark that times a start polls every millisecond.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 20);

// The first top-level window of the class that belongs to the process (any
// process when processId is 0), or 0 after the time-out.
HWND WaitForWindow(const char* className, DWORD processId, DWORD timeoutMs, DWORD pollMs = 20);

// Sends WM_NULL, which a window answers only once its thread runs its message
// loop; false when it did not answer in time.
bool WaitForAnswer(HWND window, DWORD timeoutMs);

// Pumps this thread's messages for the given time.
void PumpMessages(DWORD ms);
