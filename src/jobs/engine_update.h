// The rules of the subscription update that need no network: which topic is
// due, how far apart the runs are, and the address a topic is asked at.
#pragma once

#include <cstdint>
#include <string>

#include "news/topic.h"
#include "shared/config_data.h"

namespace EngineUpdate {

// A subscription or the ad stream, switched on, whose last request lies
// more than its interval back (exactly the interval is not enough), or
// ahead of now: a clock set back must not hold a topic until it catches up.
bool IsDue(const CTopic& topic, int32_t now);

// The least number of seconds between two runs: 3 × Pace.
int64_t RunSpacing(const CConfigData& cfg);

// "%s?Update&Have=%ld&AID=%s": the topic's ConfigUrl, the highest message
// number it holds and the account, at most 1023 characters.
std::string RequestUrl(const CTopic& topic, const CConfigData& cfg);

}  // namespace EngineUpdate
