#include "jobs/post_stats.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/strutil.h"
#include "shared/deployment.h"
#include "shared/names.h"

namespace PostStats {

namespace {
constexpr size_t kMostReportCharacters = 1023;
}

std::string RequestPath(const CConfigData& cfg, int32_t now, const char* extra) {
    char account[sizeof cfg.AccountId];
    StrCopyField(account, sizeof account, cfg.AccountId, sizeof cfg.AccountId);
    char path[1024];
    snprintf(path, sizeof path, "%s?TwlUpdate&AID=%s&SID=%lu&SL=%lu&VER=" TIDEWELL_VERSION "%s%s", kScriptPath, account,
             static_cast<unsigned long>(cfg.StartCount),
             static_cast<unsigned long>(static_cast<uint32_t>(now) - static_cast<uint32_t>(cfg.StartTime)),
             extra ? "&" : "", extra ? extra : "");
    return path;
}

std::string ReportBody(const CTopic& adStream) {
    std::string body = std::string(adStream.ConfigUrl) + "=";
    if (body.size() > kMostReportCharacters) body.resize(kMostReportCharacters);
    const char* separator = "";
    for (MsgList::I node = adStream.msgList.begin(); node != adStream.msgList.end(); node = MsgList::next(node)) {
        char entry[32];
        snprintf(entry, sizeof entry, "%s%lu:%lu", separator, static_cast<unsigned long>(node->value->ridMsg),
                 static_cast<unsigned long>(node->value->dwViews));
        if (body.size() + strlen(entry) > kMostReportCharacters) break;  // a whole entry or none
        body += entry;
        separator = "+";
    }
    return body;
}

Server NewsServer() {
    std::string name = kNewsHost;
    size_t colon = name.rfind(':');
    if (colon == std::string::npos) return {name, 80};
    return {name.substr(0, colon), atoi(name.c_str() + colon + 1)};
}

}  // namespace PostStats
