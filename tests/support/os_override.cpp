#include "os_override.h"

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
    for (const std::string& line : lines_) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

void TraceRecorder::Record(const char* text) {
    if (gRecorder) gRecorder->lines_.push_back(text);
}
