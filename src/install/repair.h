// The repair of a news database that the agent refused at start-up: what
// install.exe does beside the agent's folder, free of Windows so that it is
// tested natively. Every file it touches lies in the data directory.
#pragma once

#include <cstdint>
#include <string>

struct RepairOutcome {
    enum Kind {
        kIntact,    // the data file loads completely: nothing was changed
        kMissing,   // there was no data file: an empty one was written
        kSalvaged,  // set aside; a new file holds what could be read
        kEmptied,   // set aside; nothing could be kept, a new empty file was written
        kFailed,    // the data file could not be set aside or no new one written
    };
    Kind kind = kFailed;
    uint32_t topics = 0;    // kept in the new file
    uint32_t messages = 0;  // kept in the new file
    std::string asideName;  // the damaged file's new name in the data directory
};

// Checks "Msg.dat" in dataDir and, when it is damaged, renames it to
// "Msg-YYYY-MM-DD-hhmmss.dat" (local time) (never deleting it) and writes a new one that keeps
// the header and every topic and message read before the first damage; an
// empty one when even that cannot be written. now names the set-aside file.
RepairOutcome RepairDataFile(const std::string& dataDir, int32_t now);

// The agent may be restarted only once in a short while: a second repair run
// right after a restart means the restart did not help, and starting the
// agent again would only bring the repair back in a loop. The time of each
// restart is kept in a small file in the data directory.
constexpr int32_t kRestartGuardSeconds = 120;
bool RestartAllowed(const std::string& dataDir, int32_t now);
void NoteRestart(const std::string& dataDir, int32_t now);

// The one short message the user is shown, or empty when there is nothing
// to tell (an intact file and a restarted agent).
std::string RepairMessage(const RepairOutcome& outcome, bool restarted);
