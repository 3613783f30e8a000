// A program started for a figure: its process, the moment it was asked to
// start, its window once found, its memory, its closing. Every wait is
// bounded, and a process still running when the object goes is killed.
#pragma once

#include <windows.h>

#include <string>

// Bounds generous enough for a cold Wine start of a program.
constexpr DWORD kLaunchTimeoutMs = 30000;
constexpr DWORD kExitTimeoutMs = 30000;

// The directory of the running benchmark, where every built program lies.
std::string ProgramDir();

struct MemoryUse {
    double workingSet = 0;    // bytes resident
    double privateBytes = 0;  // committed bytes of its own
};

class Launched {
public:
    Launched(const std::string& program, const std::string& arguments);
    ~Launched();
    Launched(const Launched&) = delete;
    Launched& operator=(const Launched&) = delete;

    bool started() const { return process_ != nullptr; }

    // Waits, polling a millisecond apart, for a top-level window of the class
    // that belongs to this process; 0 after the time-out.
    HWND WaitForWindow(const char* className, DWORD timeoutMs = kLaunchTimeoutMs);
    // Waits until the condition holds; false after the time-out.
    template <typename Condition>
    bool WaitUntil(Condition condition, DWORD timeoutMs = kLaunchTimeoutMs);
    // Sends WM_NULL, which the window answers only once its thread runs its
    // message loop; false when it did not answer in time.
    bool WaitForAnswer(HWND window, DWORD timeoutMs = kLaunchTimeoutMs);
    // Seconds from the request to start the process until now.
    double SinceStart() const;

    bool Memory(MemoryUse& use) const;

    // Asks the window to close (WM_CLOSE) and waits for the process to end;
    // kills it after the time-out. True when it ended by itself.
    bool Close(HWND window);

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    double startTime_ = 0;
};

template <typename Condition>
bool Launched::WaitUntil(Condition condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(1);
    }
}
