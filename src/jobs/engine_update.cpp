#include "jobs/engine_update.h"

#include <cstdio>

#include "base/elapsed.h"
#include "base/strutil.h"

namespace EngineUpdate {

bool IsDue(const CTopic& topic, int32_t now) {
    if (topic.dwType != TOPIC_SUBSCRIPTION && topic.dwType != TOPIC_ADSTREAM) return false;
    if (!topic.bActive) return false;
    int64_t elapsed = SecondsBetween(topic.tmLastUpdate, now);
    return elapsed < 0 || elapsed > static_cast<int64_t>(topic.dwInterval);
}

int64_t RunSpacing(const CConfigData& cfg) {
    return 3 * int64_t{cfg.Pace};
}

std::string RequestUrl(const CTopic& topic, const CConfigData& cfg) {
    char account[sizeof cfg.AccountId];
    StrCopyField(account, sizeof account, cfg.AccountId, sizeof cfg.AccountId);
    char url[1024];
    snprintf(url, sizeof url, "%s?Update&Have=%ld&AID=%s", topic.ConfigUrl,
             static_cast<long>(static_cast<int32_t>(topic.ridLastMsg)), account);
    return url;
}

}  // namespace EngineUpdate
