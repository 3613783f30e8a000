#include "jobs/engine_update.h"

#include <cstdio>

#include "base/strutil.h"

namespace EngineUpdate {

bool IsDue(const CTopic& topic, int32_t now) {
    if (topic.dwType != TOPIC_SUBSCRIPTION && topic.dwType != TOPIC_ADSTREAM) return false;
    if (!topic.bActive) return false;
    return static_cast<int64_t>(now) - topic.tmLastUpdate > static_cast<int64_t>(topic.dwInterval);
}

int32_t RunSpacing(const CConfigData& cfg) {
    return 3 * cfg.Pace;
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
