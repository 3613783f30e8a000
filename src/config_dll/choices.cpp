#include "config_dll/choices.h"

#include <cstring>

#include "base/strutil.h"
#include "shared/records.h"
#include "shared/pace.h"
#include "shared/quote_address.h"

namespace prefs {

namespace {

constexpr size_t kMaxDigits = 9;  // enough for every range here, and no overflow

std::string Field(const char* text, size_t size) {
    return std::string(text, StrLenBounded(text, size));
}

// A whole decimal number within [low, high], nothing else around it but blanks.
bool ParseNumber(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    std::string digits = Trimmed(text);
    if (digits.empty() || digits.size() > kMaxDigits) return false;
    int32_t number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
    }
    if (number < low || number > high) return false;
    value = number;
    return true;
}

bool IsSymbolChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '^' || c == '=';
}

}  // namespace

Choices ReadExchange(const ConfigExchange& exchange, const display::Settings& fallback) {
    Choices choices;
    choices.proxyOn = exchange.proxyEnabled != 0;
    choices.proxyHost = Field(exchange.proxyHost, sizeof exchange.proxyHost);
    choices.proxyPort = exchange.proxyPort;
    choices.browserPath = Field(exchange.browserPath, sizeof exchange.browserPath);
    bool marked = display::Word(exchange.displaySettings, display::kWordMark) == display::kDisplayMark;
    choices.display = marked ? display::Decode(exchange.displaySettings) : fallback;
    choices.preference = exchange.displayPreference;
    choices.pace = exchange.pace;
    uint32_t topics = exchange.topicCount < kExchangeTopics ? exchange.topicCount : kExchangeTopics;
    for (uint32_t slot = 0; slot < topics; slot++) {
        const TopicRecord& topic = exchange.topics[slot];
        // The quote topic is rebuilt from the symbols, and the ad stream is
        // kept current whatever is shown: what the ticker shows of either is
        // the display preference's.
        if (topic.dwType == TOPIC_QUOTES || topic.dwType == TOPIC_ADSTREAM) continue;
        choices.topics.push_back(
            {slot, Field(topic.Title, sizeof topic.Title), Field(topic.Hint, sizeof topic.Hint), topic.bActive != 0});
    }
    uint32_t symbols = exchange.symbolCount < kExchangeSymbols ? exchange.symbolCount : kExchangeSymbols;
    for (uint32_t i = 0; i < symbols; i++) choices.symbols.push_back(Field(exchange.symbols[i], kExchangeSymbolSize));
    return choices;
}

void WriteExchange(const Choices& choices, ConfigExchange& exchange) {
    exchange.proxyEnabled = choices.proxyOn ? 1 : 0;
    StrCopy(exchange.proxyHost, sizeof exchange.proxyHost, choices.proxyHost.c_str());
    exchange.proxyPort = choices.proxyPort;
    StrCopy(exchange.browserPath, sizeof exchange.browserPath, choices.browserPath.c_str());
    display::Encode(choices.display, exchange.displaySettings);
    exchange.displayPreference = choices.preference;
    exchange.pace = choices.pace;
    for (const TopicChoice& topic : choices.topics) {
        if (topic.slot < kExchangeTopics) exchange.topics[topic.slot].bActive = topic.active ? 1 : 0;
    }
    // An ad stream switched off by an older dialog would never be brought up
    // to date again, with no switch left to turn it back on.
    uint32_t topics = exchange.topicCount < kExchangeTopics ? exchange.topicCount : kExchangeTopics;
    for (uint32_t slot = 0; slot < topics; slot++) {
        if (exchange.topics[slot].dwType == TOPIC_ADSTREAM) exchange.topics[slot].bActive = 1;
    }
    uint32_t count = 0;
    for (; count < choices.symbols.size() && count < kExchangeSymbols; count++) {
        memset(exchange.symbols[count], 0, kExchangeSymbolSize);
        StrCopy(exchange.symbols[count], kExchangeSymbolSize, choices.symbols[count].c_str());
    }
    exchange.symbolCount = count;
    exchange.accepted = 1;
}

const char* CheckPort(const std::string& text, bool proxyOn, int32_t& port) {
    // With the proxy off an empty field keeps the port the agent had.
    if (!proxyOn && Trimmed(text).empty()) return nullptr;
    if (ParseNumber(text, kMinPort, kMaxPort, port)) return nullptr;
    return "The proxy port must be a number from 1 to 65535.";
}

const char* CheckProxyHost(const std::string& text, bool proxyOn, std::string& host) {
    std::string candidate = Trimmed(text);
    if (proxyOn && candidate.empty()) return "Please enter the proxy server's name or address.";
    if (candidate.size() > kMaxProxyHost) return "The proxy server's name is too long.";
    for (char c : candidate) {
        if (IsSpaceChar(c) || c == '/' || c == ':')
            return "The proxy server's name must not hold blanks, \"/\" or \":\".";
    }
    host = candidate;
    return nullptr;
}

const char* CheckBrowserPath(const std::string& text, std::string& path) {
    std::string candidate = Trimmed(text);
    if (candidate.size() > kMaxBrowserPath) return "The browser's path is too long: at most 259 characters.";
    path = candidate;
    return nullptr;
}

const char* CheckSpeed(const std::string& text, uint32_t& speed) {
    int32_t value = 0;
    if (!ParseNumber(text, display::kMinSpeed, display::kMaxSpeed, value))
        return "The ticker's speed must be a number from 20 to 400 pixels a second.";
    speed = static_cast<uint32_t>(value);
    return nullptr;
}

const char* CheckPace(const std::string& text, int32_t& pace) {
    if (ParseNumber(text, kMinPace, kMaxPace, pace)) return nullptr;
    return "The pace must be a number from 1 to 20.";
}

const char* CheckNewSymbol(const std::string& text, const std::vector<std::string>& symbols, std::string& symbol) {
    std::string candidate = Trimmed(text);
    if (candidate.empty() || candidate.size() > kMaxSymbol) return "A stock symbol has 1 to 9 characters.";
    for (char& c : candidate) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!IsSymbolChar(c)) return "A stock symbol holds only letters, digits and \". - ^ =\".";
    }
    for (const std::string& listed : symbols) {
        if (listed == candidate) return "This symbol is listed already.";
    }
    if (symbols.size() >= kExchangeSymbols) return "The list holds no more symbols.";
    std::vector<std::string> grown = symbols;
    grown.push_back(candidate);
    if (!QuotesAddressFits(grown)) return "The quote address has no room for another symbol; remove one first.";
    symbol = candidate;
    return nullptr;
}

std::string PaceMeaning(int32_t pace) {
    static const char* const kPriority[] = {"normal", "below normal", "idle"};
    PacePriority priority = PriorityForPace(pace);
    int level = priority.process == ProcessPriority::Idle ? 2 : priority.thread == ThreadPriority::Normal ? 0 : 1;
    return "News is asked for at most every " + std::to_string(3 * pace) + " s, an ad every " +
           std::to_string(3 * pace + 1) + " s, stock quotes every " + std::to_string(5 * pace + 25) +
           " s. The agent runs at " + kPriority[level] + " priority.";
}

std::string SymbolsFitText(const std::vector<std::string>& symbols) {
    uint32_t fit = QuoteSymbolsThatFit(symbols);
    std::string text =
        std::to_string(fit) + " of " + std::to_string(symbols.size()) + " symbols fit the quote address.";
    if (fit < symbols.size()) text += " Quotes are not fetched until some are removed.";
    return text;
}

}  // namespace prefs
