// The subscription file: one topic's definition and its new headlines, in
// profile (INI) form. It arrives as the answer to a subscription update, or
// from another process (a path handed over by WM_COPYDATA).
#pragma once

#include <cstdint>
#include <string>

namespace EngineUpdate {

// Reads the subscription file at path: updates the topic with the file's
// title, or adds it, and appends one message per new message line, for the
// newest lines only: no more than the purge lets the topic keep. 1 when
// the topic's range of messages advanced, 0 in every other case (a missing
// file, an empty ConfigVersion, a missing or bad title or range, nothing
// new). A topic array without room for a subscription (its last free slot
// is kept for start-up) or exhausted memory raises its text to the caller.
// `understood`, when given, tells whether the file was a subscription file
// at all (its version and title were read), whatever it brought.
int ParseConfigFile(const char* path, bool* understood = nullptr);

}  // namespace EngineUpdate

// The parts of a subscription file that need no file, for the parser and
// its tests.
namespace SubscriptionFile {

// "Category": its leading number; 14 and above (negative numbers included) give 0.
uint32_t Category(const char* value);

// "Schedule": "Interval " (any case) and 5 to 999 minutes give that many
// minutes in seconds; anything else gives 1800.
uint32_t Interval(const char* value);

// "MsgRange": the leading number, then the number after the next run of
// non-digits (0 when none follows). "120-135" and "120 135" give 120 and 135.
struct Range {
    uint32_t first;
    uint32_t last;
};
Range MessageRange(const char* value);

// The number n of a key that reads "Msg%d" for it (any case), or false.
bool MessageNumber(const std::string& key, uint32_t& n);

}  // namespace SubscriptionFile
