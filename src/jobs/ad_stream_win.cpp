#include "jobs/ad_stream_win.h"

#include "base/os.h"
#include "base/trace.h"
#include "jobs/ad_stream.h"
#include "net/url.h"
#include "news/topic_array.h"

namespace AdStream {

CUpdate* gJob = nullptr;

CUpdate::CUpdate(HWND owner) : CDownloadJob(owner), lastAdNumber(kNoId), adFilePath(DataDirPath("ad.bmp")) {}

void CUpdate::OnClockTick() {
    if (!MayRun() || !RunIsDue(3 * int64_t{gConfig->Pace} + 1)) return;
    notStarted = 1;
    CTopic* topic = gTopicArray.FirstOfType(TOPIC_ADSTREAM);
    CMsg* ad = topic ? NextAd(*topic, lastAdNumber) : nullptr;
    if (!ad) return;
    lastAdNumber = ad->ridMsg;
    if (!AwaitsBitmap(ad->lpszTitle)) return;  // its bitmap is here already
    adFilePath = DataDirPath(BitmapName(ad->ridMsg));
    std::string request = BitmapRequest(ad->lpszTitle, *gConfig);
    CUrl url;
    if (!url.Parse(request.c_str())) {
        Trace("AdStream::CUpdate::OnClockTick(): Url Format Error - ad %lu", static_cast<unsigned long>(ad->ridMsg));
        return;
    }
    StartDownload(url, adFilePath);
}

void CUpdate::OnDisconnect(int success) {
    // After a failure the partly written file stays and the ad keeps its
    // address, so a later pass tries it again.
    if (!DownloadSucceeded(success)) {
        size_t slash = adFilePath.rfind('\\');  // the trace names the file from its backslash on
        Trace("AdStream::CUpdate::OnDiconnect(): Connect Failure - %s",
              adFilePath.c_str() + (slash == std::string::npos ? 0 : slash));
        return;
    }
    if (!BitmapIsWhole(adFilePath.c_str(), download->iBodyBytes)) {
        Trace("AdStream::CUpdate::OnDiconnect(): Error - not a whole bitmap");
        return;
    }
    try {
        AdReceived(adFilePath.c_str(), lastAdNumber);
    } catch (...) {
        Trace("AdReceived(): Unhandled Exception");
    }
}

}  // namespace AdStream
