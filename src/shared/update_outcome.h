// What the last update of a subscription came to, for the display programs.
// The agent notes it in the first bytes of the topic record's reserved tail,
// which no other program interprets, so the record keeps its layout byte for
// byte and the note travels with the record into the data file and to the
// display programs. The tail of a record written elsewhere may hold
// anything: a note counts only behind its mark, and every value in it is
// read as untrusted.
#pragma once

#include <cstdint>
#include <string>

#include "shared/records.h"

enum class UpdateFailure : uint32_t {
    None = 0,
    Unreachable = 1,  // no connection to the service or the proxy
    Status = 2,       // the service answered with another status than 200
    Incomplete = 3,   // the answer was cut short, or longer than it said or than is taken
    Unreadable = 4,   // a whole answer that is no subscription file (a login page, say)
};

struct UpdateOutcome {
    int32_t answered = 0;  // when an answer was last read; 0: never
    int32_t failed = 0;    // when the last run failed; 0: it went well
    UpdateFailure failure = UpdateFailure::None;
    uint32_t status = 0;  // the HTTP status of a Status failure
};

// The note in the topic's tail, or false when the tail holds none.
bool ReadOutcome(const TopicRecord& topic, UpdateOutcome* outcome);
// A run whose answer was read (failure None), or one that failed at `now`.
// The time of the last answer read is kept across failures.
void NoteOutcome(TopicRecord& topic, int32_t now, UpdateFailure failure, uint32_t status = 0);

// Why the last update failed, in words ("the service answered 404"); empty
// when it went well, and for a failure this program does not know.
std::string FailureText(const UpdateOutcome& outcome);
