// YahooQuote: keeps the stock-quote topic current. At most every
// 5 × Pace + 25 seconds it downloads one CSV line per symbol into
// "YStock.html" in the data directory and replaces each symbol's message by
// one carrying its last price, change and time.
#pragma once

#include <windows.h>

#include <string>

#include "jobs/job_transfer_win.h"
#include "net/http_file_win.h"

namespace YahooQuote {

class CUpdate;
extern CUpdate* gJob;

// The quote file behind an HTML-comment source header.
using CQuoteDownload = JobDownload<CHttpHtmlFile, CUpdate, gJob, kQuotePageLimit>;

class CUpdate : public CDownloadJob<CQuoteDownload> {
public:
    explicit CUpdate(HWND owner);

    void OnClockTick();
    // The end of a transfer, from the transfer's notifications.
    void OnDisconnect(int success);

    int32_t lastItem = -1;      // part of the jobs' shape; this job serves one topic
    std::string quoteFilePath;  // where the transfer writes
};

}  // namespace YahooQuote
