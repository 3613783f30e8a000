#include "agent_process_win.h"

#include "shared/names.h"
#include "shared/window_handle_win.h"

InstallFolder::InstallFolder(const std::string& name) : TempDir(name) {
    CopyProgram(path(), "Engine.exe");
}

void InstallFolder::AddStandIn(const std::string& as) const {
    CopyProgram(path(), "standin.exe", as);
}

AgentProcess::AgentProcess(const InstallFolder& folder, const std::string& arguments)
    : process_(folder.EnginePath(), arguments) {}

HWND AgentProcess::WaitForEngineWindow(DWORD timeoutMs) {
    // The window exists from the second step of start-up on; the agent
    // publishes it in the shared record only once the record is set up.
    if (window_) return window_;
    HWND found = nullptr;
    bool published = WaitFor(
        [&] {
            found = WaitForWindow(kEngineWindowClass, process_.id(), 0);
            SharedBlockView block;
            return found && block.valid() && block.config().EngineWindow == HwndToWord(found);
        },
        timeoutMs);
    if (published) window_ = found;
    return window_;
}

DWORD AgentProcess::Close() {
    if (WaitForEngineWindow()) PostMessageA(window_, WM_CLOSE, 0, 0);
    return process_.Wait(kExitTimeoutMs);
}

SharedBlockView::SharedBlockView() {
    mapping_ = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, kGlobalMappingName);
    if (mapping_) view_ = MapViewOfFile(mapping_, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kGlobalMappingSize);
}

SharedBlockView::~SharedBlockView() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
}

CConfigData& SharedBlockView::config() const {
    return *reinterpret_cast<CConfigData*>(static_cast<char*>(view_) + kGlobalRecordOffset);
}

bool SharedBlockExists() {
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, kGlobalMappingName);
    if (mapping) CloseHandle(mapping);
    return mapping != nullptr;
}
