// Real Engine.exe processes for end-to-end tests: each runs from an install
// folder of its own, and none outlives its test.
#pragma once

#include <windows.h>

#include <string>

#include "process_win.h"
#include "shared/config_data.h"
#include "shared/global_block_view_win.h"
#include "temp_dir.h"

// Generous bounds: a cold Wine start of a program can take seconds.
constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kExitTimeoutMs = 20000;
// Two clock periods and some: at least one tick happens within it.
constexpr DWORD kTickTimeoutMs = 12000;

// An install folder with a copy of Engine.exe in it (or of another build of
// the agent from the program folder, under that name) and, unless told
// otherwise, a data directory holding an empty database made by twldata.
class InstallFolder : public TempDir {
public:
    enum Contents { kWithDatabase, kWithoutDatabase };
    explicit InstallFolder(const std::string& name, Contents contents = kWithDatabase,
                           const std::string& agentProgram = "Engine.exe");
    std::string EnginePath() const { return File("Engine.exe"); }
    std::string DataFile() const { return File("Data\\Msg.dat"); }
    // Makes Data\Msg.dat with twldata, empty or as the JSON describes; twldata's exit code.
    DWORD MakeDatabase(const std::string& json = "") const;
    // twldata dump of the data file: its JSON, or what went wrong.
    std::string DumpDatabase() const;
    // Puts the stand-in program into the folder under the given name.
    void AddStandIn(const std::string& as) const;
    // What the stand-ins started from this folder noted, one line each.
    std::string StandInLog() const { return Exists("standin.log") ? Read("standin.log") : ""; }
};

class AgentProcess {
public:
    AgentProcess(const InstallFolder& folder, const std::string& arguments = "");
    // An agent from an install folder made elsewhere.
    explicit AgentProcess(const std::string& enginePath, const std::string& arguments = "");

    // The agent's engine window once start-up has completed and the agent
    // waits in its message loop, or 0 after the time-out.
    HWND WaitForEngineWindow(DWORD timeoutMs = kStartTimeoutMs);
    // Closes the agent as the user does (WM_CLOSE) and returns its exit code.
    DWORD Close();
    DWORD Wait(DWORD timeoutMs) { return process_.Wait(timeoutMs); }
    DWORD id() const { return process_.id(); }
    HWND window() const { return window_; }

private:
    ChildProcess process_;
    HWND window_ = nullptr;
};

// True while some process holds the global block.
bool SharedBlockExists();
