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
    requestedAt_ = now;
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
    UpdateFailure failure = TransferFailure();
    uint32_t status = download ? static_cast<uint32_t>(download->iStatusCode) : 0;
    if (!DownloadSucceeded(success)) {
        Trace("EngineUpdate::CUpdate::OnDisconnect(): Connect Failure");
        NoteInTopic(failure == UpdateFailure::None ? UpdateFailure::Incomplete : failure, status);
        return;
    }
    bool understood = false;
    try {
        ParseConfigFile(configFilePath.c_str(), &understood);
    } catch (...) {
        TraceCaught("EngineUpdate::CUpdate::OnDisconnect()");
    }
    NoteInTopic(understood ? UpdateFailure::None : UpdateFailure::Unreadable, 0);
}

UpdateFailure CUpdate::TransferFailure() const {
    if (unreachable || !download) return UpdateFailure::Unreachable;
    if (download->iStatusCode != 200) return UpdateFailure::Status;
    return download->ArrivedWhole() ? UpdateFailure::None : UpdateFailure::Incomplete;
}

void CUpdate::NoteInTopic(UpdateFailure failure, uint32_t status) {
    // A topic removed meanwhile may have left its slot to a new one, whose
    // tmLastUpdate is another.
    CTopic* topic = gTopicArray.At(gTopicArray.Find(lastTopicId));
    if (topic && topic->tmLastUpdate == requestedAt_) NoteOutcome(*topic, gOs.Now(), failure, status);
}

}  // namespace EngineUpdate
