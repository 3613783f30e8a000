#include "agent/jobs_win.h"

#include "jobs/engine_update_win.h"
#include "news/purge.h"

void TickJobs() {
    if (EngineUpdate::gJob) EngineUpdate::gJob->OnClockTick();
    Purge::OnClockTick();
}

void DestroyJobs() {
    delete EngineUpdate::gJob;
    EngineUpdate::gJob = nullptr;
}
