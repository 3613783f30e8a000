// Test helpers around the system interface: put entries back after a test,
// and record the diagnostic trace of this process.
#pragma once

#include <string>
#include <vector>

#include "base/os.h"

// Saves the system interface and restores it when the test ends, so that a
// test may replace any entry.
class OsOverride {
public:
    OsOverride() : saved_(gOs) {}
    ~OsOverride() { gOs = saved_; }
    OsOverride(const OsOverride&) = delete;
    OsOverride& operator=(const OsOverride&) = delete;

private:
    OsInterface saved_;
};

// Records every trace line of this process while it lives.
class TraceRecorder {
public:
    TraceRecorder();
    ~TraceRecorder();
    TraceRecorder(const TraceRecorder&) = delete;
    TraceRecorder& operator=(const TraceRecorder&) = delete;

    const std::vector<std::string>& lines() const { return lines_; }
    bool Contains(const std::string& text) const;

private:
    static void Record(const char* text);
    OsOverride restore_;
    std::vector<std::string> lines_;
};
