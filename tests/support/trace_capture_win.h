// Captures other processes' OutputDebugStringA texts as a debug monitor does.
// One capture at a time in a Wine prefix: the tests' desktop lock sees to it.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TraceLine {
    DWORD processId;
    std::string text;
};

class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    std::vector<TraceLine> Lines() const;
    // True once a line of the process (any process when 0) contains the text.
    bool Contains(const std::string& text, DWORD processId = 0) const;
    // How many lines of the process (any process when 0) contain the text.
    size_t Count(const std::string& text, DWORD processId = 0) const;
    bool WaitFor(const std::string& text, DWORD processId, DWORD timeoutMs) const;
    std::string Dump() const;

private:
    void Run();

    HANDLE bufferReady_;
    HANDLE dataReady_;
    HANDLE mapping_;
    const char* view_;
    bool stop_ = false;
    mutable std::mutex mutex_;
    std::vector<TraceLine> lines_;
    std::thread reader_;
};
