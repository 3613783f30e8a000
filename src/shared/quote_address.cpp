#include "shared/quote_address.h"

#include "base/limits.h"
#include "shared/deployment.h"

namespace {

constexpr char kQuotesPath[] = "/d/quotes.csv?s=";
constexpr char kQuotesFormat[] = "&f=sl1d1t1c1ohgv&e=.csv";
constexpr size_t kAddressMax = 1023;  // the topic record's ConfigUrl holds 1023 characters

std::string JoinedSymbols(const std::vector<std::string>& symbols, size_t count) {
    std::string joined;
    for (size_t i = 0; i < count; i++) joined += (i ? "+" : "") + symbols[i];
    return joined;
}

std::string Address(const std::string& joined) {
    return std::string("http://") + kQuoteHost + kQuotesPath + joined + kQuotesFormat;
}

bool Fits(const std::vector<std::string>& symbols, size_t count) {
    std::string joined = JoinedSymbols(symbols, count);
    // The URL reader keeps at most kUrlPathBuffer - 2 characters after the host's "/".
    size_t path = (sizeof kQuotesPath - 2) + joined.size() + (sizeof kQuotesFormat - 1);
    return Address(joined).size() <= kAddressMax && path <= kUrlPathBuffer - 2;
}

}  // namespace

std::string QuotesAddress(const std::vector<std::string>& symbols) {
    if (symbols.empty()) return kQuotesFormat;
    return Address(JoinedSymbols(symbols, symbols.size()));
}

bool QuotesAddressFits(const std::vector<std::string>& symbols) {
    return Fits(symbols, symbols.size());
}

uint32_t QuoteSymbolsThatFit(const std::vector<std::string>& symbols) {
    uint32_t count = 0;
    while (count < symbols.size() && Fits(symbols, count + 1)) count++;
    return count;
}
