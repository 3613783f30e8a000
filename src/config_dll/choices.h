// What the preferences dialog edits, taken out of the exchange record with
// every count and text bounded (the record comes from another module and is
// not trusted), the rules each value must pass, and the way back into the
// record. Platform-free, so the rules are tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/config_exchange.h"
#include "shared/display_settings.h"

namespace prefs {

constexpr int32_t kMinPort = 1, kMaxPort = 65535;
constexpr int32_t kMinPace = 1, kMaxPace = 20;
constexpr size_t kMaxProxyHost = sizeof(ConfigExchange::proxyHost) - 1;
constexpr size_t kMaxBrowserPath = sizeof(ConfigExchange::browserPath) - 1;
constexpr size_t kMaxSymbol = kExchangeSymbolSize - 1;

struct TopicChoice {
    uint32_t slot;  // index into the record's topic slots
    std::string title;
    std::string hint;
    bool active;
};

struct Choices {
    bool proxyOn = false;
    std::string proxyHost;
    int32_t proxyPort = 0;
    std::string browserPath;
    display::Settings display;
    int32_t preference = display::kShowQuotes;
    int32_t pace = kMinPace;
    std::vector<TopicChoice> topics;  // the topics with a switch of their own: not the quotes, not the ads
    std::vector<std::string> symbols;
};

// The choices the record holds. Display settings without the display mark
// start from fallback (the shared record's edge, on-top and auto-hide).
Choices ReadExchange(const ConfigExchange& exchange, const display::Settings& fallback);

// Writes the choices into exactly the fields the agent reads back and sets
// the accepted flag; the ad stream's switch goes back on. Only for choices
// that passed the checks below.
void WriteExchange(const Choices& choices, ConfigExchange& exchange);

// The checks of the values typed into the dialog. Each returns nullptr when
// the text is acceptable and then stores the value it checked (texts without
// the blanks around them), else the message to show.
const char* CheckPort(const std::string& text, bool proxyOn, int32_t& port);
const char* CheckProxyHost(const std::string& text, bool proxyOn, std::string& host);
// At most 259 characters; empty means the system's own browser.
const char* CheckBrowserPath(const std::string& text, std::string& path);
const char* CheckSpeed(const std::string& text, uint32_t& speed);
const char* CheckPace(const std::string& text, int32_t& pace);
// A symbol to add to the list: 1 to 9 letters, digits or ". - ^ =", not
// listed yet, and the quotes address must still carry the list with it.
// Letters are taken in upper case.
const char* CheckNewSymbol(const std::string& text, const std::vector<std::string>& symbols, std::string& symbol);

// What a pace means, in words for the dialog: the seconds between runs of
// each job and the priority the agent takes.
std::string PaceMeaning(int32_t pace);
// "N of M symbols fit the quote address" and the like.
std::string SymbolsFitText(const std::vector<std::string>& symbols);

}  // namespace prefs
