// The preferences' rules: what is taken out of an untrusted exchange record,
// what goes back into it, and which typed values are refused.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "config_dll/choices.h"
#include "net/url.h"
#include "shared/records.h"
#include "shared/quote_address.h"

namespace {

std::unique_ptr<ConfigExchange> PatternedExchange() {
    auto exchange = std::make_unique<ConfigExchange>();
    memset(exchange.get(), 0xAB, sizeof *exchange);  // no text terminated, every count huge
    return exchange;
}

}  // namespace

TEST(PrefsChoices, HostileRecordIsReadWithinItsSlots) {
    auto exchange = PatternedExchange();
    exchange->topics[7].dwType = TOPIC_QUOTES;
    exchange->topics[9].dwType = TOPIC_ADSTREAM;
    display::Settings fallback;
    fallback.edge = display::kEdgeBottom;
    fallback.autoHide = true;
    prefs::Choices c = prefs::ReadExchange(*exchange, fallback);

    EXPECT_EQ(kExchangeTopics - 2, c.topics.size());  // all slots but the quote topic's and the ad stream's
    EXPECT_EQ(8u, c.topics[7].slot);
    EXPECT_EQ(10u, c.topics[8].slot);
    EXPECT_EQ(sizeof(TopicRecord::Title), c.topics[0].title.size());
    EXPECT_EQ(sizeof(TopicRecord::Hint), c.topics[0].hint.size());
    ASSERT_EQ(kExchangeSymbols, c.symbols.size());
    EXPECT_EQ(std::string(kExchangeSymbolSize, '\xAB'), c.symbols[199]);
    EXPECT_EQ(sizeof(ConfigExchange::proxyHost), c.proxyHost.size());
    EXPECT_EQ(sizeof(ConfigExchange::browserPath), c.browserPath.size());
    // Display words without the mark: the settings the ticker was set up with.
    EXPECT_EQ(display::kEdgeBottom, c.display.edge);
    EXPECT_TRUE(c.display.autoHide);

    display::Settings marked;
    marked.edge = display::kEdgeRight;
    marked.speed = 300;
    display::Encode(marked, exchange->displaySettings);
    c = prefs::ReadExchange(*exchange, fallback);
    EXPECT_EQ(display::kEdgeRight, c.display.edge);
    EXPECT_EQ(300u, c.display.speed);
}

TEST(PrefsChoices, WritesBackOnlyWhatTheAgentReads) {
    auto exchange = PatternedExchange();
    exchange->topicCount = 4;
    exchange->symbolCount = 0;
    exchange->topics[1].dwType = TOPIC_QUOTES;
    exchange->topics[3].dwType = TOPIC_ADSTREAM;
    exchange->topics[3].bActive = 0;              // switched off by an older dialog
    exchange->topics[4].dwType = TOPIC_ADSTREAM;  // beyond the count: not the agent's
    auto before = std::make_unique<ConfigExchange>(*exchange);
    prefs::Choices c = prefs::ReadExchange(*exchange, display::Settings());
    ASSERT_EQ(2u, c.topics.size());
    c.proxyOn = true;
    c.proxyHost = "proxy.test";
    c.proxyPort = 3128;
    c.browserPath = "C:\\b.exe";
    c.display.speed = 120;
    c.preference = display::kHideAds;
    c.pace = 7;
    c.topics[1].active = false;  // the topic in slot 2
    c.symbols = {"AAA", "BB"};
    prefs::WriteExchange(c, *exchange);

    EXPECT_EQ(1u, exchange->accepted);
    EXPECT_STREQ("proxy.test", exchange->proxyHost);
    EXPECT_EQ(3128, exchange->proxyPort);
    EXPECT_EQ(1, exchange->proxyEnabled);
    EXPECT_STREQ("C:\\b.exe", exchange->browserPath);
    EXPECT_EQ(120u, display::Decode(exchange->displaySettings).speed);
    EXPECT_EQ(display::kHideAds, exchange->displayPreference);
    EXPECT_EQ(7, exchange->pace);
    EXPECT_EQ(0u, exchange->topics[2].bActive);
    EXPECT_EQ(1u, exchange->topics[0].bActive);
    EXPECT_EQ(1u, exchange->topics[3].bActive);  // the ad stream is kept current
    EXPECT_EQ(2u, exchange->symbolCount);
    EXPECT_EQ(0, memcmp("BB\0\0\0\0\0\0\0\0", exchange->symbols[1], kExchangeSymbolSize));
    // Everything the agent does not read back is as it was: the quote topic's
    // switch, the slot beyond the count.
    exchange->topics[0].bActive = exchange->topics[2].bActive = 0xABABABAB;
    exchange->topics[3].bActive = 0;
    EXPECT_EQ(0, memcmp(before->topics, exchange->topics, sizeof before->topics));
    EXPECT_EQ(before->topicCount, exchange->topicCount);
    EXPECT_EQ(0, memcmp(before->installDir, exchange->installDir, sizeof before->installDir));
    EXPECT_EQ(0, memcmp(before->reserved, exchange->reserved, sizeof before->reserved));
    EXPECT_EQ(0, memcmp(before->symbols[2], exchange->symbols[2], sizeof before->symbols - 2 * kExchangeSymbolSize));
}

TEST(PrefsChoices, TypedNumbersOutsideTheirRangeAreRefused) {
    // Typed, the proxy switched on, accepted, and the port then held.
    const std::tuple<const char*, bool, bool, int32_t> ports[] = {
        {"1", true, true, 1},     {"65535", true, true, 65535}, {" 8080 ", true, true, 8080},
        {"0", true, false, 77},   {"65536", true, false, 77},   {"-1", true, false, 77},
        {"80x", true, false, 77}, {"", true, false, 77},        {"99999999999", true, false, 77},
        {"", false, true, 77},    {"0", false, false, 77},
    };
    for (auto [text, proxyOn, accepted, held] : ports) {
        int32_t port = 77;
        EXPECT_EQ(accepted, prefs::CheckPort(text, proxyOn, port) == nullptr) << text << " " << proxyOn;
        EXPECT_EQ(held, port) << text;
    }
    int32_t pace = 0;
    uint32_t speed = 0;
    for (const char* good : {"1", "20"}) EXPECT_EQ(nullptr, prefs::CheckPace(good, pace)) << good;
    for (const char* bad : {"0", "21", "", "1.5"})
        EXPECT_STREQ("The pace must be a number from 1 to 20.", prefs::CheckPace(bad, pace)) << bad;
    for (const char* good : {"20", "400"}) EXPECT_EQ(nullptr, prefs::CheckSpeed(good, speed)) << good;
    for (const char* bad : {"19", "401", "fast"}) EXPECT_NE(nullptr, prefs::CheckSpeed(bad, speed)) << bad;
    EXPECT_EQ(400u, speed);

    // Texts: what is stored is what was checked, without the blanks around it; nullptr: refused, and nothing stored.
    const std::tuple<const char*, bool, const char*> hosts[] = {
        {"proxy.test", true, "proxy.test"},
        {" \tproxy.test \r\n", true, "proxy.test"},
        {"", false, ""},
        {"  ", false, ""},
        {"", true, nullptr},
        {"  ", true, nullptr},
        {"a b", false, nullptr},
        {"proxy:80", false, nullptr},
        {"http://p", false, nullptr},
    };
    for (auto [typed, proxyOn, stored] : hosts) {
        std::string host = "kept";
        EXPECT_EQ(stored == nullptr, prefs::CheckProxyHost(typed, proxyOn, host) != nullptr) << typed;
        EXPECT_EQ(stored ? stored : "kept", host) << typed;
    }
    std::string host, path;
    EXPECT_NE(nullptr, prefs::CheckProxyHost(std::string(1024, 'p'), true, host));
    EXPECT_EQ(nullptr, prefs::CheckProxyHost(" " + std::string(1023, 'p') + " ", true, host));
    EXPECT_EQ(nullptr, prefs::CheckBrowserPath("  C:\\Program Files\\B\\b.exe\t", path));
    EXPECT_EQ("C:\\Program Files\\B\\b.exe", path);
    EXPECT_EQ(nullptr, prefs::CheckBrowserPath(" " + std::string(259, 'b') + " ", path));
    EXPECT_NE(nullptr, prefs::CheckBrowserPath(std::string(260, 'b'), path));
}

TEST(PrefsChoices, NewSymbolsMustFitTheSlotAndTheQuoteAddress) {
    std::string symbol;
    EXPECT_EQ(nullptr, prefs::CheckNewSymbol(" ibm ", {"AAA"}, symbol));
    EXPECT_EQ("IBM", symbol);
    EXPECT_EQ(nullptr, prefs::CheckNewSymbol("EURUSD=X", {}, symbol));
    for (const char* bad : {"", "TENLETTERS", "A+B", "A&B", "A B", "A#"})
        EXPECT_NE(nullptr, prefs::CheckNewSymbol(bad, {}, symbol)) << bad;
    EXPECT_STREQ("This symbol is listed already.", prefs::CheckNewSymbol("aaa", {"AAA"}, symbol));

    // Nine-character symbols: the path holds 22 of them, the 23rd would make
    // the address one the URL reader refuses.
    std::vector<std::string> symbols;
    for (int i = 0; i < 30; i++) symbols.push_back("SYM" + std::to_string(100000 + i));
    EXPECT_EQ(22u, QuoteSymbolsThatFit(symbols));
    std::vector<std::string> fitting(symbols.begin(), symbols.begin() + 22);
    CUrl url;
    EXPECT_TRUE(url.Parse(QuotesAddress(fitting).c_str()));
    fitting.push_back(symbols[22]);
    EXPECT_FALSE(url.Parse(QuotesAddress(fitting).c_str()));
    fitting.pop_back();
    EXPECT_STREQ("The quote address has no room for another symbol; remove one first.",
                 prefs::CheckNewSymbol("X", fitting, symbol));
    fitting.pop_back();
    EXPECT_EQ(nullptr, prefs::CheckNewSymbol("X", fitting, symbol));
    EXPECT_EQ("21 of 21 symbols fit the quote address.", prefs::SymbolsFitText(fitting));
    EXPECT_EQ("22 of 30 symbols fit the quote address. Quotes are not fetched until some are removed.",
              prefs::SymbolsFitText(symbols));
}

TEST(PrefsChoices, PaceIsShownInSecondsAndPriority) {
    EXPECT_EQ(
        "News is asked for at most every 3 s, an ad every 4 s, stock quotes every 30 s. "
        "The agent runs at normal priority.",
        prefs::PaceMeaning(1));
    EXPECT_NE(std::string::npos, prefs::PaceMeaning(12).find("every 36 s, an ad every 37 s, stock quotes every 85 s. "
                                                             "The agent runs at below normal priority."));
}
