// What every timed job's transfer shares: it tells its job how the transfer
// ended and nothing else, and the job reads the proxy setting the same way.
#pragma once

#include <windows.h>

#include <new>
#include <string>

#include "base/elapsed.h"
#include "base/os.h"
#include "base/strutil.h"
#include "net/http_win.h"
#include "net/url.h"
#include "news/topic_array.h"
#include "shared/config_data.h"

// The transfers notify the engine window, which does nothing with it.
constexpr UINT kTransferNotification = WM_USER + 1;

// The most body bytes each job's transfer takes (its source header aside); a
// longer answer is a failure.
constexpr int32_t kSubscriptionFileLimit = 1 << 20;
constexpr int32_t kQuotePageLimit = 256 << 10;
constexpr int32_t kBitmapLimit = 2 << 20;

// A transfer went well: status 200, and the response arrived whole.
inline bool TransferSucceeded(const CHttp& http) {
    return http.iStatusCode == 200 && http.ArrivedWhole();
}

// Points the transfer at the proxy while the setting is on, and at no proxy
// once it is switched off.
inline void ApplyProxySetting(CHttp& http, const CConfigData& cfg) {
    if (!cfg.HttpProxyEnabled) {
        http.SetProxy(nullptr, 0);
        return;
    }
    char proxy[sizeof cfg.HttpProxy];
    StrCopyField(proxy, sizeof proxy, cfg.HttpProxy, sizeof cfg.HttpProxy);
    http.SetProxy(proxy, cfg.HttpProxyPort);
}

// A job's download: a failed connection and the completed file both end in
// the job's OnDisconnect, which may delete this object. Nothing happens once
// the job is gone.
template <typename Base, typename Job, Job*& job, int32_t bodyLimit>
class JobDownload : public Base {
public:
    explicit JobDownload(HWND ownerWindow) : Base(ownerWindow, kTransferNotification) { this->iBodyLimit = bodyLimit; }

    void OnConnected(BOOL success) override {
        if (!job || success) return;
        job->unreachable = 1;
        job->OnDisconnect(0);
    }
    void OnFileComplete() override {
        if (job) job->OnDisconnect(TransferSucceeded(*this));
    }
};

// What a job that downloads one file per run keeps between clock ticks, and
// the steps every such run shares: the gates that hold a run back, the start
// of the transfer and the check of how it ended.
template <typename Download>
class CDownloadJob {
public:
    explicit CDownloadJob(HWND owner) : owner_(owner) {}
    ~CDownloadJob() { delete download; }
    CDownloadJob(const CDownloadJob&) = delete;
    CDownloadJob& operator=(const CDownloadJob&) = delete;

    Download* download = nullptr;
    int notStarted = 0;   // a run passed its gates but started no transfer
    int idle = 1;         // no transfer under way
    int unreachable = 0;  // the run's transfer never got its connection
    RunTimer runs;        // the first tick after start-up runs

protected:
    // The gates every run passes first: something to work on, a transfer
    // object that is free, and jobs neither passive nor held.
    bool MayRun() {
        if (gTopicArray.Size == 0) return false;
        if (!download) download = new (std::nothrow) Download(owner_);
        if (!download) return false;
        if (!idle || download->iHttpState != HTTPSTATE_IDLE) return false;
        return !gConfig->Passive && !gConfig->JobsHeld;
    }

    // True when `spacing` seconds have passed since the last run, which
    // then counts as now.
    bool RunIsDue(int64_t spacing) { return runs.Due(spacing); }

    void StartDownload(const CUrl& url, const std::string& filePath) {
        ApplyProxySetting(*download, *gConfig);
        unreachable = 0;
        if (download->Get(url.host, url.path, url.port, filePath.c_str(), 0)) {
            idle = 0;
            notStarted = 0;
        }
    }

    // True when the run's file arrived whole and may be read. Otherwise the
    // transfer object is dropped: a fresh one is made on a later tick.
    bool DownloadSucceeded(int success) {
        idle = 1;
        if (!notStarted && success && download->iHttpState == HTTPSTATE_IDLE) return true;
        delete download;
        download = nullptr;
        return false;
    }

private:
    HWND owner_;
};
