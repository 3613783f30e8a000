#include "jobs/engine_update_win.h"

#include "base/os.h"
#include "base/strutil.h"
#include "base/trace.h"
#include "jobs/config_file.h"
#include "jobs/engine_update.h"
#include "net/url.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

namespace EngineUpdate {

CUpdate* gJob = nullptr;

CUpdate::CUpdate(HWND owner) : CDownloadJob(owner), lastTopicId(kNoId), configFilePath(DataDirPath("Config.twl")) {}

void CUpdate::OnClockTick() {
    if (!MayRun() || !RunIsDue(RunSpacing(*gConfig))) return;
    gTopicArray.Save();
    notStarted = 1;
    int32_t now = gOs.Now();
    CTopic* topic =
        gTopicArray.NextInTurn(lastTopicId, [now](const CTopic& candidate) { return IsDue(candidate, now); });
    if (!topic) return;
    lastTopicId = topic->ridTopic;
    topic->tmLastUpdate = now;
    if (!topic->ConfigUrl[0]) return;

    std::string address = RequestUrl(*topic, *gConfig);
    CUrl url;
    if (!url.Parse(address.c_str())) {
        Trace("EngineUpdate::CUpdate::OnClockTick(): Url Format Error");
        return;
    }
    StartDownload(url, configFilePath);
}

void CUpdate::OnDisconnect(int success) {
    if (!DownloadSucceeded(success)) {
        Trace("EngineUpdate::CUpdate::OnDisconnect(): Connect Failure");
        return;
    }
    try {
        ParseConfigFile(configFilePath.c_str());
    } catch (...) {
        TraceCaught("EngineUpdate::CUpdate::OnDisconnect()");
    }
}

}  // namespace EngineUpdate
