// The news database as a whole: start-up, shutdown, the ad-stream topic, the
// stock-quote topic's rebuild and the diagnostic listing.
#pragma once

#include <cstdint>

#include "news/topic.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

namespace Database {

// Whether start-up takes the data file at path, and what it takes: loads the
// file into the (empty) topic array, its header into cfg, and makes sure the
// ad-stream topic exists. 0 when start-up would not take the file as it is
// (damaged, more topics than the array holds, or a full array without the
// ad stream); the loader traces why. The agent's start-up, the repair and
// the data-file tool all judge a file with this one function.
int Open(const char* path, TopicArray& topics, CConfigData& cfg);

// Saves the data file and frees the database.
void Term();

}  // namespace Database

// Finds or creates the ad-stream topic, records its id in cfg and sets its
// interval. 0 when it is missing and the array is full, or memory is short;
// a full array that holds it is fine.
int EnsureAdStreamTopic(TopicArray& topics, CConfigData& cfg);

// A stock symbol as the preferences dialog hands it over.
constexpr uint32_t kSymbolSize = 10;
constexpr uint32_t kMaxSymbols = 200;

// Brings the stock-quote topic in line with the user's symbol list: keeps the
// messages of listed symbols, removes the others, appends a message for each
// new symbol and rebuilds the quotes address. Blanks the entries it found.
void RebuildQuoteTopic(CTopic& topic, char (*symbols)[kSymbolSize], uint32_t count);

// Writes the diagnostic listing of the database to the trace.
void Dump();
