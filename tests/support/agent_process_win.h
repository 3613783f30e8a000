// Real Engine.exe processes, each from an install folder of its own, none outliving its test.
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
// At least one tick happens within it.
constexpr DWORD kTickTimeoutMs = 12000;

// A folder with Engine.exe (or another build of the agent under that name)
// and, unless told otherwise, an empty database made by twldata.
class InstallFolder : public TempDir {
public:
    enum Contents { kWithDatabase, kWithoutDatabase };
    explicit InstallFolder(const std::string& name, Contents contents = kWithDatabase,
                           const std::string& agentProgram = "Engine.exe");
    std::string EnginePath() const { return File("Engine.exe"); }
    std::string DataFile() const { return File("Data\\Msg.dat"); }
    // Makes Data\Msg.dat, empty or as the JSON describes; twldata's exit code.
    DWORD MakeDatabase(const std::string& json = "") const;
    std::string DumpDatabase() const;
    void AddStandIn(const std::string& as) const;
    // What the stand-ins started from this folder noted, one line each.
    std::string StandInLog() const { return Exists("standin.log") ? Read("standin.log") : ""; }
};

class AgentProcess {
public:
    AgentProcess(const InstallFolder& folder, const std::string& arguments = "");
    // An agent from an install folder made elsewhere.
    explicit AgentProcess(const std::string& enginePath, const std::string& arguments = "");

    // The engine window once the agent published it, or 0 after the time-out.
    HWND WaitForEngineWindow(DWORD timeoutMs = kStartTimeoutMs);
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
