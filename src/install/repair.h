// The repair of a news database that the agent refused at start-up: what
// install.exe does beside the agent's folder, free of Windows so that it is
// tested natively. Every file it touches lies in the data directory.
#pragma once

#include <cstdint>
#include <string>

struct RepairOutcome {
    enum Kind {
        kIntact,    // start-up takes the data file: nothing was changed
        kMissing,   // there was no data file: an empty one was written
        kSalvaged,  // damaged; set aside, a new file holds what could be read
        kTrimmed,   // whole but too big for start-up; set aside, a new file holds what fits
        kEmptied,   // set aside; nothing could be kept, a new empty file was written
        kFailed,    // the data file could not be set aside or no new one written
    };
    Kind kind = kFailed;
    uint32_t topics = 0;           // kept in the new file
    uint32_t messages = 0;         // kept in the new file
    uint32_t droppedTopics = 0;    // read, but left out so that start-up takes the new file
    uint32_t droppedMessages = 0;  // theirs
    std::string asideName;         // the refused file's new name in the data directory
};

// Judges "Msg.dat" in dataDir as the agent's start-up does and, when start-up
// would refuse it, renames it to "Msg-YYYY-MM-DD-hhmmss.dat" (local time;
// never deleting it) and writes a new one that start-up takes: the header and
// the topics and messages read before the first damage, of which the first
// ad-stream topic and as many other topics as fit beside it; an empty one
// when even that cannot be written. now names the set-aside file.
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
