#include "trace_capture_win.h"

#include <algorithm>
#include <cstring>

#include "process_win.h"

constexpr DWORD kBufferSize = 4096;

TraceCapture::TraceCapture()
    : bufferReady_(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY")),
      dataReady_(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY")),
      mapping_(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, "DBWIN_BUFFER")),
      view_(static_cast<const char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, kBufferSize))) {
    reader_ = std::thread([this] { Run(); });
}

TraceCapture::~TraceCapture() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    reader_.join();
    if (view_) UnmapViewOfFile(view_);
    CloseHandle(mapping_);
    CloseHandle(dataReady_);
    CloseHandle(bufferReady_);
}

void TraceCapture::Run() {
    if (!view_) return;
    SetEvent(bufferReady_);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return;
        }
        if (WaitForSingleObject(dataReady_, 50) != WAIT_OBJECT_0) continue;
        TraceLine line;
        memcpy(&line.processId, view_, sizeof line.processId);
        line.text.assign(view_ + sizeof(DWORD), strnlen(view_ + sizeof(DWORD), kBufferSize - sizeof(DWORD)));
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(std::move(line));
        }
        SetEvent(bufferReady_);
    }
}

std::vector<TraceLine> TraceCapture::Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

bool TraceCapture::Contains(const std::string& text, DWORD processId) const {
    return Count(text, processId) > 0;
}

size_t TraceCapture::Count(const std::string& text, DWORD processId) const {
    std::vector<TraceLine> lines = Lines();
    return std::count_if(lines.begin(), lines.end(), [&](const TraceLine& line) {
        return (!processId || line.processId == processId) && line.text.find(text) != std::string::npos;
    });
}

bool TraceCapture::WaitFor(const std::string& text, DWORD processId, DWORD timeoutMs) const {
    return ::WaitFor([&] { return Contains(text, processId); }, timeoutMs);
}

std::string TraceCapture::Dump() const {
    std::string all;
    for (const TraceLine& line : Lines()) all += std::to_string(line.processId) + ": " + line.text + "\n";
    return all;
}
