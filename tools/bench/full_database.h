// The full database every figure runs against, made with the agent's own
// records: subscriptions holding the 10 messages a subscription keeps at
// most, the stock-quote topic with 200 symbols and the ad stream with its
// 50 ads. Texts have the lengths real headlines and links have; the records
// on disk are fixed-size whatever the texts.
#pragma once

#include <cstddef>
#include <cstdint>

class TopicArray;
struct CConfigData;

// The topic array's capacity: the data-file figure uses every slot.
constexpr uint32_t kFileTopics = 100;
// An agent refuses to start with every slot taken (no room to make sure of
// the ad stream), so the figures with a running agent use one topic less.
constexpr uint32_t kAgentTopics = 99;

constexpr uint32_t kMessagesPerSubscription = 10;
constexpr uint32_t kQuoteSymbols = 200;
constexpr uint32_t kAds = 50;

// Subscriptions in the first slots, then the quote topic, then the ad stream.
void MakeFullDatabase(TopicArray& topics, uint32_t topicCount);

// Messages in a full database of topicCount topics.
uint32_t FullDatabaseMessages(uint32_t topicCount);

// The bytes of its records: sizeof the topic and message records times their counts.
size_t FullDatabaseRecordBytes(uint32_t topicCount);

// The size of its data file: the header, the counts and the records.
size_t FullDatabaseFileBytes(uint32_t topicCount);

// A record as start-up leaves it, enough for loading and saving.
void MakeBenchConfig(CConfigData& cfg);
