// Reading stock quotes from the quote file "YStock.html": a buffered reader
// of at most 1000 bytes at a time that takes one CSV line per symbol (after
// the source header's HTML comment) and turns it into a quote message's
// title and link. It stops at the first line that does not look like a quote.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/os.h"

// A decimal as stock prices were quoted: "112.5" becomes "112 1/2" and
// "-0.375" "-0 3/8" (the smallest power-of-two denominator up to 256 that
// fits); a text without a fraction, or whose fraction no such denominator
// fits, stays as it is. Writes into a buffer of 100 bytes and returns it.
const char* FormatFraction(const char* text, char (&buffer)[100]);

constexpr uint32_t kQuoteWindow = 1000;

// The process-wide reader over the quote file.
class QuoteReader {
public:
    ~QuoteReader() { CloseFile(); }

    // The next quote's title and link (title: 200 bytes, url: 1024 bytes);
    // 0 once the usable lines are used up, with the file closed.
    int GetYahooQuote(const char* path, char* title, char* url);

    bool open() const { return readBuffer_ != nullptr; }
    // Gives the file back; the next GetYahooQuote starts it anew.
    void CloseFile();

private:
    void Open(const char* path);
    void Normalize();
    void Fetch();
    void Consume(uint32_t count);
    bool Consistent() const { return readPos_ <= readFill_ && readFill_ <= kQuoteWindow; }
    int ParseQuoteLine(char* title, char* url);

    char* readBuffer_ = nullptr;  // a window of the file and a NUL
    uint32_t readFill_ = 0;
    uint32_t readPos_ = 0;
    OsFile* readFile_ = nullptr;
    bool readEof_ = true;
};

extern QuoteReader gQuoteReader;

// Replaces the stock-quote topic's messages by the quotes in the file, each
// in its old message's place with its old number. Symbols without a message
// are not added.
void ParseYahooQuote(const char* path);
