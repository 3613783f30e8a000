#include "jobs/yahoo_quote_win.h"

#include "base/os.h"
#include "base/trace.h"
#include "jobs/quote_reader.h"
#include "net/url.h"
#include "news/topic_array.h"

namespace YahooQuote {

CUpdate* gJob = nullptr;

CUpdate::CUpdate(HWND owner) : CDownloadJob(owner), quoteFilePath(DataDirPath("YStock.html")) {}

void CUpdate::OnClockTick() {
    if (!MayRun()) return;
    notStarted = 1;
    CTopic* topic = gTopicArray.FirstOfType(TOPIC_QUOTES);
    if (!topic || !RunIsDue(5 * int64_t{gConfig->Pace} + 25)) return;

    CUrl url;
    if (!url.Parse(topic->ConfigUrl)) {
        Trace("YahooQuote::CUpdate::OnClockTick(): Error - bad url");
        return;
    }
    StartDownload(url, quoteFilePath);
}

void CUpdate::OnDisconnect(int success) {
    if (!DownloadSucceeded(success)) {
        Trace("YahooQuote::CUpdate::OnDisconnect(): Connect Failure");
        return;
    }
    try {
        ParseYahooQuote(quoteFilePath.c_str());
    } catch (...) {
        Trace("ParseYahooQuote(): Unhandled Exception");
    }
}

}  // namespace YahooQuote
