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

namespace {
// The transfers tell the engine window nothing it would use.
constexpr UINT kTransferNotification = WM_USER + 1;
}  // namespace

CConfigDownload::CConfigDownload(HWND ownerWindow) : CHttpIniFile(ownerWindow, kTransferNotification) {}

void CConfigDownload::OnConnected(BOOL success) {
    if (gJob && !success) gJob->OnDisconnect(0);  // may delete this object
}

void CConfigDownload::OnFileComplete() {
    bool good = iStatusCode == 200 && (iContentLength == 0 || iContentLength == iBodyBytes);
    if (gJob) gJob->OnDisconnect(good);  // may delete this object
}

CUpdate::CUpdate(HWND owner) : lastTopicId(kNoId), owner_(owner) {
    char dir[sizeof gConfig->DataDir];
    StrCopyField(dir, sizeof dir, gConfig->DataDir, sizeof gConfig->DataDir);
    configFilePath = std::string(dir) + "\\Config.twl";
    if (configFilePath.size() > 259) configFilePath.resize(259);
}

CUpdate::~CUpdate() {
    delete download;
}

void CUpdate::OnClockTick() {
    if (gTopicArray.Size == 0) return;
    if (!download) download = new (std::nothrow) CConfigDownload(owner_);
    if (!download) return;
    if (!idle || download->iHttpState != HTTPSTATE_IDLE) return;
    if (gConfig->Passive || gConfig->JobsHeld) return;
    int32_t now = gOs.Now();
    if (static_cast<int64_t>(now) - lastRunTime < RunSpacing(*gConfig)) return;

    lastRunTime = now;
    gTopicArray.Save();
    notStarted = 1;
    CTopic* topic = gTopicArray.NextInTurn(lastTopicId, [now](const CTopic& candidate) { return IsDue(candidate, now); });
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
    if (gConfig->HttpProxyEnabled) {
        char proxy[sizeof gConfig->HttpProxy];
        StrCopyField(proxy, sizeof proxy, gConfig->HttpProxy, sizeof gConfig->HttpProxy);
        download->SetProxy(proxy, gConfig->HttpProxyPort);
    } else {
        download->SetProxy(nullptr, 0);  // the setting may have been switched off since
    }
    if (download->Get(url.host, url.path, url.port, configFilePath.c_str(), 0)) {
        idle = 0;
        notStarted = 0;
    }
}

void CUpdate::OnDisconnect(int success) {
    idle = 1;
    if (!notStarted && success && download->iHttpState == HTTPSTATE_IDLE) {
        try {
            ParseConfigFile(configFilePath.c_str());
        } catch (const char* text) {
            Trace("EngineUpdate::CUpdate::OnDisconnect(): Exception %s", text);
        }
        return;
    }
    Trace("EngineUpdate::CUpdate::OnDisconnect(): Connect Failure");
    delete download;  // a fresh one on a later tick
    download = nullptr;
}

}  // namespace EngineUpdate
