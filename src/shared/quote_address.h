// The address the stock-quote job requests: the quote service's CSV query
// with the symbols joined by "+". The agent rebuilds it after the user edits
// the symbols, and the preferences show how many symbols it can carry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The whole address for the symbols in this order; with none, only the
// format suffix, as the agent has always stored it.
std::string QuotesAddress(const std::vector<std::string>& symbols);

// True when the address for these symbols fits the topic's address field
// and its path fits the URL reader, so that the quote job can fetch it.
bool QuotesAddressFits(const std::vector<std::string>& symbols);

// How many of the symbols, from the first, one address can carry.
uint32_t QuoteSymbolsThatFit(const std::vector<std::string>& symbols);
