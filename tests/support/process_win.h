// Processes and windows for tests and benchmarks under Wine. Every wait is
// bounded; a process started here is killed when its owner goes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Where every built program lies.
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
    // Posts WM_CLOSE and waits; true when the process ended in time.
    bool Close(HWND window, DWORD timeoutMs);
    // Seconds from the request to start the process until now.
    double SinceStart() const;
    bool Memory(MemoryUse& use) const;

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
    LONGLONG startTicks_ = 0;
};

// Runs a program to its end, its output and errors into output; its exit code, or STILL_ACTIVE when killed.
DWORD RunCapturingOutput(const std::string& program, const std::string& arguments, DWORD timeoutMs,
                         std::string& output);

// Waits for the condition, asked every pollMs, while handling this thread's messages.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs = 20);

// The first top-level window of the class of the process (any when 0), or 0.
HWND WaitForWindow(const char* className, DWORD processId, DWORD timeoutMs, DWORD pollMs = 20);

// True when the window's thread runs its message loop (answers WM_NULL) in time.
bool WaitForAnswer(HWND window, DWORD timeoutMs);

// Pumps this thread's messages for the given time.
void PumpMessages(DWORD ms);
