// PostStats: once an hour, reports the ads' view counts, the account, the
// start count and the running time to the service's update script by POST.
// Only success or failure of the transfer matters; the counts are neither
// reset nor kept for a retry.
#pragma once

#include <windows.h>

#include "net/http_win.h"

namespace PostStats {

// The report's transfer: it only notes whether an answer came.
class CStatsPost : public CHttp {
public:
    explicit CStatsPost(HWND ownerWindow);
    void OnData(const char* data, int length) override;
    void OnConnected(BOOL success) override;
    void OnComplete() override;
};

// Start-up and shutdown of the report (the engine window owns the transfers).
int Init(HWND owner);
void Term();

void OnClockTick();
// Starts the POST of the report; non-zero when it started.
int Post(const char* body, const char* extra);
void OnDisconnect(int success);

}  // namespace PostStats
