// The usage report: once an hour the agent tells the service how often each
// advertisement was shown, with the account, the start count and how long
// it has been running. The rules that need no network are here.
#pragma once

#include <cstdint>
#include <string>

#include "news/topic.h"
#include "shared/config_data.h"

namespace PostStats {

// The update script on the service's news server.
constexpr char kScriptPath[] = "/Bin/Update.dll";
constexpr int32_t kReportSeconds = 3600;

// "%s?TwlUpdate&AID=%s&SID=%lu&SL=%lu&VER=1.1.1043.1%s%s": the script, the
// account, the start count, the seconds since the start, and "&" and extra
// when extra is given. At most 1023 characters.
std::string RequestPath(const CConfigData& cfg, int32_t now, const char* extra);

// The ad stream's ConfigUrl, "=", then "id:views" for each ad joined by "+".
// Cut to 1023 characters after the last whole entry that fits.
std::string ReportBody(const CTopic& adStream);

// The service's news server as the deployment names it: "host" or "host:port".
struct Server {
    std::string host;
    int32_t port;
};
Server NewsServer();

}  // namespace PostStats
