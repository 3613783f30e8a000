// The news database as a whole: start-up, shutdown, the ad-stream topic, the
// stock-quote topic's rebuild and the diagnostic listing.
#pragma once

#include <cstdint>

#include "news/topic.h"

namespace Database {

// Loads the data file and makes sure the ad-stream topic exists. 0 on
// failure, with InitStatus set so that the agent runs the repair installer.
int Init();

// What Init asks of the data file at path: loads it into the (empty) topic
// array and makes sure the ad-stream topic exists. 0 when start-up would not
// take the file as it is; the loader traces why.
int Open(const char* path);

// Saves the data file and frees the database.
void Term();

}  // namespace Database

// Finds or creates the ad-stream topic, records its id in the shared record
// and sets its interval. 0 when it is missing and the array is full, or
// memory is short; a full array that holds it is fine.
int EnsureAdStreamTopic();

// A stock symbol as the preferences dialog hands it over.
constexpr uint32_t kSymbolSize = 10;
constexpr uint32_t kMaxSymbols = 200;

// Brings the stock-quote topic in line with the user's symbol list: keeps the
// messages of listed symbols, removes the others, appends a message for each
// new symbol and rebuilds the quotes address. Blanks the entries it found.
void RebuildQuoteTopic(CTopic& topic, char (*symbols)[kSymbolSize], uint32_t count);

// Writes the diagnostic listing of the database to the trace.
void Dump();
