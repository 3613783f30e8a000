#include "shared/update_outcome.h"

#include <cstring>

namespace {

// "TWu1": the note's mark and layout version, then four 32-bit fields.
constexpr char kMark[4] = {'T', 'W', 'u', '1'};
constexpr size_t kAnsweredAt = 4, kFailedAt = 8, kFailureAt = 12, kStatusAt = 16;
static_assert(kStatusAt + 4 <= sizeof(TopicRecord::Reserved), "the note fits the reserved tail");

uint32_t Field(const TopicRecord& topic, size_t at) {
    uint32_t value;
    memcpy(&value, topic.Reserved + at, sizeof value);
    return value;
}

void SetField(TopicRecord& topic, size_t at, uint32_t value) {
    memcpy(topic.Reserved + at, &value, sizeof value);
}

}  // namespace

bool ReadOutcome(const TopicRecord& topic, UpdateOutcome* outcome) {
    if (memcmp(topic.Reserved, kMark, sizeof kMark) != 0) return false;
    outcome->answered = static_cast<int32_t>(Field(topic, kAnsweredAt));
    outcome->failed = static_cast<int32_t>(Field(topic, kFailedAt));
    outcome->failure = static_cast<UpdateFailure>(Field(topic, kFailureAt));
    outcome->status = Field(topic, kStatusAt);
    return true;
}

void NoteOutcome(TopicRecord& topic, int32_t now, UpdateFailure failure, uint32_t status) {
    UpdateOutcome before;
    int32_t answered = ReadOutcome(topic, &before) ? before.answered : 0;
    bool ok = failure == UpdateFailure::None;
    memcpy(topic.Reserved, kMark, sizeof kMark);
    SetField(topic, kAnsweredAt, static_cast<uint32_t>(ok ? now : answered));
    SetField(topic, kFailedAt, static_cast<uint32_t>(ok ? 0 : now));
    SetField(topic, kFailureAt, static_cast<uint32_t>(failure));
    SetField(topic, kStatusAt, failure == UpdateFailure::Status ? status : 0);
}

std::string FailureText(const UpdateOutcome& outcome) {
    if (!outcome.failed) return "";
    switch (outcome.failure) {
        case UpdateFailure::Unreachable: return "the service could not be reached";
        case UpdateFailure::Status:
            if (outcome.status >= 100 && outcome.status <= 999)
                return "the service answered " + std::to_string(outcome.status);
            return "the service did not answer as a web server does";
        case UpdateFailure::Incomplete: return "the answer was cut short or too long";
        case UpdateFailure::Unreadable: return "the answer was no subscription file";
        default: return "";
    }
}
