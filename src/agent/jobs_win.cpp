#include "agent/jobs_win.h"

#include "jobs/ad_stream_win.h"
#include "jobs/engine_update_win.h"
#include "jobs/post_stats_win.h"
#include "jobs/yahoo_quote_win.h"
#include "news/purge.h"

void TickJobs() {
    if (EngineUpdate::gJob) EngineUpdate::gJob->OnClockTick();
    if (YahooQuote::gJob) YahooQuote::gJob->OnClockTick();
    if (AdStream::gJob) AdStream::gJob->OnClockTick();
    Purge::OnClockTick();
    PostStats::OnClockTick();
}

void DestroyJobs() {
    delete EngineUpdate::gJob;
    EngineUpdate::gJob = nullptr;
    delete YahooQuote::gJob;
    YahooQuote::gJob = nullptr;
    delete AdStream::gJob;
    AdStream::gJob = nullptr;
    PostStats::Term();
}
