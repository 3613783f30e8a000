#include "jobs/quote_reader.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/strutil.h"
#include "base/trace.h"
#include "news/topic_array.h"
#include "shared/deployment.h"

QuoteReader gQuoteReader;

namespace {

constexpr uint32_t kReadBufferSize = 1010;

// A field of the line: from start up to the terminator, at most limit
// characters; false when the terminator is missing or the field too long.
bool TakeField(const char*& cursor, const char* terminator, size_t limit, std::string& field) {
    const char* end = strstr(cursor, terminator);
    if (!end || static_cast<size_t>(end - cursor) > limit) return false;
    field.assign(cursor, end);
    cursor = end + strlen(terminator);
    return true;
}

}  // namespace

const char* FormatFraction(const char* text, char (&buffer)[100]) {
    StrCopy(buffer, sizeof buffer, text);
    if (!text || !*text) return buffer;
    const char* dot = strchr(text, '.');
    if (!dot) return buffer;
    // The value from the "." on, exponent included: "3.5e1" has the fraction
    // 5 and becomes "3 10/2", as stock prices were quoted.
    double fraction = atof(dot);
    if (fraction == 0) return buffer;
    for (int denominator = 2; denominator <= 256; denominator *= 2) {
        double numerator = fraction * denominator;
        if (numerator != std::floor(numerator)) continue;
        if (!(numerator <= INT_MAX)) return buffer;  // no numerator "%d" can print (or infinite)
        std::string whole(text, dot);
        snprintf(buffer, sizeof buffer, "%s %d/%d", whole.c_str(), static_cast<int>(numerator), denominator);
        return buffer;
    }
    return buffer;
}

void QuoteReader::Open(const char* path) {
    readEof_ = true;
    readFill_ = readPos_ = 0;
    readBuffer_ = static_cast<char*>(malloc(kReadBufferSize));
    if (!readBuffer_) throw "Memory allocation failure";
    readFile_ = gOs.OpenRead(path);
    if (!readFile_) {
        CloseFile();
        throw "File open failure";
    }
    memset(readBuffer_, 0, kQuoteWindow + 1);
    readEof_ = false;
}

void QuoteReader::CloseFile() {
    free(readBuffer_);
    readBuffer_ = nullptr;
    if (readFile_) gOs.Close(readFile_);
    readFile_ = nullptr;
}

void QuoteReader::Normalize() {
    if (readFill_ == 0) return;
    if (!Consistent()) throw "Integrity error in Normalize()";
    if (readPos_ == 0) return;
    memmove(readBuffer_, readBuffer_ + readPos_, readFill_ - readPos_);
    readFill_ -= readPos_;
    readPos_ = 0;
    readBuffer_[readFill_] = '\0';
}

void QuoteReader::Fetch() {
    if (!Consistent()) throw "Integrity error in Fetch()";
    if (readFill_ >= kQuoteWindow || readEof_) return;
    uint32_t got = 0;
    bool read = gOs.Read(readFile_, readBuffer_ + readFill_, kQuoteWindow - readFill_, &got) != 0;
    readEof_ = !read || got == 0;
    readFill_ += got;
    readBuffer_[readFill_] = '\0';
}

void QuoteReader::Consume(uint32_t count) {
    readPos_ += count;
}

int QuoteReader::ParseQuoteLine(char* title, char* url) {
    Normalize();
    Fetch();
    // The window may hold NULs from the file: it ends, for the searches, at the first.
    if (strncmp(readBuffer_, "<!--", 4) == 0) {
        const char* end = strstr(readBuffer_, "-->\r\n");
        if (!end || end - readBuffer_ >= static_cast<ptrdiff_t>(kQuoteWindow)) return 0;
        Consume(static_cast<uint32_t>(end - readBuffer_) + 5);
        Normalize();
        Fetch();
    }
    char* lineEnd = strstr(readBuffer_, "\r\n");
    if (!lineEnd || lineEnd - readBuffer_ >= static_cast<ptrdiff_t>(kQuoteWindow)) return 0;
    *lineEnd = '\0';
    uint32_t length = static_cast<uint32_t>(lineEnd - readBuffer_);
    if (length < 50) return 0;
    std::string line(readBuffer_, length);
    Consume(length + 2);

    if (line[0] != '"') return 0;
    const char* cursor = line.c_str() + 1;
    std::string symbol, price, date, time, change;
    if (!TakeField(cursor, "\",", 100, symbol) || !TakeField(cursor, ",\"", 50, price) ||
        !TakeField(cursor, "\",\"", 20, date) || !TakeField(cursor, "\",", 20, time) ||
        !TakeField(cursor, ",", 50, change)) {
        return 0;
    }
    char priceText[100], changeText[100];
    std::string quote = symbol + ";" + FormatFraction(price.c_str(), priceText) + ";" +
                        FormatFraction(change.c_str(), changeText) + ";" + time;
    StrCopy(title, sizeof(MsgRecord::Title), quote.c_str());
    std::string link = std::string("http://") + kQuoteHost + "/q?s=" + symbol + "&d=t";
    StrCopy(url, kMsgUrlMax + 1, link.c_str());
    return 1;
}

int QuoteReader::GetYahooQuote(const char* path, char* title, char* url) {
    int result = 0;
    try {
        if (!readBuffer_) Open(path);
        result = ParseQuoteLine(title, url);
    } catch (const char* text) {
        Trace("GetYahooQuote: %s", text);
    } catch (...) {
        Trace("GetYahooQuote: Unhandled Exception!");
    }
    if (!result) CloseFile();
    return result;
}

namespace {

// The first message whose title holds the same symbol before its first ";".
MsgList::I FindSymbol(CTopic& topic, const char* title, size_t symbolLength) {
    for (MsgList::I node = topic.msgList.begin(); node != topic.msgList.end(); node = MsgList::next(node)) {
        const char* other = node->value->lpszTitle;
        const char* semicolon = strchr(other, ';');
        if (semicolon && static_cast<size_t>(semicolon - other) == symbolLength &&
            strncmp(other, title, symbolLength) == 0) {
            return node;
        }
    }
    return topic.msgList.end();
}

}  // namespace

void ParseYahooQuote(const char* path) {
    CTopic* topic = gTopicArray.FirstOfType(TOPIC_QUOTES);
    if (!topic) return;
    // However the update ends, the file is given back: the next download
    // could not empty it while it is held open for reading.
    struct CloseReader {
        ~CloseReader() { gQuoteReader.CloseFile(); }
    } closeReader;
    int32_t now = gOs.Now();
    topic->tmLastUpdate = now;
    MsgRecord record;
    memset(&record, 0, sizeof record);
    while (gQuoteReader.GetYahooQuote(path, record.Title, record.Url)) {
        const char* semicolon = strchr(record.Title, ';');
        size_t symbolLength = semicolon ? static_cast<size_t>(semicolon - record.Title) : 0;
        if (symbolLength < 1 || symbolLength > 15) continue;
        record.ridTopic = topic->ridTopic;
        record.tmReceived = now;
        record.dwReserved2 = record.dwReserved3 = 0;
        StrCopy(record.File, sizeof record.File, "Hint");
        MsgList::I old = FindSymbol(*topic, record.Title, symbolLength);
        if (old == topic->msgList.end()) continue;
        record.ridMsg = old->value->ridMsg;
        CMsg* fresh = CMsg::Create(record);
        if (!fresh) {
            Trace("ParseYahooQuote(): Out of memory");
            return;
        }
        try {
            topic->msgList.InsertHead(old, fresh);  // right after the old one, then the old one goes
        } catch (...) {
            CMsg::Destroy(fresh);
            throw;
        }
        topic->RemoveMessage(old);
    }
}
