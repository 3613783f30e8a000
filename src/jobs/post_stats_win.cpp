#include "jobs/post_stats_win.h"

#include <new>
#include <string>

#include "base/elapsed.h"
#include "base/os.h"
#include "base/trace.h"
#include "jobs/job_transfer_win.h"
#include "jobs/post_stats.h"
#include "news/topic_array.h"

namespace PostStats {

namespace {

// The report's state, for the life of the process.
struct Report {
    HWND owner = nullptr;
    CStatsPost* post = nullptr;
    int idle = 1;
    RunTimer hours;
    int failed = 0;
} gReport;

}  // namespace

CStatsPost::CStatsPost(HWND ownerWindow) : CHttp(ownerWindow, kTransferNotification, 1000, nullptr) {}

void CStatsPost::OnData(const char*, int) {
    gReport.failed = 0;  // an answer came; what it says is not used
}

void CStatsPost::OnConnected(BOOL success) {
    if (!success) gReport.failed = 1;
    if (gReport.failed) PostStats::OnDisconnect(0);
}

void CStatsPost::OnComplete() {
    // A report counts when the server answered 200 and closed the connection itself.
    PostStats::OnDisconnect(iStatusCode == 200 && !timedOut && closedByPeer);
}

int Init(HWND owner) {
    gReport.owner = owner;
    return 1;
}

void Term() {
    delete gReport.post;
    gReport.post = nullptr;
}

void OnClockTick() {
    if (!gReport.post) gReport.post = new (std::nothrow) CStatsPost(gReport.owner);
    if (!gReport.post) return;
    if (!gReport.idle || gReport.post->iHttpState != HTTPSTATE_IDLE) return;
    if (gConfig->Passive || gConfig->JobsHeld) return;
    if (!gReport.hours.Due(kReportSeconds)) return;  // the hour counts whether or not a report goes out
    gReport.failed = 1;
    CTopic* ads = gTopicArray.FirstOfType(TOPIC_ADSTREAM);
    if (!ads || !ads->msgList.count()) return;
    std::string body = ReportBody(*ads);
    ApplyProxySetting(*gReport.post, *gConfig);
    if (Post(body.c_str(), nullptr)) {
        gReport.idle = 0;
        gReport.failed = 0;
    }
}

int Post(const char* body, const char* extra) {
    Server server = NewsServer();
    std::string path = RequestPath(*gConfig, gOs.Now(), extra);
    return gReport.post->Post(server.host.c_str(), path.c_str(), body, server.port, 0);
}

void OnDisconnect(int success) {
    gReport.idle = 1;
    if (!gReport.failed && success && gReport.post->iHttpState == HTTPSTATE_IDLE) return;
    gReport.failed = 1;
    Trace("PostStats::OnDisconnect(): Connect Failure");
}

}  // namespace PostStats
