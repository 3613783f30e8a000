#include "agent_process_win.h"

#include <algorithm>

#include "shared/names.h"

InstallFolder::InstallFolder(const std::string& name, Contents contents, const std::string& agentProgram)
    : TempDir(name) {
    CopyProgram(path(), agentProgram, "Engine.exe");
    if (contents == kWithDatabase) MakeDatabase();
}

DWORD InstallFolder::MakeDatabase(const std::string& json) const {
    CreateDirectoryA(File("Data").c_str(), nullptr);
    std::string arguments = "create \"" + DataFile() + "\"";
    if (!json.empty()) {
        Write("database.json", json);
        arguments += " \"" + File("database.json") + "\"";
    }
    std::string output;
    return RunCapturingOutput(ProgramDir() + "\\twldata.exe", arguments, kStartTimeoutMs, output);
}

std::string InstallFolder::DumpDatabase() const {
    std::string output;
    RunCapturingOutput(ProgramDir() + "\\twldata.exe", "dump \"" + DataFile() + "\" --json", kStartTimeoutMs, output);
    output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());  // the console writes CR LF
    return output;
}

void InstallFolder::AddStandIn(const std::string& as) const {
    CopyProgram(path(), "standin.exe", as);
}

AgentProcess::AgentProcess(const InstallFolder& folder, const std::string& arguments)
    : AgentProcess(folder.EnginePath(), arguments) {}

AgentProcess::AgentProcess(const std::string& enginePath, const std::string& arguments)
    : process_(enginePath, arguments) {}

HWND AgentProcess::WaitForEngineWindow(DWORD timeoutMs) {
    // The window exists early; it is published in the shared record once that is set up.
    if (window_) return window_;
    HWND found = nullptr;
    bool published = WaitFor(
        [&] {
            found = WaitForWindow(kEngineWindowClass, process_.id(), 0);
            GlobalBlockView block;
            return found && block.EngineWindow() == found;
        },
        timeoutMs);
    if (published) window_ = found;
    return window_;
}

DWORD AgentProcess::Close() {
    if (WaitForEngineWindow()) PostMessageA(window_, WM_CLOSE, 0, 0);
    return process_.Wait(kExitTimeoutMs);
}

bool SharedBlockExists() {
    return GlobalBlockView().valid();
}
