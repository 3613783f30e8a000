// install.exe, the repair: the agent starts it, without arguments, when its
// start-up ended because the news database or the shared block could not be
// set up. It repairs the data file beside it, starts the agent again (once
// in a short while) and tells the user in one message what it did.
#include <windows.h>

#include <string>

#include "base/os.h"
#include "base/program_win.h"
#include "base/trace.h"
#include "install/repair.h"
#include "shared/names.h"

namespace {

constexpr char kCaption[] = "Tidewell Repair";

// Starts the agent without arguments (an argument would be forwarded as a
// subscription file) and without waiting for it.
bool StartAgent(const std::string& folder) {
    std::string program = folder + "\\" + kEngineProgram;
    if (!StartProgram("\"" + program + "\"", CREATE_DEFAULT_ERROR_MODE | DETACHED_PROCESS, folder.c_str())) {
        Trace("Repair(): Could not start %s (error %lu)", program.c_str(), GetLastError());
        return false;
    }
    return true;
}

// The trace carries the text too, so that it can be followed without a screen.
void Tell(const std::string& text) {
    Trace("Repair(): %s", text.c_str());
    MessageBoxA(nullptr, text.c_str(), kCaption, MB_ICONINFORMATION | MB_SETFOREGROUND | MB_TOPMOST);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string folder = ProgramFolder();
    if (folder.empty()) return 1;
    std::string dataDir = folder + "\\Data";
    gOs.CreateDir(dataDir.c_str());
    int32_t now = gOs.Now();

    RepairOutcome outcome = RepairDataFile(dataDir, now);
    bool restarted = false;
    if (outcome.kind != RepairOutcome::kFailed && RestartAllowed(dataDir, now)) {
        NoteRestart(dataDir, now);
        restarted = StartAgent(folder);
    }
    std::string text = RepairMessage(outcome, restarted);
    if (!text.empty()) Tell(text);
    return restarted ? 0 : 1;
}
