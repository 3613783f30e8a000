#include "os_override.h"

#include <algorithm>

namespace {
TraceRecorder* gRecorder = nullptr;
}

TraceRecorder::TraceRecorder() {
    gRecorder = this;
    gOs.DebugTrace = Record;
}

TraceRecorder::~TraceRecorder() {
    gRecorder = nullptr;
}

bool TraceRecorder::Contains(const std::string& text) const {
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const std::string& line) { return line.find(text) != line.npos; });
}

void TraceRecorder::Record(const char* text) {
    if (gRecorder) gRecorder->lines_.push_back(text);
}
