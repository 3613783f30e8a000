#pragma once

#include <string>
#include <vector>

#include "base/os.h"

// Restores the system interface when the test ends: a test may replace any entry.
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
