// EngineUpdate: keeps every subscription current. On a clock tick that
// passes its gates it picks the next due topic in turn, asks the topic's
// ConfigUrl for what is newer than the highest message it holds, stores the
// answer in "Config.twl" in the data directory and, when the transfer went
// well, reads it with ParseConfigFile.
#pragma once

#include <windows.h>

#include <string>

#include "jobs/job_transfer_win.h"
#include "net/http_file_win.h"
#include "shared/update_outcome.h"

namespace EngineUpdate {

class CUpdate;

// The job, from start-up to shutdown; null outside that time.
extern CUpdate* gJob;

// The transfer: the subscription file behind a "; " source header.
using CConfigDownload = JobDownload<CHttpIniFile, CUpdate, gJob, kSubscriptionFileLimit>;

class CUpdate : public CDownloadJob<CConfigDownload> {
public:
    explicit CUpdate(HWND owner);

    void OnClockTick();
    // The end of a transfer, from the transfer's notifications.
    void OnDisconnect(int success);

    uint32_t lastTopicId;        // the topic requested last; the next run starts after it
    std::string configFilePath;  // where the transfer writes

private:
    // How the run's transfer failed, read before the transfer object goes.
    UpdateFailure TransferFailure() const;
    // Notes how the run went in the topic it asked for, if that topic is
    // still the one asked for.
    void NoteInTopic(UpdateFailure failure, uint32_t status);

    int32_t requestedAt_ = 0;  // the asked topic's tmLastUpdate
};

}  // namespace EngineUpdate
